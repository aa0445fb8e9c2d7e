// Fuzz target: the sph library's public calls, in any order and with any
// arguments. An input is a program: one byte picks a call, the bytes after
// it its arguments (api_fuzz_calls.h), until the input or the call budget
// runs out. Up to two worlds live at once, and the particles, materials, bodies
// and emitters the calls hand back are kept per world to be passed to later
// calls, to this world's calls or to the other's.
//
// Every call either does what it says or refuses with TSPHError and changes
// nothing; std::bad_alloc is allowed too. Any other exception escapes and
// ends the run. After every step or public phase each particle and body of
// the stepped world must hold finite numbers, and after a whole step every
// liquid and solid particle must lie inside the container: otherwise the
// calls of the input are printed and the run aborts. So it does when a
// refused call changed something. API_FUZZ_ECHO=1 prints each call of an
// input as it is made.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "sph/emitter.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "sph/thread_pool.h"
#include "tests/fuzz/api_fuzz_calls.h"

namespace {

// What one input may do, so that a run stays fast.
constexpr int MAX_CALLS = 64;
constexpr int MAX_STEPS = 32;
constexpr std::int32_t MAX_WORLD_PARTICLES = 20000;  // no more blocks past this many
constexpr double MAX_BLOCK = 20000;                  // nor blocks larger than this
// libFuzzer takes one allocation past its memory limit for a crash, and
// AddressSanitizer never turns a failed one into std::bad_alloc: larger
// reservations are not asked for.
constexpr std::int64_t MAX_RESERVED = 100000;
// Particles piled into a few cells make a step quadratic (14 000 in one
// corner take half a second a step unsanitized), and a step clears and
// fills every cell of the grids (a grid of 2^20 cells a quarter of a second
// sanitized). A step's work is counted as the pairs of particles in
// neighbouring cells plus CELL_WORK per cell, about 1e-7 s each sanitized,
// and steps past these budgets are skipped.
constexpr double CELL_WORK = 2;
constexpr double MAX_STEP_WORK = 4e6;
constexpr double MAX_INPUT_WORK = 2e7;

using namespace api_fuzz;

// The bytes of one input, read as api_fuzz_calls.h says. Past the end
// every byte reads as 0.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}

    bool Done() const { return Pos >= Size; }
    std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    bool Bool() { return Byte() & 1; }
    float Float() {
        const std::uint8_t b = Byte();
        if (b < SMALL) return FLOATS[b % std::size(FLOATS)];
        if (b < RAW) return static_cast<float>(b - SMALL) * SMALL_FLOAT_STEP;
        return Raw<float>();
    }
    std::int32_t Int() {
        const std::uint8_t b = Byte();
        if (b < SMALL) return INTS[b % std::size(INTS)];
        if (b < RAW) return (b - SMALL) * SMALL_INT_STEP;
        return Raw<std::int32_t>();
    }

private:
    template <class T>
    T Raw() {
        std::uint8_t bytes[4] = {Byte(), Byte(), Byte(), Byte()};
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t Pos = 0;
};

std::string Shown(float v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INFINITY" : "-INFINITY";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    std::string shown = text;
    if (shown.find_first_of(".e") == std::string::npos) shown += ".";
    return shown + "f";
}

TThreadPool& Pool(int threads) {
    static TThreadPool pools[3] = {TThreadPool(1), TThreadPool(2), TThreadPool(3)};
    return pools[threads - 1];
}

// A particle the factories made, and whether it has been handed to a world
// or a body since; only before that may the harness still change it.
struct TMade {
    TParticle* P;
    std::string Name;
    bool Handed = false;
};

struct TSlot {
    std::unique_ptr<TSPH> World;
    std::vector<TFluid*> Fluids;
    std::vector<TSolid*> Solids;
    std::vector<TRigid*> Bodies;
    std::vector<TMade> Made;
    std::vector<std::unique_ptr<TFluidEmitter>> Emitters;
    TSplitSettings Settings;
};

struct TPicked {
    TParticle* P = nullptr;
    std::string Name = "nullptr";
};

class THarness {
public:
    void Run(TInput& in) {
        for (int calls = 0; calls < MAX_CALLS && !in.Done() && !Stop; ++calls) {
            const std::size_t logged = Log.size();
            Before.clear();
            TakeState(Before);
            try {
                Call(in);
            } catch (const TSPHError& e) {
                Log.back() += "  // refused: ";
                Log.back() += e.what();
                Unchanged();
            } catch (const std::bad_alloc&) {
                Log.back() += "  // bad_alloc";
                Unchanged();
            }
            if (Echo && Log.size() > logged && Log.back() != Echoed)
                std::fprintf(stderr, "  => %s\n", Log.back().c_str());
        }
    }

private:
    std::string W(int s) const { return "w" + std::to_string(s); }
    TSPH* WorldOrNull(int s) const { return Slots[s].World.get(); }

    void Note(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        Log.emplace_back(text);
        if (Echo) std::fprintf(stderr, "%s\n", text);
        if (Echo) Echoed = text;
    }

    [[noreturn]] void Finding(const std::string& what) const {
        std::fprintf(stderr, "\n==== api_fuzz finding: %s\n==== after these calls:\n", what.c_str());
        for (const std::string& line : Log) std::fprintf(stderr, "  %s\n", line.c_str());
        std::abort();
    }

    int SlotOf(const TSPH* world) const {
        for (int s = 0; s < 2; ++s)
            if (world && Slots[s].World.get() == world) return s;
        return -1;
    }

