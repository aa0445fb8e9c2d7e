// Writes api_fuzz's seed corpus into the folder given: a few short scenes,
// each of which gets a world far enough (particles of every kind, threads,
// two worlds, emitters, the builder) that the fuzzer's changes start from
// there rather than from an empty world.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fuzz/api_fuzz_calls.h"

namespace {

using namespace api_fuzz;

class TSeed {
public:
    TSeed& Call(TCall call, int slot = 0) { return B(call).B(static_cast<std::uint8_t>(slot)); }
    TSeed& B(std::uint8_t b) {
        Bytes.push_back(b);
        return *this;
    }
    TSeed& F(float v) {
        for (std::size_t i = 0; i < std::size(FLOATS); ++i)
            if (std::memcmp(&FLOATS[i], &v, sizeof v) == 0) return B(static_cast<std::uint8_t>(i));
        const float small = v / SMALL_FLOAT_STEP;
        if (small >= 0 && small < RAW - SMALL && small == std::floor(small))
            return B(static_cast<std::uint8_t>(SMALL + small));
        return Raw(&v);
    }
    TSeed& I(std::int32_t v) {
        for (std::size_t i = 0; i < std::size(INTS); ++i)
            if (INTS[i] == v) return B(static_cast<std::uint8_t>(i));
        if (v >= 0 && v % SMALL_INT_STEP == 0 && v / SMALL_INT_STEP < RAW - SMALL)
            return B(static_cast<std::uint8_t>(SMALL + v / SMALL_INT_STEP));
        return Raw(&v);
    }
    // A world of 1800 × 1800 scene pixels drawn at scale 1, with the default step.
    TSeed& World(int slot, bool shared = false) {
        return Call(CREATE_WORLD, slot).I(1800).I(1800).F(1).F(0.4f).F(0).F(0.7f).F(30).F(0.5f).B(shared);
    }
    TSeed& Rect(float x, float y, float w, float h) { return F(x).F(y).F(w).F(h); }
    TSeed& Updates(int slot, int n, int threads) {
        for (int k = 0; k < n; ++k) Call(UPDATE, slot).B(static_cast<std::uint8_t>(threads));
        return *this;
    }
    void Write(const std::string& path) const {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(Bytes.data(), 1, Bytes.size(), file) != Bytes.size()) {
            std::perror(path.c_str());
            std::exit(1);
        }
        std::fclose(file);
    }

private:
    TSeed& Raw(const void* v) {
        B(RAW);
        const auto* bytes = static_cast<const std::uint8_t*>(v);
        Bytes.insert(Bytes.end(), bytes, bytes + 4);
        return *this;
    }
    std::vector<std::uint8_t> Bytes;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: api_fuzz_seeds <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0777);

    // A block of liquid poured onto a floor, split over threads.
    TSeed liquid;
    liquid.World(0);
    liquid.Call(BOUNDARY_RECT).Rect(0, 1600, 1776, 32);
    liquid.Call(FLUID_CREATE);
    liquid.Call(FLUID_RECT).B(0).Rect(400, 800, 400, 320).F(0).F(1);
    liquid.Call(SET_TASK_RUNNER).B(2).I(1).B(1);
    liquid.Updates(0, 6, 2).Updates(0, 4, 3).Write(dir + "/liquid");

    // An elastic block with an extra constraint, stepped phase by phase.
    TSeed solid;
    solid.World(0);
    solid.Call(SOLID_CREATE);
    solid.Call(SOLID_STIFFNESS).B(0).F(0.5f);
    solid.Call(SOLID_RECT).B(0).Rect(320, 320, 160, 160).F(2).F(0);
    solid.Call(ADD_CONSTRAINT).B(2).B(0).B(2).B(40);
    for (int phase = REDISTRIBUTE_GRID; phase <= CONSTRAINTS_UPDATE; ++phase) solid.Call(static_cast<TCall>(phase));
    solid.Updates(0, 6, 0).Write(dir + "/solid");

    // A box, and a body of three vertices from the builder, one of them
    // registered with the world, then closed; bodies meet each other.
    TSeed rigid;
    rigid.World(0);
    rigid.Call(SET_RIGID_CONTACTS).B(1);
    rigid.Call(RIGID_RECT).Rect(320, 320, 160, 160);
    rigid.Call(BEGIN_BODY);
    rigid.Call(ADD_VERTEX).B(2).F(800).F(40).F(1);
    rigid.Call(ADD_VERTEX).B(2).F(816).F(40).F(2);
    rigid.Call(ADD_VERTEX).B(2).F(800).F(48).F(1);
    rigid.Call(ADD_RIGID_PARTICLE).B(5).B(0);
    rigid.Call(END_BODY).B(2);
    rigid.Updates(0, 8, 1).Write(dir + "/rigid");

    // Two worlds numbered together; an emitter pours into the first, which
    // is then destroyed while the second steps on.
    TSeed two;
    two.World(0, true).World(1, true);
    two.Call(FLUID_CREATE, 0).Call(FLUID_CREATE, 1);
    two.Call(EMITTER_CREATE).B(0).Rect(160, 160, 160, 96).I(0).F(0).F(0);
    two.Call(EMITTER_TRIGGER).B(0);
    two.Call(EMITTER_UPDATE).B(0).Call(EMITTER_UPDATE).B(0).Updates(0, 1, 0).Call(EMITTER_UPDATE).B(0);
    two.Call(FLUID_RECT).B(1).Rect(160, 160, 320, 160).F(0).F(0);
    two.Updates(0, 2, 2).Updates(1, 2, 0);
    two.Call(DESTROY_WORLD, 0);
    two.Updates(1, 4, 3).Write(dir + "/two_worlds");

    // One particle of each kind from the factories (the liquid one far
    // outside the container), registered and stepped; then the pool alone,
    // with tasks that throw.
    TSeed made;
    made.World(0);
    made.Call(FLUID_CREATE).Call(SOLID_CREATE).Call(BEGIN_BODY);
    made.Call(MAKE_FLUID_PARTICLE).F(1e6f).F(10).B(0);
    made.Call(ADD_FLUID_PARTICLE).B(5).B(0);
    made.Call(MAKE_SOLID_PARTICLE).F(20).F(20).B(0);
    made.Call(ADD_SOLID_PARTICLE).B(5).B(0);
    made.Call(MAKE_RIGID_PARTICLE).F(30).F(30).F(1).B(0);
    made.Call(ADD_RIGID_PARTICLE).B(5).B(0);
    made.Call(BODY_ADD_PARTICLE).B(0).B(5).B(0);
    made.Call(END_BODY).B(0);
    made.Call(MAKE_BOUNDARY_PARTICLE).F(40).F(40);
    made.Call(ADD_BOUNDARY_PARTICLE).B(5).B(0);
    made.Updates(0, 4, 0);
    made.Call(POOL_RUN).B(3).I(100).B(2).Write(dir + "/factories");
    return 0;
}
