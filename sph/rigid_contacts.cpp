// The contacts of rigid bodies: finding them, the velocity sweeps and the
// correction of positions. A pass of a body (Box2D's order): velocity from
// gravity and the vertex forces; the contacts met, resolved together by
// sequential impulses; position; overlap removed by moving the bodies alone.
#include "sph/detail/rigid_contacts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "sph/detail/pushes.h"
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
constexpr int POSITION_SWEEPS = 3;
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

void AdvanceVelocity(TRigid& b, float dt) {
    const TSPH& world = *b.Integrator;
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

void AdvancePosition(TRigid& b, float dt) {
    b.CenterX += b.VelocityX * dt;
    b.CenterY += b.VelocityY * dt;
    b.Angle += TRigid::RAD_TO_DEG * b.AngularSpeed * dt;
}

// A vertex at body angle θ sits at (R cos θ, −R sin θ) from the centre.
void PlaceVertices(TRigid& b) {
    const TSPH& world = *b.Integrator;
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
float Travel(const TRigid& b, float dt) {
    const float speed = std::fabs(b.VelocityX) + std::fabs(b.VelocityY) +
                        std::fabs(b.AngularSpeed) * ContactsOf(const_cast<TRigid&>(b)).MaxRadius;
    return speed * dt;
}

// The lever arm of a point about the body's centre for a push along (nx, ny):
// a turn at speed ω moves the point along the normal at ω × this.
float LeverArm(const TRigid& b, float x, float y, float nx, float ny) {
    return (y - b.CenterY) * nx - (x - b.CenterX) * ny;
}

float NormalSpeed(const TRigid& b, float rn, float nx, float ny) {
    return b.VelocityX * nx + b.VelocityY * ny + b.AngularSpeed * rn;
}

float Stiffness(const TRigid* b, float rn) { return b ? b->InvMass + rn * rn * b->InvInertia : 0.0f; }

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

void ApplyImpulse(const TRigidContact& c, float j) {
    TRigid& a = *c.A;
    a.VelocityX += c.Nx * j * a.InvMass;
    a.VelocityY += c.Ny * j * a.InvMass;
    a.AngularSpeed += j * c.RnA * a.InvInertia;
    if (!c.B) return;
    TRigid& b = *c.B;
    b.VelocityX -= c.Nx * j * b.InvMass;
    b.VelocityY -= c.Ny * j * b.InvMass;
    b.AngularSpeed -= j * c.RnB * b.InvInertia;
}

void SolveVelocity(TRigidContact& c) {
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

TPoint Corrected(const TRigid& b, const TParticle& v) {
    const TBodyContacts& s = ContactsOf(const_cast<TRigid&>(b));
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
void ApplyCorrection(TRigid& b) {
    TBodyContacts& s = ContactsOf(b);
    if (s.ShiftX != 0 || s.ShiftY != 0 || s.Turn != 0) {
        b.CenterX += s.ShiftX;
        b.CenterY += s.ShiftY;
        b.Angle += TRigid::RAD_TO_DEG * s.Turn;
        PlaceVertices(b);
    }
    s.ShiftX = s.ShiftY = s.Turn = 0;
}

// The body's vertices nearer to an edge than `reach`, each edge a contact
// of its own: right, bottom, left, top.
void FindEdgeContacts(TRigid& b, float reach, float dt) {
    TBodyContacts& s = ContactsOf(b);
    s.Edges.clear();
    const TSPH& world = *b.Integrator;
    const float w = world.ContainerWidth, h = world.ContainerHeight;
    for (std::int32_t i = 0; i < b.VertexCount; ++i) {
        const TParticle* v = b.Vertices[static_cast<std::size_t>(i)];
        const float x = v->PositionX, y = v->PositionY;
        const struct {
            float Gap, Nx, Ny, Offset;
        } edges[4] = {{w - x, -1, 0, w}, {h - y, 0, -1, h}, {x, 1, 0, 0}, {y, 0, 1, 0}};
        for (const auto& e : edges) {
            if (!(e.Gap < reach) || s.Edges.size() == s.Edges.capacity()) continue;
            TRigidContact& c = s.Edges.emplace_back();
            c.A = &b;
            c.VA = v;
            c.Nx = e.Nx;
            c.Ny = e.Ny;
            c.Offset = e.Offset;
            Prepare(c, e.Gap, dt);
        }
    }
}

// The entries of the world's body list that a pass goes through once per
// body: each body's first, and how many times it is listed.
template <class Visit>
void ForEachBody(TSPH& world, Visit&& visit) {
    for (std::size_t i = 0; i < world.Rigids.size(); ++i) {
        TRigid* b = world.Rigids[i];
        if (b && ContactsOf(*b).FirstEntry == i) visit(*b);
    }
}

std::int32_t CountEntries(TSPH& world) {
    for (TRigid* b : world.Rigids)
        if (b) ContactsOf(*b).Passes = 0;
    std::int32_t most = 0;
    for (std::size_t i = 0; i < world.Rigids.size(); ++i) {
        TRigid* b = world.Rigids[i];
        if (!b) continue;
        TBodyContacts& s = ContactsOf(*b);
        if (s.Passes == 0) s.FirstEntry = i;
        most = std::max(most, ++s.Passes);
    }
    return most;
}

// The nine grid cells around a position, those inside the grid.
template <class Visit>
void ForEachCellAround(const TSPH& world, float x, float y, Visit&& visit) {
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

// The part of the body's box within `reach` of `other`, added to its near boxes.
void AddNear(TBodyContacts& s, const TBox& other, float reach) {
    const TBox part{std::max(s.Box.MinX, other.MinX - reach), std::max(s.Box.MinY, other.MinY - reach),
                    std::min(s.Box.MaxX, other.MaxX + reach), std::min(s.Box.MaxY, other.MaxY + reach)};
    if (part.MinX > part.MaxX || part.MinY > part.MaxY) return;
    if (s.NearCount < TBodyContacts::NEAR_BOXES) {
        s.Near[s.NearCount++] = part;
        return;
    }
    TBox& last = s.Near.back();
    last = {std::min(last.MinX, part.MinX), std::min(last.MinY, part.MinY), std::max(last.MaxX, part.MaxX),
            std::max(last.MaxY, part.MaxY)};
}

bool IsNear(const TBodyContacts& s, float x, float y) {
    for (std::size_t i = 0; i < s.NearCount; ++i) {
        const TBox& b = s.Near[i];
        if (x >= b.MinX && x <= b.MaxX && y >= b.MinY && y <= b.MaxY) return true;
    }
    return false;
}

TBox BoxOf(const TSPH::ParticleArray& particles, std::int32_t count) {
    TBox box{INF, INF, -INF, -INF};
    for (std::int32_t k = 0; k < count; ++k) {
        const TParticle* p = particles[static_cast<std::size_t>(k)];
        Include(box, p->PositionX, p->PositionY);
    }
    return box;
}

}  // namespace

TBodyContacts& ContactsOf(TRigid& body) { return *body.Contacts; }

void PrepareBodyContacts(TRigid& body) {
    TBodyContacts& s = ContactsOf(body);
    s.MaxRadius = 0;
    for (std::int32_t i = 0; i < body.VertexCount; ++i)
        s.MaxRadius = std::max(s.MaxRadius, body.Vertices[static_cast<std::size_t>(i)]->Radius);
    s.Edges.reserve(4 * static_cast<std::size_t>(body.VertexCount));
    if (body.Integrator && body.Integrator->GetRigidContacts()) ReservePairContacts(body);
}

void ReservePairContacts(TRigid& body) {
    ContactsOf(body).Pairs.reserve(PAIRS_PER_VERTEX * static_cast<std::size_t>(body.VertexCount));
}

void AdvanceAlone(TRigid& b) {
    const float dt = b.Integrator->Timestep;
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

// Pairs are met once, from the higher-numbered vertex, and kept by its body.
// Only the vertices of a body that lie within reach of another body, a wall
// or a solid look at the grids.
void GatherWorldContacts(TSPH& world) {
    CountEntries(world);
    const float dt = world.Timestep;
    ForEachBody(world, [&](TRigid& b) {
        TBodyContacts& s = ContactsOf(b);
        s.Pairs.clear();
        s.Box = {INF, INF, -INF, -INF};
        s.NearCount = 0;
    });
    for (std::int32_t k = 0; k < world.RigidCount; ++k) {
        const TParticle* p = world.RigidParticles[static_cast<std::size_t>(k)];
        Include(ContactsOf(*p->Rigid).Box, p->PositionX, p->PositionY);
    }
    // How near two things must come to be met this step: they touch at
    // CONTACT_DISTANCE, and each may travel its reach in each of its passes.
    // A pair is looked for among the nine cells around a vertex, so no
    // farther than a cell's width.
    auto reachOf = [&](const TRigid& b) {
        return Travel(b, dt) * static_cast<float>(ContactsOf(const_cast<TRigid&>(b)).Passes);
    };
    auto capped = [](float r) { return std::min(r, TSPH::SMOOTHING_LENGTH); };
    const TBox walls = BoxOf(world.BoundaryParticles, world.BoundaryCount);
    const TBox solids = BoxOf(world.SolidParticles, world.SolidCount);
    ForEachBody(world, [&](TRigid& a) {
        TBodyContacts& sa = ContactsOf(a);
        const float ra = reachOf(a);
        ForEachBody(world, [&](TRigid& b) {
            if (&a == &b) return;
            const TBodyContacts& sb = ContactsOf(b);
            AddNear(sa, sb.Box, capped(CONTACT_DISTANCE + SLOP + ra + reachOf(b)));
        });
        AddNear(sa, walls, capped(CONTACT_DISTANCE + SLOP + ra));
        AddNear(sa, solids, world.RepulsiveDistance);
    });

    const float solidRangeSq = world.RepulsiveDistSq;
    for (std::int32_t k = 0; k < world.RigidCount; ++k) {
        TParticle* p = world.RigidParticles[static_cast<std::size_t>(k)];
        TRigid& a = *p->Rigid;
        TBodyContacts& sa = ContactsOf(a);
        const float x = p->PositionX, y = p->PositionY;
        if (!IsNear(sa, x, y)) continue;
        const float ra = reachOf(a);
        auto addPair = [&](TRigid* b, const TParticle* q, float dx, float dy, float d2) {
            if (sa.Pairs.size() == sa.Pairs.capacity()) return;  // no room: left out this step
            const float d = std::sqrt(d2);
            TRigidContact& c = sa.Pairs.emplace_back();
            c.A = &a;
            c.VA = p;
            c.B = b;
            c.VB = q;
            c.Nx = dx / d;
            c.Ny = dy / d;
            Prepare(c, d - CONTACT_DISTANCE, dt);
        };
        ForEachCellAround(world, x, y, [&](std::size_t cell) {
            for (const TParticle* q = world.RigidGrid[cell]; q; q = q->Succ) {
                if (q->Rigid == &a || q->ID >= p->ID) continue;
                const float dx = x - q->PositionX, dy = y - q->PositionY, d2 = dx * dx + dy * dy;
                const float reach = capped(CONTACT_DISTANCE + SLOP + ra + reachOf(*q->Rigid));
                if (d2 > 0 && d2 < reach * reach) addPair(q->Rigid, q, dx, dy, d2);
            }
            const float wallReach = capped(CONTACT_DISTANCE + SLOP + ra);
            for (const TParticle* q = world.BoundaryGrid[cell]; q; q = q->Succ) {
                const float dx = x - q->PositionX, dy = y - q->PositionY, d2 = dx * dx + dy * dy;
                if (d2 > 0 && d2 < wallReach * wallReach) addPair(nullptr, q, dx, dy, d2);
            }
            // A solid particle and a vertex push each other apart as two
            // solid particles do, with equal and opposite impulses over the
            // step: the body feels its share in each of its passes.
            for (TParticle* q = world.SolidGrid[cell]; q; q = q->Succ) {
                const float dx = x - q->PositionX, dy = y - q->PositionY, d2 = dx * dx + dy * dy;
                if (!(d2 > 0 && d2 < solidRangeSq)) continue;
                const float f = SOLID_SHARE * Repulsion(solidRangeSq, world.RepulsiveD, d2);
                q->ForceX -= f * dx;
                q->ForceY -= f * dy;
                const float share = SOLID_PARTICLE_MASS / static_cast<float>(sa.Passes);
                p->ForceX += f * dx * share;
                p->ForceY += f * dy * share;
            }
        });
    }
}

void AdvanceTogether(TSPH& world) {
    const std::int32_t passes = CountEntries(world);
    const float dt = world.Timestep;
    for (std::int32_t pass = 0; pass < passes; ++pass) {
        auto moving = [&](const TRigid& b) {
            return ContactsOf(const_cast<TRigid&>(b)).Passes > pass && b.InvMass > 0;
        };
        ForEachBody(world, [&](TRigid& b) {
            if (moving(b)) AdvanceVelocity(b, dt);
        });
        ForEachBody(world, [&](TRigid& b) {
            TBodyContacts& s = ContactsOf(b);
            s.Edges.clear();
            if (b.InvMass > 0) FindEdgeContacts(b, Travel(b, dt) + SLOP, dt);
            for (TRigidContact& c : s.Pairs) {
                // The normal of each pair as the vertices stand now.
                const float bx = c.VB->PositionX, by = c.VB->PositionY;
                const float dx = c.VA->PositionX - bx, dy = c.VA->PositionY - by;
                const float d = std::sqrt(dx * dx + dy * dy);
                if (d > 0) {
                    c.Nx = dx / d;
                    c.Ny = dy / d;
                }
                Prepare(c, d - CONTACT_DISTANCE, dt);
            }
        });
        for (int sweep = 0; sweep < VELOCITY_SWEEPS; ++sweep)
            ForEachBody(world, [&](TRigid& b) {
                TBodyContacts& s = ContactsOf(b);
                for (TRigidContact& c : s.Edges) SolveVelocity(c);
                for (TRigidContact& c : s.Pairs) SolveVelocity(c);
            });
        ForEachBody(world, [&](TRigid& b) {
            if (!moving(b)) return;
            AdvancePosition(b, dt);
            PlaceVertices(b);
        });
        for (int sweep = 0; sweep < POSITION_SWEEPS; ++sweep)
            ForEachBody(world, [&](TRigid& b) {
                TBodyContacts& s = ContactsOf(b);
                for (const TRigidContact& c : s.Edges) CorrectPosition(c);
                for (const TRigidContact& c : s.Pairs) CorrectPosition(c);
            });
        ForEachBody(world, [&](TRigid& b) { ApplyCorrection(b); });
    }
}

}  // namespace sph_detail
