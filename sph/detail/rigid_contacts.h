// The contacts of rigid bodies: a body's vertices against the container's
// edges, and, where the world asks for it, against other bodies' vertices,
// wall particles and solid particles. The edges and the other bodies are
// met as Box2D's contact solver meets them: a few sequential-impulse sweeps
// with an accumulated, never negative impulse per contact (restitution 0),
// then a correction of positions that removes overlap without touching the
// velocities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sph/rigid.h"
#include "sph/sph.h"

namespace sph_detail {

// One point where a vertex VA of body A meets something: a container edge
// (B and VB null), a wall particle (B null) or a vertex VB of body B.
struct TRigidContact {
    TBodyState* A = nullptr;
    const TParticle* VA = nullptr;
    TBodyState* B = nullptr;
    const TParticle* VB = nullptr;
    float Nx = 0, Ny = 0;  // unit normal along which A is pushed, B the other way
    float Offset = 0;      // an edge's: the gap is Nx x + Ny y + Offset
    float RnA = 0, RnB = 0;
    float InvK = 0;     // one over the effective mass along the normal
    float Bound = 0;    // the least normal speed allowed: the gap closed in one time step
    float Impulse = 0;  // accumulated, never negative
    // With contacts on, what the contact is from step to step: the index of
    // VA in A and of VB in B, or of the edge; -1 for a wall particle's.
    std::int32_t IA = -1, IB = -1;
    // With contacts on, where VA and VB stand after the move, before the
    // correction of positions.
    float Ax = 0, Ay = 0, Bx = 0, By = 0;
};

// A body's working state for its contacts. The lists keep their room from
// step to step, so that the step allocates nothing.
struct TBodyContacts {
    std::vector<TRigidContact> Edges;  // room for four per vertex
    std::vector<TRigidContact> Pairs;  // those it holds with others; room reserved while contacts are on
    // With contacts on, last pass's edges and last step's pairs, whose
    // impulses start the new ones that match them (warm starting), and a
    // scratch list: the indices of the vertices near another body.
    std::vector<TRigidContact> OldEdges, OldPairs;
    std::vector<std::int32_t> Close;
    float MaxRadius = 0;  // of the vertices about the centre
    // The correction of position under way: a shift and a turn in radians.
    float ShiftX = 0, ShiftY = 0, Turn = 0;
    // Per step, with contacts on: how many times the body is listed in its
    // world (so advanced per step), the index of its first entry and the box
    // of its vertices.
    std::int32_t Passes = 0;
    std::size_t FirstEntry = 0;
    struct TBox {
        float MinX, MinY, MaxX, MaxY;
    };
    TBox Box{};
    // In the pass under way: whether the body moved, and the cosine and sine
    // of its angle once it has.
    bool Moved = false;
    double Cos = 1, Sin = 0;
};

TBodyContacts& ContactsOf(TBodyState& body);

// Called by Init: the body's extent, and room for its edge contacts (and
// for its pairs, if its world has contacts on).
void PrepareBodyContacts(TBodyState& body);
// Room for the body's contacts with other things: PAIRS_PER_VERTEX per vertex.
void ReservePairContacts(TBodyState& body);
inline constexpr std::size_t PAIRS_PER_VERTEX = 12;

// One pass of a body on its own (its world without contacts): velocity,
// the edges met, position, vertices placed, overlap with the edges removed.
void AdvanceAlone(TBodyState& body);

// With contacts on: gathers the pairs and pushes solid particles
// (Rigid_CalcForces), and advances all bodies together (Rigid_Integrate).
// Placing vertices by the body's rotation, these give other bits than
// AdvanceAlone even where nothing touches.
void GatherWorldContacts(TWorldState& world);
void AdvanceTogether(TWorldState& world);

}  // namespace sph_detail