    // A particle to pass: none, one of a world's registered ones, or one
    // the factories made, of either world.
    TPicked PickParticle(TInput& in) {
        const std::uint8_t how = in.Byte();
        const std::uint8_t k = in.Byte();
        const int s = (how >> 3) & 1;
        TSlot& slot = Slots[s];
        const int source = how & 7;
        if (source == 0 || !slot.World) return {};
        TPicked picked;
        if (source <= 4) {
            const TSPH& w = *slot.World;
            const TSPH::ParticleArray* arrays[] = {&w.FluidParticles, &w.SolidParticles, &w.RigidParticles,
                                                   &w.BoundaryParticles};
            const std::int32_t counts[] = {w.FluidCount, w.SolidCount, w.RigidCount, w.BoundaryCount};
            const char* names[] = {"FluidParticles", "SolidParticles", "RigidParticles", "BoundaryParticles"};
            if (counts[source - 1] > 0) {
                const std::int32_t i = k % counts[source - 1];
                picked.P = (*arrays[source - 1])[static_cast<std::size_t>(i)];
                picked.Name = W(s) + "->" + names[source - 1] + "[" + std::to_string(i) + "]";
                return picked;
            }
        }
        if (slot.Made.empty()) return {};
        const TMade& made = slot.Made[slot.Made.size() - 1 - k % slot.Made.size()];  // the latest, most often
        return {made.P, made.Name};
    }

    // A material of either world, or a loose one no world owns.
    template <class Material>
    Material* Pick(TInput& in, std::vector<Material*> TSlot::*list, Material* loose, std::string& name,
                   const char* prefix) {
        const std::uint8_t b = in.Byte();
        const int s = b & 1;
        const std::vector<Material*>& materials = Slots[s].*list;
        if (b == 0xFF || materials.empty()) {
            name = std::string("loose") + prefix;
            return loose;
        }
        const std::size_t i = (b >> 1) % materials.size();
        name = W(s) + prefix + std::to_string(i);
        return materials[i];
    }
    TFluid* PickFluid(TInput& in, std::string& name) { return Pick(in, &TSlot::Fluids, &LooseFluid, name, "fluid"); }
    TSolid* PickSolid(TInput& in, std::string& name) { return Pick(in, &TSlot::Solids, &LooseSolid, name, "solid"); }
    TRigid* PickBody(TInput& in, std::string& name) { return Pick(in, &TSlot::Bodies, &LooseBody, name, "body"); }

    void Keep(TParticle* p, const char* call) {
        for (int s = 0; s < 2; ++s)
            if (Slots[s].World && Slots[s].World->Owns(p)) {
                std::string name = "p" + std::to_string(ParticlesMade++);
                Log.back() = name + " = " + Log.back();
                Slots[s].Made.push_back({p, name});
                return;
            }
        Finding(std::string(call) + " made a particle that no world owns");
    }

    void Handed(TParticle* p) {
        for (TSlot& slot : Slots)
            for (TMade& made : slot.Made)
                if (made.P == p) made.Handed = true;
    }

    // Blocks of more than MAX_BLOCK particles, or in a world past
    // MAX_WORLD_PARTICLES, are not asked for. Sides that are not finite, or
    // too long for both corners to lie within ±1e6 simulation units, the
    // library refuses itself.
    static bool TooMany(const TSPH* world, float width, float height, float spacing) {
        if (!world) return false;
        const double w = std::fabs(width * static_cast<double>(world->InvWorldScale));
        const double h = std::fabs(height * static_cast<double>(world->InvWorldScale));
        if (!(std::max(w, h) * TSPH::UNIT_SCALE <= 2e6)) return false;
        if (world->GetParticleCount() > MAX_WORLD_PARTICLES) return true;
        return (w / spacing + 2) * (h / spacing + 2) > MAX_BLOCK;
    }

    // What a refused call must leave as it was: each world's counts and
    // settings, and the harness's materials and bodies. A world made or
    // dropped shows in the lists' lengths.
    struct TField {
        const char* Name;
        int Slot;
        std::size_t Index;
        double Value;
    };
    void TakeState(std::vector<TField>& fields) const {
        auto add = [&](const char* name, int s, std::size_t i, double v) { fields.push_back({name, s, i, v}); };
        auto place = [](const void* p) { return static_cast<double>(reinterpret_cast<std::uintptr_t>(p)); };
        for (int s = 0; s < 2; ++s) {
            const TSlot& slot = Slots[s];
            add("world", s, 0, place(slot.World.get()));
            if (slot.World) {
                const TSPH& w = *slot.World;
                const double values[] = {static_cast<double>(w.FluidCount),
                                         static_cast<double>(w.SolidCount),
                                         static_cast<double>(w.RigidCount),
                                         static_cast<double>(w.BoundaryCount),
                                         static_cast<double>(w.ConstraintCount),
                                         static_cast<double>(w.Fluids.size()),
                                         static_cast<double>(w.Solids.size()),
                                         static_cast<double>(w.Rigids.size()),
                                         static_cast<double>(w.GridWidth),
                                         static_cast<double>(w.GridHeight),
                                         w.ContainerWidth,
                                         w.ContainerHeight,
                                         static_cast<double>(w.GWidth),
                                         static_cast<double>(w.GHeight),
                                         w.WorldScale,
                                         w.Timestep,
                                         w.RepulsiveDistance,
                                         w.RepulsiveD,
                                         w.GravityX,
                                         w.GravityY,
                                         w.ParticleSize,
                                         static_cast<double>(w.Numbering().Next()),
                                         place(w.GetTaskRunner())};
                for (std::size_t i = 0; i < std::size(values); ++i)
                    add("a count or setting of the world", s, i, values[i]);
            }
            for (std::size_t i = 0; i < slot.Fluids.size(); ++i) {
                const TFluid& f = *slot.Fluids[i];
                for (const double v :
                     {static_cast<double>(f.Damping), static_cast<double>(f.SurfaceTension),
                      static_cast<double>(f.V_Alpha), static_cast<double>(f.V_Beta), static_cast<double>(f.RestDensity),
                      static_cast<double>(f.P_B), place(f.Integrator)})
                    add("a field of fluid", s, i, v);
            }
            for (std::size_t i = 0; i < slot.Solids.size(); ++i)
                for (const double v :
                     {static_cast<double>(slot.Solids[i]->Stiffness), place(slot.Solids[i]->Integrator)})
                    add("a field of solid", s, i, v);
            for (std::size_t i = 0; i < slot.Bodies.size(); ++i) {
                const TRigid& b = *slot.Bodies[i];
                for (const double v :
                     {static_cast<double>(b.Mass), static_cast<double>(b.CenterX), static_cast<double>(b.CenterY),
                      static_cast<double>(b.Inertia), static_cast<double>(b.Repulsion),
                      static_cast<double>(b.VertexCount), place(b.Integrator)})
                    add("a field of body", s, i, v);
            }
            add("made particles", s, 0, static_cast<double>(slot.Made.size()));
            add("emitters", s, 0, static_cast<double>(slot.Emitters.size()));
        }
        for (const void* loose :
             {static_cast<const void*>(LooseFluid.Integrator), static_cast<const void*>(LooseSolid.Integrator),
              static_cast<const void*>(LooseBody.Integrator)})
            add("the world of a loose material", 0, 0, place(loose));
    }

