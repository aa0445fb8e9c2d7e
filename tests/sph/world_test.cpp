// The world: creation, registration, the particle factories and wall building.
#include <gtest/gtest.h>

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

using test_worlds::SceneOneWorld;
using test_worlds::UnitScaleWorld;

// The containers of the three scenes fill the 800 × 600 window; the grid's
// size is the ceiling of the double-precision product (77 × 0.259740263 is
// 20.0000003 in double), and a container of no width has no grid.
TEST(WorldCreation, ContainersAndGridsOfTheThreeScenes) {
    struct Case {
        int width, height;
        float scale;
        float containerWidth, containerHeight;
        int gridWidth, gridHeight;
    };
    for (const Case& c : {Case{2800, 2100, 0.2857143f, 196, 147, 51, 39}, Case{4000, 3000, 0.2f, 280, 210, 73, 55},
                          Case{2400, 1800, 0.33333334f, 168, 126, 44, 33}}) {
        auto world = TSPH::Create({.ContainerWidth = c.width, .ContainerHeight = c.height, .Scale = c.scale});
        EXPECT_EQ(world->GetContainerWidth(), c.containerWidth);
        EXPECT_EQ(world->GetContainerHeight(), c.containerHeight);
        EXPECT_EQ(world->GetGridWidth(), c.gridWidth);
        EXPECT_EQ(world->GetGridHeight(), c.gridHeight);
        EXPECT_EQ(world->GetFluidGrid().size(), static_cast<std::size_t>(c.gridWidth * c.gridHeight));
        EXPECT_EQ(world->GetParticleCount(), 0);
    }
    auto world = UnitScaleWorld();
    world->SetContainerSize(77, 77);
    EXPECT_EQ(world->GetGridWidth(), 21);
    EXPECT_EQ(world->GetGridHeight(), 21);
    world->SetContainerSize(0, 50);
    EXPECT_TRUE(world->GetFluidGrid().empty());
    EXPECT_TRUE(world->GetBoundaryGrid().empty());
}

// The views list every registered particle, past the first thousand; the
// particles lie in creation order and never move.
TEST(ParticleArrays, ListEveryParticleInCreationOrderWithoutMovingIt) {
    auto world = UnitScaleWorld();
    TFluid* fluid = TFluid::Create(world.get()).get();
    std::vector<const TParticle*> made;
    for (int i = 0; i < 11000; ++i) made.push_back(test_worlds::AddFluidAt(*world, fluid, 1, i == 0 ? 2.0f : 1.0f));
    ASSERT_EQ(world->GetFluidCount(), 11000);
    EXPECT_EQ(made[1], made[0] + 1);
    EXPECT_EQ(made[0]->PositionY, 2.0f);
    EXPECT_TRUE(std::equal(made.begin(), made.end(), world->GetFluidParticles().begin()));
}

