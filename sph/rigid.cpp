// Rigid bodies: the body, its builder and the rigid phases of the step.
#include "sph/rigid.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "sph/detail/checks.h"
#include "sph/detail/lattice.h"
#include "sph/detail/rigid_contacts.h"
#include "sph/detail/state_access.h"
#include "sph/sph.h"

namespace {

constexpr double DEGREES_PER_RADIAN = 180.0 / std::numbers::pi;
constexpr float VERTEX_MASS = 1.0f;  // of each vertex of a box

double Atan2Degrees(double y, double x) { return std::atan2(y, x) * DEGREES_PER_RADIAN; }

// The inverse of a mass or an inertia; a body with none neither moves (mass)
// nor turns (inertia) instead of dividing by zero, and nor does one with less
// than a millionth, whose inverse would outgrow the floats within a step.
float InverseOrZero(float v) { return v >= sph_detail::MIN_POSITIVE ? 1.0f / v : 0.0f; }

}  // namespace

sph_detail::TBodyState::TBodyState()
    : Vertices(TRigid::MIN_VERTICES, nullptr), Contacts(std::make_unique<TBodyContacts>()) {}
sph_detail::TBodyState::~TBodyState() = default;

TRigid::TRigid() { SetColor(0, 255, 0); }
TRigid::~TRigid() = default;

void TRigid::SetRepulsion(float r) {
    sph_detail::TCheck("TRigid::SetRepulsion").Finite("the repulsion", r);
    Repulsion = r;
}

void TRigid::SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    ColorR = r;
    ColorG = g;
    ColorB = b;
}

void TRigid::GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const {
    r = ColorR;
    g = ColorG;
    b = ColorB;
}

void TRigid::AddParticle(const TParticle* p) {
    const sph_detail::TCheck check("TRigid::AddParticle");
    check.NotNull("the particle", p);
    if (p->Rigid != this) check.Fail("the particle is not a vertex made for this body");
    check.Finite("the vertex's x", p->PositionX);
    check.Finite("the vertex's y", p->PositionY);
    if (p->Mass != 0) check.Positive("the vertex's mass", p->Mass);
    if (static_cast<std::size_t>(VertexCount) == Vertices.size()) Vertices.resize(Vertices.size() * 2, nullptr);
    // Particles are made mutable in the world's arena and handed out const.
    Vertices[static_cast<std::size_t>(VertexCount)] = const_cast<TParticle*>(p);
    ++VertexCount;
}

void TRigid::Init() {
    for (std::int32_t i = 0; i < VertexCount; ++i) {
        const TParticle* v = Vertices[static_cast<std::size_t>(i)];
        Mass += v->Mass;
        CenterX += v->PositionX * v->Mass;
        CenterY += v->PositionY * v->Mass;
    }
    InvMass = InverseOrZero(Mass);
    CenterX *= InvMass;
    CenterY *= InvMass;
    for (std::int32_t i = 0; i < VertexCount; ++i) {
        TParticle* v = Vertices[static_cast<std::size_t>(i)];
        const float dx = v->PositionX - CenterX;
        const float dy = v->PositionY - CenterY;
        Inertia += v->Mass * (dx * dx + dy * dy);
        v->Radius = std::sqrt(dx * dx + dy * dy);
        v->Angle = static_cast<float>(Atan2Degrees(dy, dx));
        v->LocalX = dx;
        v->LocalY = dy;
    }
    InvInertia = InverseOrZero(Inertia);
    Repulsion = Mass * REPULSION_PER_MASS;  // finite for any mass the vertices may have, so Init cannot fail
    sph_detail::PrepareBodyContacts(*this);
}

// The first step reflects the vertex set about the horizontal through the
// centre (a vertex at body angle θ sits at (R cos θ, −R sin θ)); a box,
// symmetric about that line, maps onto itself.
void TRigid::Integrate() {
    if (!Integrator) sph_detail::TCheck("TRigid::Integrate").Fail("the body's world is gone");
    if (InvMass == 0) return;  // a body without mass stays where it is
    sph_detail::AdvanceAlone(*this);
}

std::shared_ptr<TRigid> TRigid::BeginBody(TSPH* world) {
    sph_detail::TCheck("TRigid::BeginBody").NotNull("the world", world);
    auto body = sph_detail::JoinWorld(world, std::shared_ptr<TRigid>(new TRigid()), world->OwnedRigids, world->Rigids);
    body->Open = true;
    return body;
}

const TParticle* TRigid::AddVertex(float x, float y, float mass) {
    const sph_detail::TCheck check("TRigid::AddVertex");
    if (!Integrator) check.Fail("the body's world is gone");
    if (!Open) check.Fail("no body is open (BeginBody makes one; EndBody closes it)");
    const TParticle* p = TParticle::CreateRigidParticle(x, y, mass, this);
    AddParticle(p);
    return p;
}