    void Unchanged() {
        After.clear();
        TakeState(After);
        for (std::size_t k = 0; k < std::max(Before.size(), After.size()); ++k) {
            if (k < Before.size() && k < After.size() &&
                std::memcmp(&Before[k].Value, &After[k].Value, sizeof(double)) == 0)
                continue;
            const TField& f = k < Before.size() ? Before[k] : After[k];
            Finding(std::string("the last call was refused but changed ") + f.Name + " " + std::to_string(f.Index) +
                    " of slot " + std::to_string(f.Slot));
        }
    }

    // The first number of the world that is not finite, or particle outside
    // the container after a whole step; none, empty.
    std::string Problem(int s, const char* call, bool wholeStep) const {
        const TSPH& w = *Slots[s].World;
        auto at = [&](const char* what, const std::string& of, const char* is) {
            return std::string("after ") + call + ", " + what + " of " + W(s) + "->" + of + " is " + is;
        };
        auto check = [&](const TSPH::ParticleArray& particles, std::int32_t count, const char* array,
                         bool inside) -> std::string {
            for (std::int32_t i = 0; i < count; ++i) {
                const TParticle& p = *particles[static_cast<std::size_t>(i)];
                const float fields[] = {p.PositionX, p.PositionY, p.OldX,   p.OldY,   p.VelocityX, p.VelocityY,
                                        p.ScreenX,   p.ScreenY,   p.ForceX, p.ForceY, p.Density,   p.Pressure};
                const char* names[] = {"PositionX", "PositionY", "OldX",   "OldY",   "VelocityX", "VelocityY",
                                       "ScreenX",   "ScreenY",   "ForceX", "ForceY", "Density",   "Pressure"};
                const std::string of = std::string(array) + "[" + std::to_string(i) + "]";
                for (std::size_t f = 0; f < std::size(fields); ++f)
                    if (!std::isfinite(fields[f])) return at(names[f], of, "not finite");
                if (inside && !(p.PositionX >= 0 && p.PositionX <= w.ContainerWidth))
                    return at("PositionX", of, "outside the container");
                if (inside && !(p.PositionY >= 0 && p.PositionY <= w.ContainerHeight))
                    return at("PositionY", of, "outside the container");
            }
            return {};
        };
        for (const std::string& problem :
             {check(w.FluidParticles, w.FluidCount, "FluidParticles", wholeStep),
              check(w.SolidParticles, w.SolidCount, "SolidParticles", wholeStep),
              check(w.RigidParticles, w.RigidCount, "RigidParticles", false),  // vertices are not kept inside
              check(w.BoundaryParticles, w.BoundaryCount, "BoundaryParticles", false)})
            if (!problem.empty()) return problem;
        for (std::size_t i = 0; i < w.Rigids.size(); ++i) {
            const TRigid* body = w.Rigids[i];
            if (!body) continue;
            const float fields[] = {body->CenterX,   body->CenterY,   body->Angle,
                                    body->VelocityX, body->VelocityY, body->AngularSpeed};
            const char* names[] = {"CenterX", "CenterY", "Angle", "VelocityX", "VelocityY", "AngularSpeed"};
            for (std::size_t f = 0; f < std::size(fields); ++f)
                if (!std::isfinite(fields[f])) return at(names[f], "Rigids[" + std::to_string(i) + "]", "not finite");
        }
        return {};
    }

