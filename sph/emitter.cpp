#include "sph/emitter.h"

#include "sph/fluid.h"

std::unique_ptr<TFluidEmitter> TFluidEmitter::Create(TFluid* fluid, float x, float y, float width, float height,
                                                     std::int32_t delay, float xSpeed, float ySpeed) {
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
// update TimerDelay + 2. The counter survives switching off and on.
void TFluidEmitter::Update() {
    if (Active == 0) return;
    if (Counter > TimerDelay) {
        Fluid->CreateRect(X, Y, Width, Height, XSpeed, YSpeed);
        Counter = 0;
    }
    ++Counter;
}

void TFluidEmitter::Trigger() { Active = Active == 0 ? 1 : 0; }