// Registering first: Init cannot fail, so a refused or failed call leaves
// the body open and as it was.
TRigid* TRigid::EndBody() {
    const sph_detail::TCheck check("TRigid::EndBody");
    if (!Integrator) check.Fail("the body's world is gone");
    if (!Open) check.Fail("the body is not open (it has ended already)");
    Integrator->AddRigid(this);
    Init();
    Open = false;
    return this;
}

std::shared_ptr<TRigid> TRigid::CreateRigidRect(float x, float y, float width, float height, TSPH* world) {
    const sph_detail::TCheck check("TRigid::CreateRigidRect");
    const sph_detail::TSceneRect r = sph_detail::SceneRect(check, world, x, y, width, height);
    const std::int32_t count = sph_detail::LatticeCount(check, r, TSPH::RIGID_SPACING);
    world->Reserve(0, 0, count, 0, 0);
    std::shared_ptr<TRigid> body = BeginBody(world);
    using sph_detail::ForEachLatticeCoordinate;
    ForEachLatticeCoordinate(r.X, static_cast<double>(r.X) + r.Width, TSPH::RIGID_SPACING, [&](float cx) {
        ForEachLatticeCoordinate(r.Y, static_cast<double>(r.Y) + r.Height, TSPH::RIGID_SPACING, [&](float cy) {
            world->AddRigidParticle(body->AddVertex(cx * TSPH::UNIT_SCALE, cy * TSPH::UNIT_SCALE, VERTEX_MASS));
        });
    });
    body->EndBody();
    return body;
}

namespace {

// A velocity impulse at the contact; positions are never corrected, so the
// depth has no effect.
void ResolvePenetration(const TParticle* p, float nx, float ny, float restitution) {
    sph_detail::TBodyState* body = &sph_detail::StateOf(*p->Rigid);
    const float ux = body->VelocityX + body->AngularSpeed * (p->PositionY - body->CenterY);
    const float uy = body->VelocityY + body->AngularSpeed * (body->CenterX - p->PositionX);
    const float vn = ux * nx + uy * ny;
    if (vn >= 0) return;
    const float rn = (body->CenterX - p->PositionX) * ny + (p->PositionY - body->CenterY) * nx;
    const float denominator = (nx * nx + ny * ny) * body->InvMass + rn * rn * body->InvInertia;
    if (!(denominator > 0)) return;  // a body without mass cannot be pushed
    const float j = -(restitution + 1) * vn / denominator;
    body->VelocityX += nx * j * body->InvMass;
    body->VelocityY += ny * j * body->InvMass;
    body->AngularSpeed += j * rn * body->InvInertia;
}

}  // namespace

// Gravity acts per body in Integrate, so vertex forces start at zero.
void TSPH::Rigid_Reset() {
    CheckState("TSPH::Rigid_Reset");
    for (std::int32_t k = 0; k < RigidCount; ++k) {
        TParticle* p = RigidParticles[static_cast<std::size_t>(k)];
        p->ForceX = 0;
        p->ForceY = 0;
    }
}

// The container's edges are met inside each body's pass (Integrate), all
// of a body's vertices together: a push per vertex, applied before the pass
// and resolved one vertex after another, would give the body energy it never
// had (a bar landing flat would stand up). With contacts on, the pairs of
// the step are found here, where the vertices stand (pairs of bodies from
// the bodies' boxes, wall and solid particles from their grids), and solid
// particles are pushed.
void TSPH::Rigid_CalcForces() {
    CheckState("TSPH::Rigid_CalcForces");
    if (RigidContacts) sph_detail::GatherWorldContacts(*this);
}

void TSPH::Rigid_ResolvePenetration(const TParticle* p, float nx, float ny, float depth, float restitution) {
    const sph_detail::TCheck check("TSPH::Rigid_ResolvePenetration");
    check.Belongs("the particle", *this, p);
    if (!p->Rigid) check.Fail("the particle is not a rigid-body vertex");
    for (const float v : {nx, ny, depth}) check.Finite("a number", v);
    if (!(restitution >= 0 && restitution <= 1))
        check.Fail("the restitution must lie between 0 and 1 (got " + sph_detail::Shown(restitution) + ")");
    ResolvePenetration(p, nx, ny, restitution);
}

// A body made by the builder is listed twice and so advanced twice per step.
// With contacts on, the bodies take their passes together, so that each
// contact between two of them is resolved once for both.
void TSPH::Rigid_Integrate() {
    CheckState("TSPH::Rigid_Integrate");
    if (RigidContacts) {
        sph_detail::AdvanceTogether(*this);
        return;
    }
    for (TRigid* body : Rigids)
        if (body) body->Integrate();
}

void TSPH::SetRigidContacts(bool on) {
    CheckState("TSPH::SetRigidContacts");
    if (on)
        for (TRigid* body : Rigids)
            if (body) sph_detail::ReservePairContacts(*body);
    RigidContacts = on;
}