    // About how many pairs of particles the next step meets: for each
    // particle, the particles in its cell and the eight around it,
    // positions taken into the container as the step will take them.
    static double PairsOf(const TSPH& w) {
        const double n = static_cast<double>(w.FluidCount) + w.SolidCount + w.BoundaryCount;
        if (n <= 64 || w.GridWidth == 0 || w.GridHeight == 0) return n * n;
        std::vector<std::int64_t> cells;
        auto add = [&](const TSPH::ParticleArray& particles, std::int32_t count) {
            for (std::int32_t i = 0; i < count; ++i) {
                const TParticle* p = particles[static_cast<std::size_t>(i)];
                auto cell = [](float v, std::int32_t across) {
                    const double c = std::floor(v * static_cast<double>(TSPH::INV_SMOOTHING_LENGTH));
                    return static_cast<std::int64_t>(std::clamp(c, 0.0, across - 1.0));
                };
                cells.push_back(cell(p->PositionX, w.GridWidth) * w.GridHeight + cell(p->PositionY, w.GridHeight));
            }
        };
        add(w.FluidParticles, w.FluidCount);
        add(w.SolidParticles, w.SolidCount);
        add(w.BoundaryParticles, w.BoundaryCount);
        std::sort(cells.begin(), cells.end());
        auto count = [&](std::int64_t cell) {
            const auto range = std::equal_range(cells.begin(), cells.end(), cell);
            return static_cast<double>(range.second - range.first);
        };
        double pairs = 0;
        for (std::size_t i = 0, j = 0; i < cells.size(); i = j) {
            while (j < cells.size() && cells[j] == cells[i]) ++j;
            const std::int64_t c = cells[i] / w.GridHeight, r = cells[i] % w.GridHeight;
            double near = 0;
            for (std::int64_t nc = std::max<std::int64_t>(c - 1, 0);
                 nc <= std::min<std::int64_t>(c + 1, w.GridWidth - 1); ++nc)
                for (std::int64_t nr = std::max<std::int64_t>(r - 1, 0);
                     nr <= std::min<std::int64_t>(r + 1, w.GridHeight - 1); ++nr)
                    near += count(nc * w.GridHeight + nr);
            pairs += static_cast<double>(j - i) * near;
        }
        return pairs;
    }

