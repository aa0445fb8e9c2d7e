// Rigid bodies: particles that move as one body under gravity and the walls.
#pragma once

#include <cstdint>
#include <vector>

class TSPH;
struct TParticle;

class TRigid {
public:
    static constexpr std::int32_t MIN_VERTICES = 64;
    static constexpr float RAD_TO_DEG = 57.2957802f;
    static constexpr float DEG_TO_RAD = 0.0174532924f;
    static constexpr float REPULSION_PER_MASS = 0.0008316f;

    TSPH* Integrator = nullptr;
    std::uint8_t ColorR = 0;
    std::uint8_t ColorG = 0;
    std::uint8_t ColorB = 0;
    float CenterX = 0;
    float CenterY = 0;
    float Repulsion = 0;  // wall push on each vertex
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

    TRigid();

    void SetIntegrator(TSPH* world);
    void SetRepulsion(float r);
    void SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const;
    void AddParticle(TParticle* p);
    // Mass, centre, inertia and each vertex's polar place about the centre.
    void Init();
    // One time step of the body; places its vertices.
    void Integrate();

    // The builder: BeginBody makes a body (registered with the world once),
    // AddVertex adds a vertex in simulation units (the caller registers the
    // particle with the world), EndBody initialises the body and registers it
    // a second time, so the step advances it twice.
    static TRigid* BeginBody(TSPH* world);
    static TParticle* AddVertex(float x, float y, float mass);
    static TRigid* EndBody();
    // A filled box of unit-mass vertices 25 scene pixels apart over a
    // rectangle in screen pixels, far edges included.
    static TRigid* CreateRigidRect(float x, float y, float width, float height, TSPH* world);
};

// The body being built by BeginBody … EndBody; it keeps naming the last body.
extern TRigid* CurrentBody;
