// The contacts of rigid bodies: finding them, the velocity sweeps and the
// correction of positions. A pass of a body (Box2D's order): velocity from
// gravity and the vertex forces; the contacts met, resolved together by
// sequential impulses; position; overlap removed by moving the bodies alone.
// Without contacts between bodies each body takes its passes alone, as the
// step always has. With them, all bodies take each pass together; the pairs
// are found once per step, each contact starts from the impulse it ended
// the last pass with, and a body's vertices are placed once per pass, by its
// rotation.
#include "sph/detail/rigid_contacts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "sph/detail/pushes.h"
#include "sph/detail/state_access.h"
#include "sph/particle.h"

namespace sph_detail {

namespace {

constexpr double RADIANS_PER_DEGREE = std::numbers::pi / 180.0;
// Vertices of two bodies, or a vertex and a wall particle, are kept this far
// apart: the spacing of a box's vertices, so that bodies meet where they look
// as if they touch.
constexpr float CONTACT_DISTANCE = TSPH::RIGID_SPACING * TSPH::UNIT_SCALE;
// Overlap left alone: a resting contact stays in place, found again every
// step, rather than being pushed out and falling back in (jitter).
constexpr float SLOP = 0.01f;
constexpr int VELOCITY_SWEEPS = 8;
// With contacts on, the sweeps start from the impulses of the pass before,
// most of the answer for a contact at rest: fewer sweeps do.
constexpr int WARM_VELOCITY_SWEEPS = 4;
constexpr int POSITION_SWEEPS = 3;
constexpr int WARM_POSITION_SWEEPS = 2;
// The share of the overlap each position sweep removes, and the most it
// moves a contact at once, as Box2D's position solver: a deep overlap comes
// apart over a few steps instead of flinging the bodies.
constexpr float POSITION_SHARE = 0.5f;
constexpr float MAX_CORRECTION = 0.5f;
// A solid particle's force is an acceleration; it counts as the mass of a
// box's vertex when a body and a solid particle push each other.
constexpr float SOLID_PARTICLE_MASS = 1.0f;

double SinDegrees(double degrees) { return std::sin(degrees * RADIANS_PER_DEGREE); }
double CosDegrees(double degrees) { return std::cos(degrees * RADIANS_PER_DEGREE); }

void AdvanceVelocity(TBodyState& b, float dt) {
    const TWorldState& world = StateOf(*b.Integrator);
    float fx = world.GravityX * b.Mass;
    float fy = world.GravityY * b.Mass;
    float torque = 0;
    for (std::int32_t i = 0; i < b.VertexCount; ++i) {
        const TParticle* v = b.Vertices[static_cast<std::size_t>(i)];
        torque += ((b.CenterX - v->PositionX) * v->ForceY - (b.CenterY - v->PositionY) * v->ForceX) * b.InvInertia;
        fx += v->ForceX;
        fy += v->ForceY;
    }
    b.VelocityX += fx * dt * b.InvMass;
    b.VelocityY += fy * dt * b.InvMass;
    b.AngularSpeed += torque * dt;
}

void AdvancePosition(TBodyState& b, float dt) {
    b.CenterX += b.VelocityX * dt;
    b.CenterY += b.VelocityY * dt;
    b.Angle += TRigid::RAD_TO_DEG * b.AngularSpeed * dt;
}

// A vertex at body angle θ sits at (R cos θ, −R sin θ) from the centre.
void PlaceVertices(TBodyState& b) {
    const TWorldState& world = StateOf(*b.Integrator);
    for (std::int32_t i = 0; i < b.VertexCount; ++i) {
        TParticle* v = b.Vertices[static_cast<std::size_t>(i)];
        const double theta = static_cast<double>(b.Angle) + v->Angle;
        v->PositionX = static_cast<float>(CosDegrees(theta) * v->Radius + b.CenterX);
        v->PositionY = static_cast<float>(-SinDegrees(theta) * v->Radius + b.CenterY);
        v->ScreenX = v->PositionX * TSPH::INV_UNIT_SCALE * world.WorldScale;
        v->ScreenY = v->PositionY * TSPH::INV_UNIT_SCALE * world.WorldScale;
    }
}

// How far any vertex of the body may move in one pass, at its speed now.
float Travel(const TBodyState& b, float dt) {
    const float speed = std::fabs(b.VelocityX) + std::fabs(b.VelocityY) +
                        std::fabs(b.AngularSpeed) * ContactsOf(const_cast<TBodyState&>(b)).MaxRadius;
    return speed * dt;
}

// The lever arm of a point about the body's centre for a push along (nx, ny):
// a turn at speed ω moves the point along the normal at ω × this.
float LeverArm(const TBodyState& b, float x, float y, float nx, float ny) {
    return (y - b.CenterY) * nx - (x - b.CenterX) * ny;
}

float NormalSpeed(const TBodyState& b, float rn, float nx, float ny) {
    return b.VelocityX * nx + b.VelocityY * ny + b.AngularSpeed * rn;
}

float Stiffness(const TBodyState* b, float rn) { return b ? b->InvMass + rn * rn * b->InvInertia : 0.0f; }

// Fills in the lever arms, the effective mass and the speed bound of a
// contact whose normal is set, with the gap it has now. A gap still open
// may close within the step but not beyond (a speculative contact); an
// overlap asks only that it grow no further: the velocities never gain
// speed to undo it.
void Prepare(TRigidContact& c, float gap, float dt) {
    c.RnA = LeverArm(*c.A, c.VA->PositionX, c.VA->PositionY, c.Nx, c.Ny);
    c.RnB = c.B ? LeverArm(*c.B, c.VB->PositionX, c.VB->PositionY, c.Nx, c.Ny) : 0.0f;
    const float k = Stiffness(c.A, c.RnA) + Stiffness(c.B, c.RnB);
    c.InvK = k > 0 ? 1.0f / k : 0.0f;
    c.Bound = gap > 0 ? -gap / dt : 0.0f;
    c.Impulse = 0;
}

[[gnu::always_inline]] inline void ApplyImpulse(const TRigidContact& c, float j) {
    TBodyState& a = *c.A;
    a.VelocityX += c.Nx * j * a.InvMass;
    a.VelocityY += c.Ny * j * a.InvMass;
    a.AngularSpeed += j * c.RnA * a.InvInertia;
    if (!c.B) return;
    TBodyState& b = *c.B;
    b.VelocityX -= c.Nx * j * b.InvMass;
    b.VelocityY -= c.Ny * j * b.InvMass;
    b.AngularSpeed -= j * c.RnB * b.InvInertia;
}

[[gnu::always_inline]] inline void SolveVelocity(TRigidContact& c) {
    float vn = NormalSpeed(*c.A, c.RnA, c.Nx, c.Ny);
    if (c.B) vn -= NormalSpeed(*c.B, c.RnB, c.Nx, c.Ny);
    const float total = std::max(c.Impulse + (c.Bound - vn) * c.InvK, 0.0f);
    const float j = total - c.Impulse;
    c.Impulse = total;
    ApplyImpulse(c, j);
}

// Where a vertex stands with its body's correction so far.
struct TPoint {
    float X, Y;
};

TPoint Corrected(const TBodyState& b, const TParticle& v) {
    const TBodyContacts& s = ContactsOf(const_cast<TBodyState&>(b));
    const float rx = v.PositionX - b.CenterX, ry = v.PositionY - b.CenterY;
    return {v.PositionX + s.ShiftX + s.Turn * ry, v.PositionY + s.ShiftY - s.Turn * rx};
}

void CorrectPosition(const TRigidContact& c) {
    const TPoint pa = Corrected(*c.A, *c.VA);
    float nx = c.Nx, ny = c.Ny, gap;
    TPoint pb{0, 0};
    if (!c.VB) {
        gap = nx * pa.X + ny * pa.Y + c.Offset;
    } else {
        pb = c.B ? Corrected(*c.B, *c.VB) : TPoint{c.VB->PositionX, c.VB->PositionY};
        const float dx = pa.X - pb.X, dy = pa.Y - pb.Y;
        constexpr float NEAREST = CONTACT_DISTANCE - SLOP;
        const float d2 = dx * dx + dy * dy;
        if (!(d2 < NEAREST * NEAREST && d2 > 0)) return;  // apart enough: most pairs
        const float d = std::sqrt(d2);
        nx = dx / d;
        ny = dy / d;
        gap = d - CONTACT_DISTANCE;
    }
    if (gap >= -SLOP) return;
    TBodyContacts& sa = ContactsOf(*c.A);
    const float rnA = (pa.Y - c.A->CenterY - sa.ShiftY) * nx - (pa.X - c.A->CenterX - sa.ShiftX) * ny;
    float rnB = 0;
    if (c.B) {
        const TBodyContacts& sb = ContactsOf(*c.B);
        rnB = (pb.Y - c.B->CenterY - sb.ShiftY) * nx - (pb.X - c.B->CenterX - sb.ShiftX) * ny;
    }
    const float k = Stiffness(c.A, rnA) + Stiffness(c.B, rnB);
    if (!(k > 0)) return;
    const float j = POSITION_SHARE * std::min(-(gap + SLOP), MAX_CORRECTION) / k;
    sa.ShiftX += nx * j * c.A->InvMass;
    sa.ShiftY += ny * j * c.A->InvMass;
    sa.Turn += j * rnA * c.A->InvInertia;
    if (!c.B) return;
    TBodyContacts& sb = ContactsOf(*c.B);
    sb.ShiftX -= nx * j * c.B->InvMass;
    sb.ShiftY -= ny * j * c.B->InvMass;
    sb.Turn -= j * rnB * c.B->InvInertia;
}

// Moves the body by the correction gathered, if any, and places its vertices.
void ApplyCorrection(TBodyState& b) {
    TBodyContacts& s = ContactsOf(b);
    if (s.ShiftX != 0 || s.ShiftY != 0 || s.Turn != 0) {
        b.CenterX += s.ShiftX;
        b.CenterY += s.ShiftY;
        b.Angle += TRigid::RAD_TO_DEG * s.Turn;
        PlaceVertices(b);
    }
    s.ShiftX = s.ShiftY = s.Turn = 0;
}

// With contacts on, a body's vertices are placed by its rotation, worked
// out once per pass, rather than each by its own angle; Turned works it out.
void Turned(TBodyState& b) {
    TBodyContacts& s = ContactsOf(b);
    const double angle = static_cast<double>(b.Angle) * RADIANS_PER_DEGREE;
    s.Cos = std::cos(angle);
    s.Sin = std::sin(angle);
}

// Where a vertex of a body that moved in this pass stands, as PlaceByRotation
// places it (the same sums); one that did not move stands where it was placed.
TPoint PlaceOf(const TBodyState& b, const TParticle& v) {
    const TBodyContacts& s = ContactsOf(const_cast<TBodyState&>(b));
    if (!s.Moved) return {v.PositionX, v.PositionY};
    const double lx = v.LocalX, ly = v.LocalY;
    return {static_cast<float>(b.CenterX + (s.Cos * lx - s.Sin * ly)),
            static_cast<float>(b.CenterY - (s.Sin * lx + s.Cos * ly))};
}

void PlaceByRotation(TBodyState& b) {
    const TBodyContacts& s = ContactsOf(b);
    if (!s.Moved) return;
    // Copies, which the stores to the vertices cannot be taken to change.
    const double c = s.Cos, sn = s.Sin, cx = b.CenterX, cy = b.CenterY;
    const float toScreen = TSPH::INV_UNIT_SCALE * StateOf(*b.Integrator).WorldScale;
    TParticle* const* vertices = b.Vertices.data();
    for (std::int32_t i = 0; i < b.VertexCount; ++i) {
        TParticle* v = vertices[i];
        const double lx = v->LocalX, ly = v->LocalY;
        v->PositionX = static_cast<float>(cx + (c * lx - sn * ly));
        v->PositionY = static_cast<float>(cy - (sn * lx + c * ly));
        v->ScreenX = v->PositionX * toScreen;
        v->ScreenY = v->PositionY * toScreen;
    }
}

// The overlap of a contact removed in part, as CorrectPosition does, but
// along the normal and with the effective mass of the velocity sweeps: the
// move of one pass hardly turns them, and the sweeps need neither a square
// root nor a division.
void CorrectAlongNormal(const TRigidContact& c) {
    TBodyState& a = *c.A;
    TBodyContacts& sa = ContactsOf(a);
    float x = c.Ax + sa.ShiftX + sa.Turn * (c.Ay - a.CenterY);
    float y = c.Ay + sa.ShiftY - sa.Turn * (c.Ax - a.CenterX);
    float gap;
    if (!c.VB) {
        gap = c.Nx * x + c.Ny * y + c.Offset;
    } else {
        if (c.B) {
            const TBodyState& b = *c.B;
            const TBodyContacts& sb = ContactsOf(*c.B);
            x -= c.Bx + sb.ShiftX + sb.Turn * (c.By - b.CenterY);
            y -= c.By + sb.ShiftY - sb.Turn * (c.Bx - b.CenterX);
        } else {
            x -= c.Bx;
            y -= c.By;
        }
        gap = c.Nx * x + c.Ny * y - CONTACT_DISTANCE;
    }
    if (gap >= -SLOP) return;
    const float j = POSITION_SHARE * std::min(-(gap + SLOP), MAX_CORRECTION) * c.InvK;
    sa.ShiftX += c.Nx * j * a.InvMass;
    sa.ShiftY += c.Ny * j * a.InvMass;
    sa.Turn += j * c.RnA * a.InvInertia;
    if (!c.B) return;
    TBodyState& b = *c.B;
    TBodyContacts& sb = ContactsOf(b);
    sb.ShiftX -= c.Nx * j * b.InvMass;
    sb.ShiftY -= c.Ny * j * b.InvMass;
    sb.Turn -= j * c.RnB * b.InvInertia;
}

// Where the contact's vertices stand after the move.
void TakeMovedPlaces(TRigidContact& c) {
    const TPoint a = PlaceOf(*c.A, *c.VA);
    c.Ax = a.X;
    c.Ay = a.Y;
    if (!c.VB) return;
    const TPoint b = c.B ? PlaceOf(*c.B, *c.VB) : TPoint{c.VB->PositionX, c.VB->PositionY};
    c.Bx = b.X;
    c.By = b.Y;
}

// The order in which a body's lists hold their contacts: the other body's
// entry, then the vertices' indices (edges: the vertex's, then the edge's).
// Wall particles' pairs come last and are never matched.
std::size_t OtherEntry(const TRigidContact& c) {
    return c.B ? ContactsOf(*c.B).FirstEntry : std::numeric_limits<std::size_t>::max();
}

bool Before(const TRigidContact& a, const TRigidContact& b) {
    const std::size_t ea = OtherEntry(a), eb = OtherEntry(b);
    if (ea != eb) return ea < eb;
    return a.IA != b.IA ? a.IA < b.IA : a.IB < b.IB;
}

// Each contact of `now` that was in `before` starts from the impulse it
// ended with there: both lists are in the order of Before, so one walk
// through them pairs them up.
void CarryImpulses(std::vector<TRigidContact>& now, const std::vector<TRigidContact>& before) {
    auto old = before.begin();
    for (TRigidContact& c : now) {
        if (c.IB < 0 && !c.B && c.VB) break;  // wall particles' pairs: last, not matched
        while (old != before.end() && Before(*old, c)) ++old;
        if (old == before.end()) break;
        if (old->IA == c.IA && old->IB == c.IB && old->B == c.B) c.Impulse = old->Impulse;
    }
}

// The body's vertices nearer to an edge than `reach`, each edge a contact
// of its own (right, bottom, left, top), numbered by vertex and edge so that
// the next pass can find them again.
void FindEdgeContacts(TBodyState& b, float reach, float dt) {
    TBodyContacts& s = ContactsOf(b);
    s.Edges.clear();
    const TWorldState& world = StateOf(*b.Integrator);
    const float w = world.ContainerWidth, h = world.ContainerHeight;
    for (std::int32_t i = 0; i < b.VertexCount; ++i) {
        const TParticle* v = b.Vertices[static_cast<std::size_t>(i)];
        const float x = v->PositionX, y = v->PositionY;
        if (x >= reach && y >= reach && w - x >= reach && h - y >= reach) continue;  // most vertices
        const struct {
            float Gap, Nx, Ny, Offset;
        } edges[4] = {{w - x, -1, 0, w}, {h - y, 0, -1, h}, {x, 1, 0, 0}, {y, 0, 1, 0}};
        for (std::int32_t k = 0; k < 4; ++k) {
            const auto& e = edges[k];
            if (!(e.Gap < reach) || s.Edges.size() == s.Edges.capacity()) continue;
            TRigidContact& c = s.Edges.emplace_back();
            c.A = &b;
            c.VA = v;
            c.Nx = e.Nx;
            c.Ny = e.Ny;
            c.Offset = e.Offset;
            c.IA = i;
            c.IB = k;
            Prepare(c, e.Gap, dt);
        }
    }
}

// The body of an entry of the world's body list.
TBodyState* BodyAt(TWorldState& world, std::size_t i) { return world.Rigids[i] ? &StateOf(*world.Rigids[i]) : nullptr; }

// The entries of the world's body list that a pass goes through once per
// body: each body's first, and how many times it is listed.
template <class Visit>
void ForEachBody(TWorldState& world, Visit&& visit) {
    for (std::size_t i = 0; i < world.Rigids.size(); ++i) {
        TBodyState* b = BodyAt(world, i);
        if (b && ContactsOf(*b).FirstEntry == i) visit(*b);
    }
}

std::int32_t CountEntries(TWorldState& world) {
    for (std::size_t i = 0; i < world.Rigids.size(); ++i)
        if (TBodyState* b = BodyAt(world, i)) ContactsOf(*b).Passes = 0;
    std::int32_t most = 0;
    for (std::size_t i = 0; i < world.Rigids.size(); ++i) {
        TBodyState* b = BodyAt(world, i);
        if (!b) continue;
        TBodyContacts& s = ContactsOf(*b);
        if (s.Passes == 0) s.FirstEntry = i;
        most = std::max(most, ++s.Passes);
    }
    return most;
}

// The nine grid cells around a position, those inside the grid.
template <class Visit>
void ForEachCellAround(const TWorldState& world, float x, float y, Visit&& visit) {
    const double c0 = std::floor(static_cast<double>(x) * TSPH::INV_SMOOTHING_LENGTH);
    const double r0 = std::floor(static_cast<double>(y) * TSPH::INV_SMOOTHING_LENGTH);
    const double c = std::clamp(c0, -1.0, static_cast<double>(world.GridWidth));
    const double r = std::clamp(r0, -1.0, static_cast<double>(world.GridHeight));
    for (int dc = -1; dc <= 1; ++dc)
        for (int dr = -1; dr <= 1; ++dr) {
            const double cc = c + dc, rr = r + dr;
            if (cc < 0 || rr < 0 || cc >= world.GridWidth || rr >= world.GridHeight) continue;
            visit(static_cast<std::size_t>(cc) * static_cast<std::size_t>(world.GridHeight) +
                  static_cast<std::size_t>(rr));
        }
}

using TBox = TBodyContacts::TBox;

constexpr float INF = std::numeric_limits<float>::infinity();

void Include(TBox& box, float x, float y) {
    box.MinX = std::min(box.MinX, x);
    box.MinY = std::min(box.MinY, y);
    box.MaxX = std::max(box.MaxX, x);
    box.MaxY = std::max(box.MaxY, y);
}

bool Within(const TBox& box, float reach, float x, float y) {
    return x >= box.MinX - reach && x <= box.MaxX + reach && y >= box.MinY - reach && y <= box.MaxY + reach;
}

bool Near(const TBox& a, const TBox& b, float reach) {
    return a.MinX <= b.MaxX + reach && b.MinX <= a.MaxX + reach && a.MinY <= b.MaxY + reach && b.MinY <= a.MaxY + reach;
}

TBox BoxOf(const TWorldState::ParticleArray& particles, std::int32_t count) {
    TBox box{INF, INF, -INF, -INF};
    for (std::int32_t k = 0; k < count; ++k) {
        const TParticle* p = particles[static_cast<std::size_t>(k)];
        Include(box, p->PositionX, p->PositionY);
    }
    return box;
}

// The indices of the body's vertices within `reach` of a box.
void CloseTo(TBodyState& b, const TBox& box, float reach) {
    TBodyContacts& s = ContactsOf(b);
    s.Close.clear();
    for (std::int32_t i = 0; i < b.VertexCount; ++i) {
        const TParticle* v = b.Vertices[static_cast<std::size_t>(i)];
        if (Within(box, reach, v->PositionX, v->PositionY)) s.Close.push_back(i);
    }
}

// The pairs between the vertices of two bodies within `reach` of each
// other, kept by `a`: only the vertices of each within reach of the other's
// box are tried, a strip along the side where they meet.
void GatherBodyPair(TBodyState& a, TBodyState& b, float reach, float dt) {
    TBodyContacts& sa = ContactsOf(a);
    TBodyContacts& sb = ContactsOf(b);
    CloseTo(a, sb.Box, reach);
    if (sa.Close.empty()) return;
    CloseTo(b, sa.Box, reach);
    const float reachSq = reach * reach;
    for (const std::int32_t i : sa.Close) {
        const TParticle* p = a.Vertices[static_cast<std::size_t>(i)];
        for (const std::int32_t k : sb.Close) {
            const TParticle* q = b.Vertices[static_cast<std::size_t>(k)];
            const float dx = p->PositionX - q->PositionX, dy = p->PositionY - q->PositionY, d2 = dx * dx + dy * dy;
            if (!(d2 > 0 && d2 < reachSq)) continue;
            if (sa.Pairs.size() == sa.Pairs.capacity()) return;  // no room: left out this step
            const float d = std::sqrt(d2);
            TRigidContact& c = sa.Pairs.emplace_back();
            c.A = &a;
            c.VA = p;
            c.B = &b;
            c.VB = q;
            c.Nx = dx / d;
            c.Ny = dy / d;
            c.IA = i;
            c.IB = k;
            Prepare(c, d - CONTACT_DISTANCE, dt);
        }
    }
}

// The pairs between the body's vertices and the wall particles within `reach`.
void GatherWalls(const TWorldState& world, TBodyState& a, const TBox& walls, float reach, float dt) {
    TBodyContacts& sa = ContactsOf(a);
    const float reachSq = reach * reach;
    for (std::int32_t i = 0; i < a.VertexCount; ++i) {
        const TParticle* p = a.Vertices[static_cast<std::size_t>(i)];
        const float x = p->PositionX, y = p->PositionY;
        if (!Within(walls, reach, x, y)) continue;
        ForEachCellAround(world, x, y, [&](std::size_t cell) {
            for (const TParticle* q = world.BoundaryGrid[cell]; q; q = q->Succ) {
                const float dx = x - q->PositionX, dy = y - q->PositionY, d2 = dx * dx + dy * dy;
                if (!(d2 > 0 && d2 < reachSq) || sa.Pairs.size() == sa.Pairs.capacity()) continue;
                const float d = std::sqrt(d2);
                TRigidContact& c = sa.Pairs.emplace_back();
                c.A = &a;
                c.VA = p;
                c.VB = q;
                c.Nx = dx / d;
                c.Ny = dy / d;
                c.IA = i;
                Prepare(c, d - CONTACT_DISTANCE, dt);
            }
        });
    }
}

// A solid particle and a vertex push each other apart as two solid particles
// do, with equal and opposite impulses over the step: the body feels its
// share in each of its passes.
void PushSolids(TWorldState& world, TBodyState& a, const TBox& solids) {
    const TBodyContacts& sa = ContactsOf(a);
    const float rangeSq = world.RepulsiveDistSq;
    const float share = SOLID_PARTICLE_MASS / static_cast<float>(sa.Passes);
    for (std::int32_t i = 0; i < a.VertexCount; ++i) {
        TParticle* p = a.Vertices[static_cast<std::size_t>(i)];
        const float x = p->PositionX, y = p->PositionY;
        if (!Within(solids, world.RepulsiveDistance, x, y)) continue;
        ForEachCellAround(world, x, y, [&](std::size_t cell) {
            for (auto* q = world.SolidGrid[cell]; q; q = const_cast<TParticle*>(q->Succ)) {
                const float dx = x - q->PositionX, dy = y - q->PositionY, d2 = dx * dx + dy * dy;
                if (!(d2 > 0 && d2 < rangeSq)) continue;
                const float f = SOLID_SHARE * Repulsion(rangeSq, world.RepulsiveD, d2);
                q->ForceX -= f * dx;
                q->ForceY -= f * dy;
                p->ForceX += f * dx * share;
                p->ForceY += f * dy * share;
            }
        });
    }
}

// The sweeps go through the contacts in STREAMS runs of bodies at once,
// taking one contact from each run in turn: each contact's impulse depends on
// the one before it when both touch the same body, and contacts of bodies far
// apart in the list seldom do, so the processor works on several at a time.
// The order is fixed by the lists alone, so the results are too.
constexpr std::size_t STREAMS = 4;

struct TStreams {
    std::array<std::size_t, STREAMS + 1> Start{};  // entries of the body list where each run starts
};

std::size_t ContactCount(const TBodyContacts& s) { return s.Edges.size() + s.Pairs.size(); }

// Runs of about equal numbers of contacts.
TStreams SplitIntoStreams(TWorldState& world) {
    std::size_t total = 0;
    ForEachBody(world, [&](TBodyState& b) { total += ContactCount(ContactsOf(b)); });
    TStreams streams;
    std::size_t run = 1, sum = 0;
    for (std::size_t i = 0; i < world.Rigids.size(); ++i) {
        TBodyState* b = BodyAt(world, i);
        if (!b || ContactsOf(*b).FirstEntry != i) continue;
        while (run < STREAMS && sum * STREAMS >= total * run) streams.Start[run++] = i;
        sum += ContactCount(ContactsOf(*b));
    }
    while (run <= STREAMS) streams.Start[run++] = world.Rigids.size();
    return streams;
}

template <class Visit>
void ForEachContactInterleaved(TWorldState& world, const TStreams& streams, Visit&& visit) {
    // A run's place: the list under way ([At, End)), the body's pairs to
    // follow its edges, and the next entry of the body list.
    struct TCursor {
        TRigidContact *At = nullptr, *End = nullptr;
        TBodyContacts* Body = nullptr;  // whose pairs come next, if not yet begun
        std::size_t Entry = 0, Last = 0;
    };
    std::array<TCursor, STREAMS> cursors;
    for (std::size_t k = 0; k < STREAMS; ++k) {
        cursors[k].Entry = streams.Start[k];
        cursors[k].Last = streams.Start[k + 1];
    }
    // Moves a run on to its next list that holds contacts; false at its end.
    auto refill = [&](TCursor& c) {
        for (;;) {
            if (c.Body) {
                TBodyContacts& s = *c.Body;
                c.Body = nullptr;
                if (!s.Pairs.empty()) {
                    c.At = s.Pairs.data();
                    c.End = c.At + s.Pairs.size();
                    return true;
                }
                continue;
            }
            for (; c.Entry < c.Last; ++c.Entry) {
                TBodyState* b = BodyAt(world, c.Entry);
                if (b && ContactsOf(*b).FirstEntry == c.Entry) break;
            }
            if (c.Entry >= c.Last) return false;
            TBodyContacts& s = ContactsOf(*BodyAt(world, c.Entry++));
            c.Body = &s;
            if (!s.Edges.empty()) {
                c.At = s.Edges.data();
                c.End = c.At + s.Edges.size();
                return true;
            }
        }
    };
    for (bool any = true; any;) {
        any = false;
        for (TCursor& c : cursors) {
            if (c.At == c.End && !refill(c)) continue;
            visit(*c.At++);
            any = true;
        }
    }
}

}  // namespace

TBodyContacts& ContactsOf(TBodyState& body) { return *body.Contacts; }

void PrepareBodyContacts(TBodyState& body) {
    TBodyContacts& s = ContactsOf(body);
    s.MaxRadius = 0;
    for (std::int32_t i = 0; i < body.VertexCount; ++i)
        s.MaxRadius = std::max(s.MaxRadius, body.Vertices[static_cast<std::size_t>(i)]->Radius);
    s.Edges.reserve(4 * static_cast<std::size_t>(body.VertexCount));
    if (body.Integrator && body.Integrator->GetRigidContacts()) ReservePairContacts(body);
}

void ReservePairContacts(TBodyState& body) {
    TBodyContacts& s = ContactsOf(body);
    const auto vertices = static_cast<std::size_t>(body.VertexCount);
    s.Pairs.reserve(PAIRS_PER_VERTEX * vertices);
    s.OldPairs.reserve(PAIRS_PER_VERTEX * vertices);
    s.OldEdges.reserve(4 * vertices);
    s.Close.reserve(vertices);
}

void AdvanceAlone(TBodyState& b) {
    const float dt = StateOf(*b.Integrator).Timestep;
    AdvanceVelocity(b, dt);
    TBodyContacts& s = ContactsOf(b);
    FindEdgeContacts(b, Travel(b, dt) + SLOP, dt);
    for (int sweep = 0; sweep < VELOCITY_SWEEPS && !s.Edges.empty(); ++sweep)
        for (TRigidContact& c : s.Edges) SolveVelocity(c);
    AdvancePosition(b, dt);
    PlaceVertices(b);
    if (s.Edges.empty()) return;
    for (int sweep = 0; sweep < POSITION_SWEEPS; ++sweep)
        for (const TRigidContact& c : s.Edges) CorrectPosition(c);
    ApplyCorrection(b);
}

// Each pair of bodies is met once, its pairs kept by the body listed first.
// Bodies whose boxes lie farther apart than they can close in the step are
// passed over whole; between the others only the vertices within reach of
// the other's box are compared. The pairs start from the impulses they
// ended the last step with.
void GatherWorldContacts(TWorldState& world) {
    CountEntries(world);
    const float dt = world.Timestep;
    ForEachBody(world, [&](TBodyState& b) {
        TBodyContacts& s = ContactsOf(b);
        std::swap(s.Pairs, s.OldPairs);
        s.Pairs.clear();
        s.Box = {INF, INF, -INF, -INF};
        for (std::int32_t i = 0; i < b.VertexCount; ++i) {
            const TParticle* v = b.Vertices[static_cast<std::size_t>(i)];
            Include(s.Box, v->PositionX, v->PositionY);
        }
    });
    // How near two things must come to be met this step: they touch at
    // CONTACT_DISTANCE, and each may travel its reach in each of its passes.
    // A wall pair is looked for among the nine cells around a vertex, so no
    // farther than a cell's width; pairs of bodies are held to the same.
    auto reachOf = [&](const TBodyState& b) {
        return Travel(b, dt) * static_cast<float>(ContactsOf(const_cast<TBodyState&>(b)).Passes);
    };
    auto capped = [](float r) { return std::min(r, TSPH::SMOOTHING_LENGTH); };
    const TBox walls = BoxOf(world.BoundaryParticles, world.BoundaryCount);
    const TBox solids = BoxOf(world.SolidParticles, world.SolidCount);
    ForEachBody(world, [&](TBodyState& a) {
        TBodyContacts& sa = ContactsOf(a);
        const float ra = reachOf(a);
        ForEachBody(world, [&](TBodyState& b) {
            if (ContactsOf(b).FirstEntry <= sa.FirstEntry || (a.InvMass == 0 && b.InvMass == 0)) return;
            const float reach = capped(CONTACT_DISTANCE + SLOP + ra + reachOf(b));
            if (Near(sa.Box, ContactsOf(b).Box, reach)) GatherBodyPair(a, b, reach, dt);
        });
        const float wallReach = capped(CONTACT_DISTANCE + SLOP + ra);
        if (a.InvMass > 0 && world.BoundaryCount > 0 && Near(sa.Box, walls, wallReach))
            GatherWalls(world, a, walls, wallReach, dt);
        if (world.SolidCount > 0 && Near(sa.Box, solids, world.RepulsiveDistance)) PushSolids(world, a, solids);
        CarryImpulses(sa.Pairs, sa.OldPairs);
    });
}

// Each pass: velocities from gravity and forces; the contacts prepared as
// the vertices stand, each starting from the impulse it ended the last pass
// with, which is applied again at once (warm starting: a resting contact's
// impulse is nearly right already, so a few sweeps do); the sweeps; the
// moves; the overlaps removed; the vertices placed once.
void AdvanceTogether(TWorldState& world) {
    const std::int32_t passes = CountEntries(world);
    const float dt = world.Timestep;
    for (std::int32_t pass = 0; pass < passes; ++pass) {
        auto moving = [&](const TBodyState& b) {
            return ContactsOf(const_cast<TBodyState&>(b)).Passes > pass && b.InvMass > 0;
        };
        ForEachBody(world, [&](TBodyState& b) {
            if (moving(b)) AdvanceVelocity(b, dt);
        });
        ForEachBody(world, [&](TBodyState& b) {
            TBodyContacts& s = ContactsOf(b);
            std::swap(s.Edges, s.OldEdges);
            s.Edges.clear();
            if (b.InvMass > 0) FindEdgeContacts(b, Travel(b, dt) + SLOP, dt);
            CarryImpulses(s.Edges, s.OldEdges);
            // The pairs were prepared as they were found, where the first
            // pass finds them; later passes prepare them again, as the
            // vertices stand now, keeping their impulses.
            if (pass == 0) return;
            for (TRigidContact& c : s.Pairs) {
                const float dx = c.VA->PositionX - c.VB->PositionX, dy = c.VA->PositionY - c.VB->PositionY;
                const float d = std::sqrt(dx * dx + dy * dy);
                if (d > 0) {
                    c.Nx = dx / d;
                    c.Ny = dy / d;
                }
                const float impulse = c.Impulse;
                Prepare(c, d - CONTACT_DISTANCE, dt);
                c.Impulse = impulse;
            }
        });
        ForEachBody(world, [&](TBodyState& b) {
            TBodyContacts& s = ContactsOf(b);
            for (const TRigidContact& c : s.Edges) ApplyImpulse(c, c.Impulse);
            for (const TRigidContact& c : s.Pairs) ApplyImpulse(c, c.Impulse);
        });
        const TStreams streams = SplitIntoStreams(world);
        for (int sweep = 0; sweep < WARM_VELOCITY_SWEEPS; ++sweep)
            ForEachContactInterleaved(world, streams, [](TRigidContact& c) { SolveVelocity(c); });
        ForEachBody(world, [&](TBodyState& b) {
            TBodyContacts& s = ContactsOf(b);
            s.Moved = moving(b);
            if (!s.Moved) return;
            AdvancePosition(b, dt);
            Turned(b);
        });
        ForEachBody(world, [&](TBodyState& b) {
            TBodyContacts& s = ContactsOf(b);
            for (TRigidContact& c : s.Edges) TakeMovedPlaces(c);
            for (TRigidContact& c : s.Pairs) TakeMovedPlaces(c);
        });
        for (int sweep = 0; sweep < WARM_POSITION_SWEEPS; ++sweep)
            ForEachContactInterleaved(world, streams, [](const TRigidContact& c) { CorrectAlongNormal(c); });
        // The correction is taken in, and the body placed once.
        ForEachBody(world, [&](TBodyState& b) {
            TBodyContacts& s = ContactsOf(b);
            if (s.ShiftX != 0 || s.ShiftY != 0 || s.Turn != 0) {
                b.CenterX += s.ShiftX;
                b.CenterY += s.ShiftY;
                b.Angle += TRigid::RAD_TO_DEG * s.Turn;
                s.ShiftX = s.ShiftY = s.Turn = 0;
                s.Moved = true;
                Turned(b);
            }
            PlaceByRotation(b);
        });
    }
}

}  // namespace sph_detail
