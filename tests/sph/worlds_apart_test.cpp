// Worlds share nothing: two built at once on two threads (under
// ThreadSanitizer in the test command) number their own particles and keep
// their own bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/sph.h"

namespace {

std::unique_ptr<TSPH> BuildWithBodies(std::vector<TRigid*>& bodies) {
    auto world = TSPH::Create({.ContainerWidth = 2400, .ContainerHeight = 1800, .Scale = 0.33333334f});
    TFluid::Create(world.get()).get()->CreateRect(100, 300, 300, 100, 0, 0);
    for (int k = 0; k < 20; ++k) {
        TRigid* body = TRigid::BeginBody(world.get()).get();
        for (int v = 0; v < 30; ++v) world->AddRigidParticle(body->AddVertex(10.0f + k, 10.0f + v * 0.5f, 1));
        bodies.push_back(body->EndBody());
        bodies.push_back(TRigid::CreateRigidRect(50.0f * k, 50, 40, 100, world.get()).get());
    }
    for (int i = 0; i < 5; ++i) world->Update();
    return world;
}

TEST(WorldsApart, TwoWorldsBuiltOnTwoThreadsNumberAndBuildTheirOwn) {
    std::vector<TRigid*> bodies[2];
    std::unique_ptr<TSPH> worlds[2];
    std::thread other([&] { worlds[1] = BuildWithBodies(bodies[1]); });
    worlds[0] = BuildWithBodies(bodies[0]);
    other.join();
    for (int w = 0; w < 2; ++w) {
        const TSPH& world = *worlds[w];
        std::vector<std::int32_t> ids;
        for (const TSPH::ParticleView view : {world.GetFluidParticles(), world.GetRigidParticles()})
            for (const TParticle* p : view) ids.push_back(p->ID);
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "world " << w << " repeats a number";
        EXPECT_EQ(ids.front(), 0);
        for (const TRigid* body : bodies[w])
            for (const TParticle* p : body->GetVertices()) {
                ASSERT_TRUE(p->Rigid == body && world.Owns(p)) << "world " << w;
            }
    }
}

}  // namespace