    void Call(TInput& in) {
        const std::uint8_t op = in.Byte() % CALL_COUNT;
        const int s = in.Byte() & 1;
        TSlot& slot = Slots[s];
        TSPH* world = slot.World.get();
        std::string name;
        switch (op) {
            case CREATE_WORLD: {  // a world, numbered alone or with the other
                const std::int32_t gw = in.Int(), gh = in.Int(), cw = in.Int(), ch = in.Int();
                const float scale = in.Float();
                const bool shared = in.Bool();
                Note("%s = TSPH::Create(%d, %d, %d, %d, %s%s)", W(s).c_str(), gw, gh, cw, ch, Shown(scale).c_str(),
                     shared ? ", numbering" : "");
                if (world) {
                    Log.back() += "  // skipped: the slot is taken";
                    return;
                }
                if (shared && !Numbering) Numbering = std::make_shared<TParticleNumbering>();
                slot.World = TSPH::Create(gw, gh, cw, ch, scale, shared ? Numbering : nullptr);
                if (!slot.World) Finding("TSPH::Create returned no world");
                return;
            }
            case DESTROY_WORLD:  // everything of the world goes with it
                Note("%s.reset()", W(s).c_str());
                slot = TSlot();
                return;
            case SET_GRAPHICS_SIZE: {
                const std::int32_t a = in.Int(), b = in.Int();
                Note("%s->SetGraphicsSize(%d, %d)", W(s).c_str(), a, b);
                if (world) world->SetGraphicsSize(a, b);
                return;
            }
            case SET_CONTAINER_SIZE: {
                const std::int32_t a = in.Int(), b = in.Int();
                Note("%s->SetContainerSize(%d, %d)", W(s).c_str(), a, b);
                if (!world) return;
                world->SetContainerSize(a, b);
                return;
            }
            case SET_WORLD_SCALE: {
                const float a = in.Float();
                Note("%s->SetWorldScale(%s)", W(s).c_str(), Shown(a).c_str());
                if (world) world->SetWorldScale(a);
                return;
            }
            case SET_TIMESTEP: {
                const float a = in.Float();
                Note("%s->SetTimestep(%s)", W(s).c_str(), Shown(a).c_str());
                if (world) world->SetTimestep(a);
                return;
            }
            case SET_REPULSION: {
                const float a = in.Float(), b = in.Float();
                Note("%s->SetRepulsion(%s, %s)", W(s).c_str(), Shown(a).c_str(), Shown(b).c_str());
                if (world) world->SetRepulsion(a, b);
                return;
            }
            case SET_GRAVITY: {
                const float a = in.Float(), b = in.Float();
                Note("%s->SetGravity(%s, %s)", W(s).c_str(), Shown(a).c_str(), Shown(b).c_str());
                if (world) world->SetGravity(a, b);
                return;
            }
            case SET_PARTICLE_SIZE: {
                const float a = in.Float();
                Note("%s->SetParticleSize(%s)", W(s).c_str(), Shown(a).c_str());
                if (world) world->SetParticleSize(a);
                return;
            }
            case SET_TASK_RUNNER: {
                const int threads = in.Byte() % 4;
                TSplitSettings settings;
                settings.MinParticlesPerThread = in.Int();
                settings.WideInstructions = in.Byte() & 2;
                Note("%s->SetTaskRunner(%s, {%d, %d})", W(s).c_str(),
                     threads ? ("pool" + std::to_string(threads)).c_str() : "nullptr", settings.MinParticlesPerThread,
                     settings.WideInstructions);
                if (!world) return;
                world->SetTaskRunner(threads ? &Pool(threads) : nullptr, settings);
                slot.Settings = settings;
                return;
            }
            case FLUID_CREATE: {
                Note("%sfluid%zu = TFluid::Create(%s)", W(s).c_str(), slot.Fluids.size(),
                     world ? W(s).c_str() : "nullptr");
                TFluid* fluid = TFluid::Create(world);
                slot.Fluids.push_back(fluid);
                return;
            }
            case FLUID_SET: {
                TFluid* fluid = PickFluid(in, name);
                const std::uint8_t what = in.Byte() % 7;
                const float a = in.Float(), b = in.Float();
                const char* n = name.c_str();
                switch (what) {
                    case 0:
                        Note("%s->SetDamping(%s)", n, Shown(a).c_str());
                        return fluid->SetDamping(a);
                    case 1:
                        Note("%s->SetSurfaceTension(%s)", n, Shown(a).c_str());
                        return fluid->SetSurfaceTension(a);
                    case 2:
                        Note("%s->SetViscosity(%s, %s)", n, Shown(a).c_str(), Shown(b).c_str());
                        return fluid->SetViscosity(a, b);
                    case 3:
                        Note("%s->SetRestDensity(%s)", n, Shown(a).c_str());
                        return fluid->SetRestDensity(a);
                    case 4:
                        Note("%s->SetPressureFactor(%s)", n, Shown(a).c_str());
                        return fluid->SetPressureFactor(a);
                    case 5:
                        Note("%s->SetColor(1, 2, 3)", n);
                        return fluid->SetColor(1, 2, 3);
                    default:
                        Note("%s->SetIntegrator(%s)", n, world ? W(s).c_str() : "nullptr");
                        return fluid->SetIntegrator(world);
                }
            }
            case FLUID_RECT: {
                TFluid* fluid = PickFluid(in, name);
                const float x = in.Float(), y = in.Float(), w = in.Float(), h = in.Float(), vx = in.Float(),
                            vy = in.Float();
                Note("%s->CreateRect(%s, %s, %s, %s, %s, %s)", name.c_str(), Shown(x).c_str(), Shown(y).c_str(),
                     Shown(w).c_str(), Shown(h).c_str(), Shown(vx).c_str(), Shown(vy).c_str());
                if (TooMany(fluid->Integrator, w, h, TFluid::LATTICE_SPACING)) {
                    Log.back() += "  // skipped: too many particles";
                    return;
                }
                return fluid->CreateRect(x, y, w, h, vx, vy);
            }
            case SOLID_CREATE: {
                Note("%ssolid%zu = TSolid::Create(%s)", W(s).c_str(), slot.Solids.size(),
                     world ? W(s).c_str() : "nullptr");
                TSolid* solid = TSolid::Create(world);
                slot.Solids.push_back(solid);
                return;
            }
            case SOLID_SET: {
                TSolid* solid = PickSolid(in, name);
                const std::uint8_t what = in.Byte() % 3;
                const float a = in.Float();
                if (what == 0) {
                    Note("%s->SetStiffness(%s)", name.c_str(), Shown(a).c_str());
                    return solid->SetStiffness(a);
                }
                if (what == 1) {
                    Note("%s->SetColor(4, 5, 6)", name.c_str());
                    return solid->SetColor(4, 5, 6);
                }
                Note("%s->SetIntegrator(%s)", name.c_str(), world ? W(s).c_str() : "nullptr");
                return solid->SetIntegrator(world);
            }
            case SOLID_RECT: {
                TSolid* solid = PickSolid(in, name);
                const float x = in.Float(), y = in.Float(), w = in.Float(), h = in.Float(), vx = in.Float(),
                            vy = in.Float();
                Note("%s->CreateRect(%s, %s, %s, %s, %s, %s)", name.c_str(), Shown(x).c_str(), Shown(y).c_str(),
                     Shown(w).c_str(), Shown(h).c_str(), Shown(vx).c_str(), Shown(vy).c_str());
                if (TooMany(solid->Integrator, w, h, TSPH::SOLID_SPACING)) {
                    Log.back() += "  // skipped: too many particles";
                    return;
                }
                return solid->CreateRect(x, y, w, h, vx, vy);
            }
            case RIGID_RECT: {
                const float x = in.Float(), y = in.Float(), w = in.Float(), h = in.Float();
                Note("%sbody%zu = TRigid::CreateRigidRect(%s, %s, %s, %s, %s)", W(s).c_str(), slot.Bodies.size(),
                     Shown(x).c_str(), Shown(y).c_str(), Shown(w).c_str(), Shown(h).c_str(),
                     world ? W(s).c_str() : "nullptr");
                if (TooMany(world, w, h, TSPH::RIGID_SPACING)) {
                    Log.back() += "  // skipped: too many particles";
                    return;
                }
                TRigid* body = TRigid::CreateRigidRect(x, y, w, h, world);
                slot.Bodies.push_back(body);
                return;
            }
            case BEGIN_BODY: {
                Note("%sbody%zu = TRigid::BeginBody(%s)", W(s).c_str(), slot.Bodies.size(),
                     world ? W(s).c_str() : "nullptr");
                TRigid* body = TRigid::BeginBody(world);
                slot.Bodies.push_back(body);
                return;
            }
            case ADD_VERTEX: {
                TRigid* body = PickBody(in, name);
                const float x = in.Float(), y = in.Float(), mass = in.Float();
                Note("%s->AddVertex(%s, %s, %s)", name.c_str(), Shown(x).c_str(), Shown(y).c_str(),
                     Shown(mass).c_str());
                TParticle* p = body->AddVertex(x, y, mass);
                Keep(p, "TRigid::AddVertex");
                Slots[SlotOf(body->Integrator)].Made.back().Handed = true;
                return;
            }
            case END_BODY: {
                TRigid* body = PickBody(in, name);
                Note("%s->EndBody()", name.c_str());
                body->EndBody();
                return;
            }
            case BODY_CALL: {  // the body's other public calls
                TRigid* body = PickBody(in, name);
                const std::uint8_t what = in.Byte() % 5;
                if (what == 0) {
                    const float r = in.Float();
                    Note("%s->SetRepulsion(%s)", name.c_str(), Shown(r).c_str());
                    return body->SetRepulsion(r);
                }
                if (what == 1) {
                    Note("%s->SetIntegrator(%s)", name.c_str(), world ? W(s).c_str() : "nullptr");
                    return body->SetIntegrator(world);
                }
                if (what == 2) {
                    const TPicked p = PickParticle(in);
                    Note("%s->AddParticle(%s)", name.c_str(), p.Name.c_str());
                    body->AddParticle(p.P);
                    return Handed(p.P);
                }
                if (what == 3) {
                    Note("%s->Init()", name.c_str());
                    return body->Init();
                }
                Note("%s->Integrate()", name.c_str());
                return body->Integrate();
            }
            case MAKE_PARTICLE: {  // the factories
                const std::uint8_t kind = in.Byte() % 4;
                const float x = in.Float(), y = in.Float();
                TParticle* p = nullptr;
                if (kind == 0) {
                    TFluid* fluid = PickFluid(in, name);
                    Note("TParticle::CreateFluidParticle(%s, %s, %s)", Shown(x).c_str(), Shown(y).c_str(),
                         name.c_str());
                    p = TParticle::CreateFluidParticle(x, y, fluid);
                } else if (kind == 1) {
                    TSolid* solid = PickSolid(in, name);
                    Note("TParticle::CreateSolidParticle(%s, %s, %s)", Shown(x).c_str(), Shown(y).c_str(),
                         name.c_str());
                    p = TParticle::CreateSolidParticle(x, y, solid);
                } else if (kind == 2) {
                    const float mass = in.Float();
                    TRigid* body = PickBody(in, name);
                    Note("TParticle::CreateRigidParticle(%s, %s, %s, %s)", Shown(x).c_str(), Shown(y).c_str(),
                         Shown(mass).c_str(), name.c_str());
                    p = TParticle::CreateRigidParticle(x, y, mass, body);
                } else {
                    Note("TParticle::CreateBoundaryParticle(%s, %s, %s)", world ? W(s).c_str() : "nullptr",
                         Shown(x).c_str(), Shown(y).c_str());
                    p = TParticle::CreateBoundaryParticle(world, x, y);
                }
                return Keep(p, "a particle factory");
            }
            case ALTER_PARTICLE: {  // a made particle changed before it is handed over
                if (slot.Made.empty()) return;
                TMade& made = slot.Made[slot.Made.size() - 1 - in.Byte() % slot.Made.size()];
                const std::uint8_t field = in.Byte() % 6;
                const float v = in.Float();
                if (made.Handed) return;
                // The step recomputes the velocity before it reads it, but a phase
                // alone does not: a velocity the library was never shown to be
                // finite would be the harness's own NaN.
                if (field >= 4 && !(std::fabs(v) <= 1e6f)) return;
                float TParticle::*const fields[] = {&TParticle::PositionX, &TParticle::PositionY,
                                                    &TParticle::OldX,      &TParticle::OldY,
                                                    &TParticle::VelocityX, &TParticle::VelocityY};
                const char* names[] = {"PositionX", "PositionY", "OldX", "OldY", "VelocityX", "VelocityY"};
                Note("%s->%s = %s", made.Name.c_str(), names[field], Shown(v).c_str());
                made.P->*fields[field] = v;
                return;
            }
            case ADD_PARTICLE: {  // registration, of the right kind or not
                const std::uint8_t kind = in.Byte() % 4;
                const TPicked p = PickParticle(in);
                const char* calls[] = {"AddFluidParticle", "AddSolidParticle", "AddRigidParticle",
                                       "AddBoundaryParticle"};
                Note("%s->%s(%s)", W(s).c_str(), calls[kind], p.Name.c_str());
                if (!world) return;
                if (kind == 0) world->AddFluidParticle(p.P);
                if (kind == 1) world->AddSolidParticle(p.P);
                if (kind == 2) world->AddRigidParticle(p.P);
                if (kind == 3) world->AddBoundaryParticle(p.P);
                return Handed(p.P);
            }
            case ADD_CONSTRAINT: {
                const TPicked a = PickParticle(in), b = PickParticle(in);
                Note("%s->AddConstraint(%s, %s)", W(s).c_str(), a.Name.c_str(), b.Name.c_str());
                if (!world) return;
                world->AddConstraint(a.P, b.P);
                Handed(a.P);  // the constraint reads both ends from now on
                return Handed(b.P);
            }
            case BOUNDARY_RECT: {
                const float x = in.Float(), y = in.Float(), w = in.Float(), h = in.Float();
                Note("CreateBoundaryRect(%s, %s, %s, %s, %s)", world ? W(s).c_str() : "nullptr", Shown(x).c_str(),
                     Shown(y).c_str(), Shown(w).c_str(), Shown(h).c_str());
                if (TooMany(world, w, h, TSPH::BOUNDARY_SPACING)) {
                    Log.back() += "  // skipped: too many particles";
                    return;
                }
                return CreateBoundaryRect(world, x, y, w, h);
            }
            case EMITTER_CREATE: {
                TFluid* fluid = PickFluid(in, name);
                const float x = in.Float(), y = in.Float(), w = in.Float(), h = in.Float();
                const std::int32_t delay = in.Int();
                const float vx = in.Float(), vy = in.Float();
                const int owner = SlotOf(fluid->Integrator);
                Note("emitter%d_%zu = TFluidEmitter::Create(%s, %s, %s, %s, %s, %d, %s, %s)", owner,
                     owner >= 0 ? Slots[owner].Emitters.size() : 0, name.c_str(), Shown(x).c_str(), Shown(y).c_str(),
                     Shown(w).c_str(), Shown(h).c_str(), delay, Shown(vx).c_str(), Shown(vy).c_str());
                auto emitter = TFluidEmitter::Create(fluid, x, y, w, h, delay, vx, vy);
                if (!emitter) Finding("TFluidEmitter::Create returned no emitter");
                if (owner < 0) Finding("TFluidEmitter::Create took a fluid of no world");
                Slots[owner].Emitters.push_back(std::move(emitter));
                return;
            }
            case EMITTER_TRIGGER:
            case EMITTER_UPDATE: {
                if (slot.Emitters.empty()) return;
                const std::size_t i = in.Byte() % slot.Emitters.size();
                TFluidEmitter& emitter = *slot.Emitters[i];
                Note("emitter%d_%zu->%s()", s, i, op == EMITTER_TRIGGER ? "Trigger" : "Update");
                if (op == EMITTER_TRIGGER) return emitter.Trigger();
                if (emitter.Active && TooMany(world, emitter.Width, emitter.Height, TFluid::LATTICE_SPACING)) {
                    Log.back() += "  // skipped: too many particles";
                    return;
                }
                return emitter.Update();
            }
            case MAP_TO_GRID:
                return MapToGrid(in, s);
            case PHASE:
            case UPDATE:
                return Step(in, s, op == UPDATE);
            case ADOPT: {  // materials handed over by their caller, of no world or of another
                const std::uint8_t kind = in.Byte() % 3;
                const bool foreign = in.Bool();
                TSPH* claimed = foreign ? WorldOrNull(1 - s) : nullptr;
                Note("%s->Adopt(a new %s with Integrator %s)", W(s).c_str(),
                     kind == 0   ? "TFluid"
                     : kind == 1 ? "TSolid"
                                 : "TRigid",
                     claimed ? W(1 - s).c_str() : "nullptr");
                if (!world) return;
                if (kind == 0) {
                    auto fluid = std::make_unique<TFluid>();
                    TFluid* raw = fluid.get();
                    fluid->Integrator = claimed;
                    world->Adopt(std::move(fluid));
                    slot.Fluids.push_back(raw);
                } else if (kind == 1) {
                    auto solid = std::make_unique<TSolid>();
                    TSolid* raw = solid.get();
                    solid->Integrator = claimed;
                    world->Adopt(std::move(solid));
                    slot.Solids.push_back(raw);
                } else {
                    auto body = std::make_unique<TRigid>();
                    TRigid* raw = body.get();
                    body->Integrator = claimed;
                    world->Adopt(std::move(body));
                    slot.Bodies.push_back(raw);
                }
                return;
            }
            case WORLD_CALL:
            default: {  // registering a material again, and using up the numbering
                const std::uint8_t what = in.Byte() % 5;
                if (what == 4) {
                    const std::int32_t count = in.Int();
                    Note("%s->Numbering().Take(%d, \"fuzz\")", W(s).c_str(), count);
                    if (world) world->Numbering().Take(count, "fuzz");
                    return;
                }
                if (what == 3) {
                    std::int32_t counts[5];
                    for (std::int32_t& n : counts) n = in.Int();
                    Note("%s->Reserve(%d, %d, %d, %d, %d)", W(s).c_str(), counts[0], counts[1], counts[2], counts[3],
                         counts[4]);
                    for (const std::int32_t n : counts)
                        if (n > MAX_RESERVED) {
                            Log.back() += "  // skipped: too large";
                            return;
                        }
                    if (world) world->Reserve(counts[0], counts[1], counts[2], counts[3], counts[4]);
                    return;
                }
                if (what == 0) {
                    TFluid* fluid = PickFluid(in, name);
                    Note("%s->AddFluid(%s)", W(s).c_str(), name.c_str());
                    if (world) world->AddFluid(fluid);
                } else if (what == 1) {
                    TSolid* solid = PickSolid(in, name);
                    Note("%s->AddSolid(%s)", W(s).c_str(), name.c_str());
                    if (world) world->AddSolid(solid);
                } else {
                    TRigid* body = PickBody(in, name);
                    Note("%s->AddRigid(%s)", W(s).c_str(), name.c_str());
                    if (world) world->AddRigid(body);
                }
                return;
            }
        }
    }

