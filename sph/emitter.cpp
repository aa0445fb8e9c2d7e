#include "sph/emitter.h"

#include <limits>

#include "sph/detail/checks.h"
#include "sph/detail/lattice.h"
#include "sph/fluid.h"
#include "sph/sph.h"

std::unique_ptr<TFluidEmitter> TFluidEmitter::Create(TFluid* fluid, float x, float y, float width, float height,
                                                     std::int32_t delay, float xSpeed, float ySpeed) {
    const sph_detail::TCheck check("TFluidEmitter::Create");
    check.NotNull("the fluid", fluid);
    const TSPH* world = check.NotNull("the fluid's world (make fluids with TFluid::Create)", fluid->Integrator);
    const sph_detail::TSceneRect r = sph_detail::SceneRect(check, world, x, y, width, height);
    check.Finite("the x speed", xSpeed);
    check.Finite("the y speed", ySpeed);
    // An emitter pours the same block again and again: refused at once
    // rather than on the emission that would lay too many.
    sph_detail::LatticeCount(check, r, TFluid::LATTICE_SPACING);
    const float left = r.X * TSPH::UNIT_SCALE, top = r.Y * TSPH::UNIT_SCALE;
    const float right = (r.X + r.Width) * TSPH::UNIT_SCALE, bottom = (r.Y + r.Height) * TSPH::UNIT_SCALE;
    if (!(left >= 0 && top >= 0 && right <= world->ContainerWidth && bottom <= world->ContainerHeight))
        check.Fail("the block (" + sph_detail::Shown(x) + ", " + sph_detail::Shown(y) + ", " +
                   sph_detail::Shown(width) + " × " + sph_detail::Shown(height) +
                   " screen pixels) lies outside the container");
    auto emitter = std::make_unique<TFluidEmitter>();
    emitter->Fluid = fluid;
    emitter->X = x;
    emitter->Y = y;
    emitter->Width = width;
    emitter->Height = height;
    emitter->TimerDelay = delay;
    emitter->XSpeed = xSpeed;
    emitter->YSpeed = ySpeed;
    return emitter;
}

// While active, a block comes every TimerDelay + 1 updates, the first on
// update TimerDelay + 2. The counter survives switching off and on, and
// stops at its largest value rather than overflow.
void TFluidEmitter::Update() {
    if (Active == 0) return;
    if (!Fluid) sph_detail::TCheck("TFluidEmitter::Update").Fail("the emitter has no fluid");
    if (Counter > TimerDelay) {
        Fluid->CreateRect(X, Y, Width, Height, XSpeed, YSpeed);
        Counter = 0;
    }
    if (Counter < std::numeric_limits<std::int32_t>::max()) ++Counter;
}

// Toggles: an idle emitter starts pouring, an active one stops.
void TFluidEmitter::Trigger() { Active = Active == 0 ? 1 : 0; }
