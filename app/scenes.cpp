#include "app/scenes.h"

TSPH& TDemoScenes::CurrentWorld() const {
    switch (CurrentScene) {
        case 2:
            return *World2;
        case 3:
            return *World3;
        default:
            return *World1;
    }
}

void TDemoScenes::SetTaskRunner(const std::shared_ptr<TTaskRunner>& runner, const TSplitSettings& settings) {
    for (TSPH* world : {World1.get(), World2.get(), World3.get()}) world->SetTaskRunner(runner, settings);
}

void TDemoScenes::SetRigidContacts(bool on) {
    RigidContactsAtStart = on;
    for (TSPH* world : {World1.get(), World2.get(), World3.get()}) world->SetRigidContacts(on);
}

TDemoScenes BuildScenes(std::shared_ptr<TParticleNumbering> numbering) {
    TDemoScenes s;
    // Scene 1's scale is the single-precision value nearest 2/7, whose
    // inverse is just below 3.5: that decides how many wall particles fit.
    // One numbering for the three worlds: every particle of the demo has a
    // number of its own, given in the order of this function.
    if (!numbering) numbering = std::make_shared<TParticleNumbering>();
    s.Numbering = numbering;
    s.World1 = TSPH::Create({.ContainerWidth = 2800,
                             .ContainerHeight = 2100,
                             .Scale = 0.2857143f,
                             .GravityY = 0.7f,
                             .Numbering = numbering});
    s.World2 = TSPH::Create(
        {.ContainerWidth = 4000, .ContainerHeight = 3000, .Scale = 0.2f, .GravityY = 0.2f, .Numbering = numbering});
    s.World3 = TSPH::Create({.ContainerWidth = 2400,
                             .ContainerHeight = 1800,
                             .Scale = 0.33333334f,
                             .GravityY = 0.4f,
                             .Numbering = numbering});

    s.Fluid1 = TFluid::Create(s.World1.get());
    s.Solid1 = TSolid::Create(s.World1.get());
    s.Fluid2a = TFluid::Create(s.World2.get());
    s.Fluid2b = TFluid::Create(s.World2.get());
    s.Fluid2c = TFluid::Create(s.World2.get());

    s.Rigid3 = TRigid::CreateRigidRect(100, 50, 500, 50, s.World3.get());
    s.Rigid3->SetColor(0, 255, 0);

    s.Solid1->SetColor(255, 0, 0);
    s.Solid1->SetStiffness(0.9f);
    s.Fluid2a->SetColor(255, 0, 0);
    s.Fluid2b->SetColor(0, 0, 255);
    s.Fluid1->SetColor(0, 0, 255);
    s.Fluid2c->SetColor(0, 255, 0);
    s.Fluid2a->SetRestDensity(0.5f);
    s.Fluid2b->SetRestDensity(0.35f);
    s.Fluid1->SetRestDensity(0.35f);
    s.Fluid2c->SetRestDensity(0.2f);
    s.Fluid2a->SetSurfaceTension(2.0f);
    s.Fluid2b->SetSurfaceTension(2.0f);
    s.Fluid1->SetSurfaceTension(0.1f);
    s.Fluid2c->SetSurfaceTension(2.0f);

    s.Emitter1 =
        TFluidEmitter::Create(s.Fluid1, {.X = 80, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.35f});
    s.Emitter1->Trigger();

    s.Solid1->CreateRect(280, 490, 270, 60, 0, 0);
    CreateBoundaryRect(s.World1.get(), 280, 0, 40, 487);    // the pillar
    CreateBoundaryRect(s.World1.get(), 320, 420, 30, 47);   // a small block beside it
    CreateBoundaryRect(s.World1.get(), 0, 550, 560, 50);    // the floor ledge
    CreateBoundaryRect(s.World1.get(), 560, 500, 40, 100);  // the step

    s.Emitter2a =
        TFluidEmitter::Create(s.Fluid2a, {.X = 320, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.3f});
    s.Emitter2b =
        TFluidEmitter::Create(s.Fluid2b, {.X = 160, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.3f});
    s.Emitter2c =
        TFluidEmitter::Create(s.Fluid2c, {.X = 480, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.3f});

    s.Fluid2a->CreateRect(0, 250, 266, 350, 0, 0);
    s.Fluid2b->CreateRect(266, 250, 266, 350, 0, 0);
    s.Fluid2c->CreateRect(533, 250, 266, 350, 0, 0);
    s.CurrentScene = 1;
    return s;
}

void StepCurrentScene(TDemoScenes& s, TDemoInput& input, bool advance) {
    using namespace demo_keys;
    // x is read before y: every query pumps events, so the two reads are
    // separate statements in that order (as arguments their order is open).
    struct TMouse {
        float X, Y;
    };
    auto mouse = [&] {
        const auto x = static_cast<float>(input.MouseXPos());
        const auto y = static_cast<float>(input.MouseYPos());
        return TMouse{x, y};
    };
    if (input.TakeKeyHits(KEY_C) != 0) {
        TSPH& world = s.CurrentWorld();
        world.SetRigidContacts(!world.GetRigidContacts());
    }
    switch (s.CurrentScene) {
        case 1:
            if (input.TakeMouseHits(LEFT_BUTTON) != 0) {
                const TMouse at = mouse();
                s.Solid1->CreateRect(at.X, at.Y, 50, 150, 0, 0);
            }
            if (input.TakeMouseHits(RIGHT_BUTTON) != 0) {
                const TMouse at = mouse();
                CreateBoundaryRect(s.World1.get(), at.X, at.Y, 50, 50);
            }
            if (input.TakeKeyHits(SPACE) != 0) s.Emitter1->Trigger();
            if (!advance) break;
            s.Emitter1->Update();
            s.World1->Update();
            break;
        case 2:
            if (input.TakeKeyHits(SPACE) != 0) {
                s.Emitter2a->Trigger();
                s.Emitter2b->Trigger();
                s.Emitter2c->Trigger();
            }
            if (!advance) break;
            s.Emitter2a->Update();
            s.Emitter2b->Update();
            s.Emitter2c->Update();
            s.World2->Update();
            break;
        case 3:
            if (input.TakeMouseHits(LEFT_BUTTON) != 0) {
                const TMouse at = mouse();
                TRigid::CreateRigidRect(at.X, at.Y, 40, 150, s.World3.get());
            }
            if (advance) s.World3->Update();
            break;
        default:
            break;
    }
}

void SelectScene(TDemoScenes& s, TDemoInput& input) {
    using namespace demo_keys;
    if (input.TakeKeyHits(DIGIT_1) != 0) s.CurrentScene = 1;
    if (input.TakeKeyHits(DIGIT_2) != 0) s.CurrentScene = 2;
    if (input.TakeKeyHits(DIGIT_3) != 0) s.CurrentScene = 3;
}

std::string ParticleCountText(const TDemoScenes& s) {
    const TSPH& world = s.CurrentWorld();
    return "Particles: " + std::to_string(world.GetParticleCount()) + (world.GetRigidContacts() ? ", contacts on" : "");
}