// Every kind is numbered from one numbering, which worlds may share; the
// factories do not register what they make. A fluid particle starts with
// its fluid's density and a copy of its colour; a wall particle is pink and
// massless; a body's vertex is placed by the body, not by Verlet.
TEST(ParticleFactories, NumberEveryKindAndStartItsRecord) {
    const auto numbering = std::make_shared<TParticleNumbering>();
    auto a = TSPH::Create({.ContainerWidth = 4000, .ContainerHeight = 3000, .Scale = 0.2f, .Numbering = numbering});
    auto b =
        TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f, .Numbering = numbering});
    TFluid* fluid = TFluid::Create(a.get()).get();
    fluid->SetColor(1, 2, 3);
    const TParticle* f = TParticle::CreateFluidParticle(1, 2, fluid);
    fluid->SetColor(9, 9, 9);
    const TParticle* w = TParticle::CreateBoundaryParticle(b.get(), 5, 6);
    const TParticle* s = TParticle::CreateSolidParticle(0, 0, TSolid::Create(a.get()).get());
    TRigid* body = TRigid::BeginBody(b.get()).get();
    body->SetColor(10, 20, 30);
    const TParticle* v = TParticle::CreateRigidParticle(3, 4, 2.5f, body);
    EXPECT_EQ(f->ID, 0);
    EXPECT_EQ(w->ID, 1);
    EXPECT_EQ(s->ID, 2);
    EXPECT_EQ(v->ID, 3);
    EXPECT_EQ(numbering->Next(), 4);
    EXPECT_EQ(a->GetParticleCount() + b->GetParticleCount(), 0);
    EXPECT_EQ(TParticle::CreateBoundaryParticle(UnitScaleWorld().get(), 0, 0)->ID, 0);  // a numbering of its own

    EXPECT_NEAR(f->ScreenX, 2.857143f, 1e-5f);
    EXPECT_NEAR(f->ScreenY, 5.714286f, 1e-5f);
    EXPECT_EQ(f->Density, fluid->GetRestDensity());
    EXPECT_FLOAT_EQ(f->Mass, 4.19096279f * fluid->GetRestDensity());
    EXPECT_EQ(f->Fluid, fluid);
    EXPECT_TRUE(f->ColorR == 1 && f->ColorG == 2 && f->ColorB == 3);

    EXPECT_TRUE(w->ColorR == 255 && w->ColorG == 128 && w->ColorB == 128);
    EXPECT_EQ(w->Mass, 0.0f);
    EXPECT_TRUE(w->Fluid == nullptr && w->Solid == nullptr && w->Rigid == nullptr);
    EXPECT_FLOAT_EQ(w->ScreenX, 5 * TSPH::INV_UNIT_SCALE * b->GetWorldScale());

    EXPECT_EQ(v->Rigid, body);
    EXPECT_TRUE(v->Fluid == nullptr && v->Solid == nullptr);
    EXPECT_EQ(v->Mass, 2.5f);
    EXPECT_TRUE(v->PositionX == 3.0f && v->PositionY == 4.0f && v->OldX == 0.0f && v->OldY == 0.0f);
    EXPECT_TRUE(v->ColorR == 10 && v->ColorG == 20 && v->ColorB == 30);
}

// Walls are laid column by column, each from the top down, edges included.
// Scene one's pillar has seven columns of 86: the inverse of the scale is
// rounded to single precision, just below 3.5, so w' = 139.99999 and the
// eighth column, at x' + 140, lies beyond the edge. A rectangle of no width
// is one column; one of negative size, or so far away that a step is lost
// in its coordinates, is refused.
TEST(BoundaryRect, WallsOfTheScenesColumnByColumn) {
    auto world = SceneOneWorld();
    const float rects[][4] = {{280, 0, 40, 487}, {320, 420, 30, 47}, {0, 550, 560, 50}, {560, 500, 40, 100}};
    const int expected[] = {602, 54, 882, 126};
    for (int i = 0; i < 4; ++i) {
        const int before = world->GetBoundaryCount();
        CreateBoundaryRect(world.get(), rects[i][0], rects[i][1], rects[i][2], rects[i][3]);
        EXPECT_EQ(world->GetBoundaryCount() - before, expected[i]) << "wall " << i;
    }
    EXPECT_EQ(world->GetParticleCount(), world->GetBoundaryCount());
    const TSPH::ParticleView walls = world->GetBoundaryParticles();
    EXPECT_EQ(walls[0]->PositionX, walls[85]->PositionX);
    EXPECT_LT(walls[0]->PositionY, walls[1]->PositionY);
    EXPECT_LT(walls[85]->PositionX, walls[86]->PositionX);

    auto unit = UnitScaleWorld();
    CreateBoundaryRect(unit.get(), 0, 0, 40, 40);
    ASSERT_EQ(unit->GetBoundaryCount(), 9);
    EXPECT_FLOAT_EQ(unit->GetBoundaryParticles()[1]->PositionY - unit->GetBoundaryParticles()[0]->PositionY, 1.4f);
    CreateBoundaryRect(unit.get(), 0, 0, 0, 40);
    EXPECT_EQ(unit->GetBoundaryCount(), 12);
    EXPECT_THROW(CreateBoundaryRect(unit.get(), 0, 0, -1, 40), TSPHError);
    EXPECT_THROW(CreateBoundaryRect(unit.get(), 0, 0, 40, -1), TSPHError);
    EXPECT_THROW(CreateBoundaryRect(unit.get(), 1e9f, 0, 100, 0), TSPHError);  // 20 is lost when added to 1e9
    EXPECT_EQ(unit->GetBoundaryCount(), 12);
}