    // Some particles into a grid: the world's own or one of the harness,
    // of the right size or one cell off.
    void MapToGrid(TInput& in, int s) {
        TSlot& slot = Slots[s];
        const std::uint8_t which = in.Byte() % 6, into = in.Byte() % 6;
        const bool rightCount = in.Bool();
        const std::int32_t count = in.Int();
        const float scale = in.Float();
        Note("%s->MapParticlesToGrid(array %d, count %d, grid %d, %s)", W(s).c_str(), which, rightCount ? -1 : count,
             into, Shown(scale).c_str());
        if (!slot.World) return;
        TSPH& w = *slot.World;
        std::vector<TParticle*> made;
        for (const TMade& m : slot.Made) made.push_back(m.P);
        const TSPH* otherWorld = WorldOrNull(1 - s);
        TSPH::ParticleArray* arrays[] = {&w.FluidParticles, &w.SolidParticles, &w.RigidParticles, &w.BoundaryParticles};
        const std::int32_t counts[] = {w.FluidCount, w.SolidCount, w.RigidCount, w.BoundaryCount};
        const TSPH::ParticleArray* particles = &made;
        std::int32_t right = static_cast<std::int32_t>(made.size());
        if (which < 4) {
            particles = arrays[which];
            right = counts[which];
        } else if (which == 5 && otherWorld) {
            particles = &otherWorld->SolidParticles;
            right = otherWorld->SolidCount;
        }
        const std::size_t cells = static_cast<std::size_t>(w.GridWidth) * static_cast<std::size_t>(w.GridHeight);
        TSPH::Grid local;
        TSPH::Grid* grids[] = {&w.FluidGrid, &w.SolidGrid, &w.RigidGrid, &w.BoundaryGrid};
        TSPH::Grid* grid = into < 4 ? grids[into] : &local;
        if (into >= 4) {
            const std::size_t size = into == 4 ? cells : cells > 0 && in.Bool() ? cells - 1 : cells + 1;
            local.assign(size, nullptr);
        }
        w.MapParticlesToGrid(*particles, rightCount ? right : count, *grid, scale);
    }

