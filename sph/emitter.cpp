#include "sph/emitter.h"

#include <limits>

#include "sph/detail/checks.h"
#include "sph/detail/lattice.h"
#include "sph/fluid.h"
#include "sph/sph.h"

std::unique_ptr<TFluidEmitter> TFluidEmitter::Create(std::shared_ptr<TFluid> fluid, const TEmitterSettings& settings) {
    const sph_detail::TCheck check("TFluidEmitter::Create");
    check.NotNull("the fluid", fluid.get());
    const TSPH* world = fluid->GetWorld();
    if (!world) check.Fail("the fluid's world is gone");
    // Any delay will do: below 0, a block comes on every update.
    const auto& [x, y, width, height, delay, speedX, speedY] = settings;
    const sph_detail::TSceneRect r = sph_detail::SceneRect(check, world, x, y, width, height);
    check.Finite("the x speed", speedX);
    check.Finite("the y speed", speedY);
    // An emitter pours the same block again and again: refused at once
    // rather than on the emission that would lay too many.
    sph_detail::LatticeCount(check, r, TFluid::LATTICE_SPACING);
    const float left = r.X * TSPH::UNIT_SCALE, top = r.Y * TSPH::UNIT_SCALE;
    const float right = (r.X + r.Width) * TSPH::UNIT_SCALE, bottom = (r.Y + r.Height) * TSPH::UNIT_SCALE;
    if (!(left >= 0 && top >= 0 && right <= world->GetContainerWidth() && bottom <= world->GetContainerHeight()))
        check.Fail("the block (" + sph_detail::Shown(x) + ", " + sph_detail::Shown(y) + ", " +
                   sph_detail::Shown(width) + " × " + sph_detail::Shown(height) +
                   " screen pixels) lies outside the container");
    return std::unique_ptr<TFluidEmitter>(new TFluidEmitter(std::move(fluid), settings));
}

// While active, a block comes every Delay + 1 updates, the first on update
// Delay + 2. The counter survives switching off and on, and stops at its
// largest value rather than overflow.
void TFluidEmitter::Update() {
    if (!Active) return;
    if (!Fluid->GetWorld()) sph_detail::TCheck("TFluidEmitter::Update").Fail("the fluid's world is gone");
    if (Counter > Settings.Delay) {
        Fluid->CreateRect(Settings.X, Settings.Y, Settings.Width, Settings.Height, Settings.SpeedX, Settings.SpeedY);
        Counter = 0;
    }
    if (Counter < std::numeric_limits<std::int32_t>::max()) ++Counter;
}

void TFluidEmitter::Trigger() { Active = !Active; }
