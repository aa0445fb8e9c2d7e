// Rigid bodies: particles that move as one body under gravity and the walls.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TSPH;
class TRigid;
struct TParticle;

namespace sph_detail {

struct TBodyContacts;  // the working state of a body's contacts
struct TStateAccess;

// What a rigid body holds. The library's own code works on it directly; a
// program reads it through TRigid's getters.
struct TBodyState {
    TBodyState();
    ~TBodyState();

    TSPH* Integrator = nullptr;
    std::uint8_t ColorR = 0;
    std::uint8_t ColorG = 0;
    std::uint8_t ColorB = 0;
    float CenterX = 0;
    float CenterY = 0;
    float Repulsion = 0;  // set by Init; the edges are met as contacts, which need no strength
    float Mass = 0;
    float InvMass = 0;
    float Inertia = 0;
    float InvInertia = 0;
    float VelocityX = 0;
    float VelocityY = 0;
    float AccelerationX = 0;
    float AccelerationY = 0;
    float Angle = 0;         // degrees
    float AngularSpeed = 0;  // radians per unit time
    std::int32_t VertexCount = 0;
    std::vector<TParticle*> Vertices;  // length is the capacity; the first VertexCount are live
    bool Open = false;                 // between BeginBody and EndBody
    std::unique_ptr<TBodyContacts> Contacts;
};

}  // namespace sph_detail

// A rigid body: particles that keep their places about its centre. Its world
// owns it; it is made by BeginBody … EndBody or CreateRigidRect, read through
// its getters and changed only through its calls.
class TRigid : private sph_detail::TBodyState {
public:
    static constexpr std::int32_t MIN_VERTICES = 64;
    static constexpr float RAD_TO_DEG = 57.2957802f;
    static constexpr float DEG_TO_RAD = 0.0174532924f;
    static constexpr float REPULSION_PER_MASS = 0.0008316f;

    ~TRigid();
    TRigid(const TRigid&) = delete;
    TRigid& operator=(const TRigid&) = delete;

    TSPH* GetWorld() const { return Integrator; }
    // Simulation units (the centre, the velocity per unit time); the angle
    // in degrees, the angular speed in radians per unit time.
    float GetCenterX() const { return CenterX; }
    float GetCenterY() const { return CenterY; }
    float GetVelocityX() const { return VelocityX; }
    float GetVelocityY() const { return VelocityY; }
    float GetAngle() const { return Angle; }
    float GetAngularSpeed() const { return AngularSpeed; }
    float GetMass() const { return Mass; }
    float GetInertia() const { return Inertia; }
    float GetRepulsion() const { return Repulsion; }
    std::int32_t GetVertexCount() const { return VertexCount; }
    std::span<const TParticle* const> GetVertices() const {
        return {Vertices.data(), static_cast<std::size_t>(VertexCount)};
    }

    void SetRepulsion(float r);
    void SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const;
    // Adds a vertex of this body (a particle made for it) to its list.
    void AddParticle(const TParticle* p);
    // Mass, centre, inertia and each vertex's polar place about the centre.
    // The sums start from the fields, so a second Init adds to the first.
    void Init();
    // One time step of the body; places its vertices. The vertices that
    // meet the container's edges are resolved together: the body neither
    // passes an edge nor bounces off one (restitution 0).
    void Integrate();

    // The builder: BeginBody makes a body, kept by the world while it lives
    // and registered with it once (once the world is gone, a body the caller
    // still holds has no world and refuses AddVertex, EndBody and
    // Integrate); the body's AddVertex adds a vertex in simulation units
    // (the caller registers the particle with the world); its EndBody
    // initialises it and registers it a second time, so the step advances
    // it twice. The state of a build is the body's own, so worlds built on
    // several threads never meet. AddVertex after EndBody, and a second
    // EndBody, are refused. Do not step the world while a body is open.
    static std::shared_ptr<TRigid> BeginBody(TSPH* world);
    const TParticle* AddVertex(float x, float y, float mass);
    TRigid* EndBody();
    // A filled box of unit-mass vertices 25 scene pixels apart over a
    // rectangle in screen pixels, far edges included; at most
    // TSPH::MAX_BLOCK_PARTICLES.
    static std::shared_ptr<TRigid> CreateRigidRect(float x, float y, float width, float height, TSPH* world);

private:
    friend class TSPH;
    friend struct sph_detail::TStateAccess;

    TRigid();
};