    // One step, or one public phase alone; Update on no runner or on a
    // pool of 1, 2 or 3 threads.
    void Step(TInput& in, int s, bool whole) {
        TSlot& slot = Slots[s];
        const std::uint8_t how = in.Byte();
        if (whole) {
            const int threads = how % 4;
            if (threads)
                Note("%s->SetTaskRunner(pool%d, settings); %s->Update()", W(s).c_str(), threads, W(s).c_str());
            else
                Note("%s->Update()", W(s).c_str());
        }
        static const char* const PHASES[] = {
            "RedistributeGrid", "Fluid_Reset",        "Fluid_UpdateDensity",     "Fluid_CalcForces", "Fluid_Integrate",
            "Solid_Reset",      "Solid_CalcForces",   "Solid_Integrate",         "Rigid_Reset",      "Rigid_CalcForces",
            "Rigid_Integrate",  "Constraints_Update", "Rigid_ResolvePenetration"};
        const int phase = how % 13;
        TPicked p;
        float args[4] = {};
        if (!whole && phase == 12) {
            p = PickParticle(in);
            for (float& a : args) a = in.Float();
            Note("%s->Rigid_ResolvePenetration(%s, %s, %s, %s, %s)", W(s).c_str(), p.Name.c_str(),
                 Shown(args[0]).c_str(), Shown(args[1]).c_str(), Shown(args[2]).c_str(), Shown(args[3]).c_str());
        } else if (!whole) {
            Note("%s->%s()", W(s).c_str(), PHASES[phase]);
        }
        if (!slot.World) return;
        if (Steps >= MAX_STEPS) {
            Log.back() += "  // skipped: enough steps";
            return;
        }
        TSPH& w = *slot.World;
        const double work = PairsOf(w) + CELL_WORK * w.GridWidth * w.GridHeight;
        if (work > MAX_STEP_WORK || Work + work > MAX_INPUT_WORK) {
            Log.back() += "  // skipped: too much work";
            return;
        }
        Work += work;
        ++Steps;
        if (whole) {
            if (how % 4) w.SetTaskRunner(&Pool(how % 4), slot.Settings);
            w.Update();
        } else {
            switch (phase) {
                case 0:
                    w.RedistributeGrid();
                    break;
                case 1:
                    w.Fluid_Reset();
                    break;
                case 2:
                    w.Fluid_UpdateDensity();
                    break;
                case 3:
                    w.Fluid_CalcForces();
                    break;
                case 4:
                    w.Fluid_Integrate();
                    break;
                case 5:
                    w.Solid_Reset();
                    break;
                case 6:
                    w.Solid_CalcForces();
                    break;
                case 7:
                    w.Solid_Integrate();
                    break;
                case 8:
                    w.Rigid_Reset();
                    break;
                case 9:
                    w.Rigid_CalcForces();
                    break;
                case 10:
                    w.Rigid_Integrate();
                    break;
                case 11:
                    w.Constraints_Update();
                    break;
                default:
                    w.Rigid_ResolvePenetration(p.P, args[0], args[1], args[2], args[3]);
                    break;
            }
        }
        const std::string problem = Problem(s, whole ? "Update" : PHASES[phase], whole);
        if (!problem.empty()) Finding(problem);
    }

    // Declared first, destroyed last: the worlds' emitters and lists point
    // into them, and the loose materials belong to no world.
    TFluid LooseFluid;
    TSolid LooseSolid;
    TRigid LooseBody;
    std::shared_ptr<TParticleNumbering> Numbering;
    TSlot Slots[2];
    std::vector<std::string> Log;
    std::vector<TField> Before, After;  // see TakeState
    int Steps = 0;
    double Work = 0;  // of the steps made, as Step counts it
    int ParticlesMade = 0;
    bool Stop = false;
    // API_FUZZ_ECHO=1 prints each call before it is made: the way to read
    // an input that ends in a sanitizer's report rather than in a Finding.
    const bool Echo = std::getenv("API_FUZZ_ECHO") != nullptr;
    std::string Echoed;  // the last call printed, to print it again with what became of it
};

}  // namespace

// AddressSanitizer keeps freed memory aside to catch late uses, 256 MiB by
// default: with the run's memory limit that alone would end it.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TInput in(data, size);
    THarness harness;
    harness.Run(in);
    return 0;
}
