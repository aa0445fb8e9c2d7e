// Fuzz target: the sph library's public calls in any order with any
// arguments. An input is a program: a byte picks an entry of TABLE, the
// bytes after it the entry's arguments (api_fuzz_calls.h). Up to two worlds
// live at once; what the calls hand back is kept per world for later calls.
// A call does what it says, or refuses with TSPHError (or std::bad_alloc)
// and changes nothing. After every call the views list exactly the
// registered particles; after every step or phase every number is finite
// and, after a whole step, every liquid and solid particle is inside the
// container. A finding prints the input's calls and aborts; API_FUZZ_ECHO=1
// prints each call as it is read, to go with a sanitizer's report.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "sph/emitter.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "sph/thread_pool.h"
#include "tests/fuzz/api_fuzz_calls.h"

namespace {

using namespace api_fuzz;

// What one input may do, so that a run stays fast. libFuzzer takes an
// allocation past its memory limit for a crash (AddressSanitizer never turns
// it into std::bad_alloc), so larger reservations are not asked for. Crowded
// cells make a step quadratic and a step visits every cell (2^20 take a
// quarter of a second sanitized): its work is counted as pairs of particles
// plus CELL_WORK a cell, about 1e-7 s each, and steps past the budgets skipped.
constexpr int MAX_CALLS = 64, MAX_STEPS = 32;
constexpr std::int32_t MAX_WORLD_PARTICLES = 20000, MAX_TASKS = 1000;
constexpr std::int64_t MAX_RESERVED = 100000;
constexpr double MAX_BLOCK = 20000, CELL_WORK = 2, MAX_STEP_WORK = 4e6, MAX_INPUT_WORK = 2e7;

const char* const VIEW_NAMES[] = {"FluidParticles", "SolidParticles", "RigidParticles", "BoundaryParticles"};

std::string Shown(float v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INFINITY" : "-INFINITY";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text + std::string(std::strpbrk(text, ".e") ? "f" : ".f");
}

const std::shared_ptr<TThreadPool>& Pool(int threads) {
    static const std::shared_ptr<TThreadPool> pools[] = {
        std::make_shared<TThreadPool>(1), std::make_shared<TThreadPool>(2), std::make_shared<TThreadPool>(3)};
    return pools[threads - 1];
}

std::array<TSPH::ParticleView, 4> Views(const TSPH& w) {
    return {w.GetFluidParticles(), w.GetSolidParticles(), w.GetRigidParticles(), w.GetBoundaryParticles()};
}

// About how many pairs of particles the next step meets: each cell's count
// squared, nine times over for the cell and its neighbours, positions taken
// into the container as the step will take them.
double PairsOf(const TSPH& w) {
    const std::int64_t across = w.GetGridWidth(), down = w.GetGridHeight();
    auto cell = [](float v, std::int64_t n) {
        return static_cast<std::int64_t>(std::clamp(std::floor(v * double{TSPH::INV_SMOOTHING_LENGTH}), 0.0, n - 1.0));
    };
    std::vector<std::int64_t> cells;
    for (const TSPH::ParticleView view : {w.GetFluidParticles(), w.GetSolidParticles(), w.GetBoundaryParticles()})
        for (const TParticle* p : view)
            cells.push_back(across && down ? cell(p->PositionX, across) * down + cell(p->PositionY, down) : 0);
    std::sort(cells.begin(), cells.end());
    double pairs = 0;
    for (std::size_t i = 0, j = 0; i < cells.size(); i = j) {
        while (j < cells.size() && cells[j] == cells[i]) ++j;
        pairs += 9.0 * static_cast<double>(j - i) * static_cast<double>(j - i);
    }
    return pairs;
}

// A call the harness does not make: no world, no material, or past a budget.
struct TSkip {
    const char* Why;
};

template <class M>
using TList = std::vector<std::shared_ptr<M>>;

struct TSlot {
    std::unique_ptr<TSPH> World;
    std::tuple<TList<TFluid>, TList<TSolid>, TList<TRigid>> Materials;  // kept past the world, without it
    std::vector<const TParticle*> Made;                                 // by the factories, registered or not
    std::vector<std::unique_ptr<TFluidEmitter>> Emitters;
    TSplitSettings Settings;
    template <class M>
    TList<M>& List() {
        return std::get<TList<M>>(Materials);
    }
};

template <class T>
struct TMaterialOf {
    using Type = std::remove_pointer_t<T>;
};
template <class M>
struct TMaterialOf<std::shared_ptr<M>> {
    using Type = M;
};
template <class M>
constexpr const char* KIND = std::is_same_v<M, TFluid>   ? "fluid"
                             : std::is_same_v<M, TSolid> ? "solid"
                                                         : "body";

struct TNoCheck {
    void operator()(const auto&, const auto&) const {}
};

class THarness {
public:
    THarness(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
    void Run();

    // The arguments, each noted on the call's line as it is read.
    std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    template <class T>
    T Read();
    template <std::size_t N>
    std::array<float, N> Floats() {
        std::array<float, N> values;
        for (float& v : values) v = Read<float>();
        return values;
    }
    int Threads() {  // 0 for none
        const int threads = Byte() % 4;
        return Arg(threads ? "pool" + std::to_string(threads) : "nullptr"), threads;
    }

    TSlot& Slot() { return Slots[S]; }
    TSPH* WorldOrNull() { return Slots[S].World.get(); }
    TSPH& World() { return WorldOrNull() ? *WorldOrNull() : throw TSkip{"no world"}; }
    TFluidEmitter& Emitter() {
        if (Slot().Emitters.empty()) throw TSkip{"no emitter"};
        const std::size_t i = Byte() % Slot().Emitters.size();
        return Arg(Name(S, "emitter", i)), *Slot().Emitters[i];
    }
    std::shared_ptr<TParticleNumbering> Numbering = std::make_shared<TParticleNumbering>();  // for shared worlds

    // A free or static call, its arguments read in order and shown to
    // `check`, with the call's world, before the call is made.
    template <class R, class... A, class Check = TNoCheck>
    R Call(R (*f)(A...), Check check = {}) {
        std::tuple<std::decay_t<A>...> args{Read<std::decay_t<A>>()...};
        return check(WorldOrNull(), args), std::apply(f, args);
    }
    // The same on an object the input picks: the call's world, a material
    // of either world, or an emitter of the call's world.
    template <class M, class R, class... A, class Check = TNoCheck>
    R On(R (M::*f)(A...), Check check = {}) {
        M& target = Target<M>();
        std::tuple<std::decay_t<A>...> args{Read<std::decay_t<A>>()...};
        return check(target, args), std::apply([&](auto&... a) { return (target.*f)(a...); }, args);
    }

    // What the calls hand back, kept for later calls.
    void Keep(const TParticle* p) {
        const int s = SlotOf(p);
        if (s < 0) Finding("a factory made a particle that no world owns");
        Result = " -> " + Name(s, "p", Slots[s].Made.size());
        Slots[s].Made.push_back(p);
    }
    template <class M>
    void Keep(std::shared_ptr<M> m) {
        if (!m || m->GetWorld() != WorldOrNull()) Finding("a call made no material, or one of another world");
        Result = " -> " + Name(S, KIND<M>, Slot().List<M>().size());
        Slot().List<M>().push_back(m);
    }
    void Keep(std::unique_ptr<TFluidEmitter> e) {
        const int s = e && e->GetFluid() ? SlotOf(e->GetFluid()->GetWorld()) : -1;
        if (s < 0) Finding("TFluidEmitter::Create made no emitter, or one of a fluid of no world");
        Result = " -> " + Name(s, "emitter", Slots[s].Emitters.size());
        Slots[s].Emitters.push_back(std::move(e));
    }

    // Blocks past MAX_BLOCK particles, or in a world past MAX_WORLD_PARTICLES,
    // are not asked for. Sides that are not finite, or too long for both
    // corners to lie within ±1e6 simulation units, the library refuses itself.
    static void Limit(const TSPH* world, float width, float height, float spacing) {
        if (!world) return;
        const double w = std::fabs(width / static_cast<double>(world->GetWorldScale()));
        const double h = std::fabs(height / static_cast<double>(world->GetWorldScale()));
        if (!(std::max(w, h) * TSPH::UNIT_SCALE <= 2e6)) return;
        if (world->GetParticleCount() > MAX_WORLD_PARTICLES || (w / spacing + 2) * (h / spacing + 2) > MAX_BLOCK)
            throw TSkip{"too many particles"};
    }

    // A whole step or a phase, within the budgets, and then the world checked.
    template <class F>
    void Step(bool whole, F&& step) {
        TSPH& w = World();
        if (Steps >= MAX_STEPS) throw TSkip{"enough steps"};
        const double work = PairsOf(w) + CELL_WORK * w.GetGridWidth() * w.GetGridHeight();
        if (work > MAX_STEP_WORK || Work + work > MAX_INPUT_WORK) throw TSkip{"too much work"};
        Work += work;
        ++Steps;
        std::invoke(step, w);
        Check(&w, whole);
    }

    [[noreturn]] void Finding(const std::string& what) const {
        std::fprintf(stderr, "\n==== api_fuzz finding: %s\n==== after these calls:\n", what.c_str());
        for (const std::string& line : Log) std::fprintf(stderr, "  %s\n", line.c_str());
        if (!Line.empty()) std::fprintf(stderr, "  %s  <- this one\n", Line.c_str());
        std::abort();
    }

private:
    void Arg(const std::string& text) {
        const std::string shown = (Line.back() == '(' ? "" : ", ") + text;
        Line += shown;
        if (Echo) std::fputs(shown.c_str(), stderr);
    }
    static std::string Name(int s, const char* kind, std::size_t i) {
        return "w" + std::to_string(s) + "." + kind + std::to_string(i);
    }
    int SlotOf(const void* p) const {  // the slot whose world is p, or made p
        for (int s = 0; s < 2; ++s)
            if (const TSPH* w = Slots[s].World.get(); p && w && (w == p || w->Owns(static_cast<const TParticle*>(p))))
                return s;
        return -1;
    }
    template <class M>
    M& Target() {
        if constexpr (std::is_same_v<M, TSPH>)
            return World();
        else if constexpr (std::is_same_v<M, TFluidEmitter>)
            return Emitter();
        else if (M* m = Read<M*>())
            return *m;
        throw TSkip{"none to call"};
    }
    const TParticle* Particle();

    using TState = std::vector<std::pair<const char*, double>>;
    TState State() const;
    void Unchanged(const TState& before) const;
    void Check(const TSPH* stepped, bool whole) const;

    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t Pos = 0;
    TSlot Slots[2];
    int S = 0;  // the slot of the call being made
    std::vector<std::string> Log;
    std::string Line, Result;  // the call being made, and what it handed back
    int Steps = 0;
    double Work = 0;
    const bool Echo = std::getenv("API_FUZZ_ECHO") != nullptr;
};

template <class T>
T THarness::Read() {
    if constexpr (std::is_same_v<T, float> || std::is_same_v<T, std::int32_t>) {
        const std::uint8_t b = Byte();
        T v;
        if (b >= RAW) {
            const std::uint8_t bytes[4] = {Byte(), Byte(), Byte(), Byte()};
            std::memcpy(&v, bytes, sizeof v);
        } else if constexpr (std::is_same_v<T, float>) {
            v = b < SMALL ? FLOATS[b % std::size(FLOATS)] : static_cast<float>(b - SMALL) * SMALL_FLOAT_STEP;
        } else {
            v = b < SMALL ? INTS[b % std::size(INTS)] : (b - SMALL) * SMALL_INT_STEP;
        }
        return Arg(std::is_same_v<T, float> ? Shown(static_cast<float>(v)) : std::to_string(v)), v;
    } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::uint8_t>) {
        const T v = static_cast<T>(std::is_same_v<T, bool> ? Byte() & 1 : Byte());
        return Arg(std::to_string(v)), v;
    } else if constexpr (std::is_same_v<T, TSPH*>) {  // no byte: the call's world
        return Arg(WorldOrNull() ? "w" + std::to_string(S) : "nullptr"), WorldOrNull();
    } else if constexpr (std::is_same_v<T, TEmitterSettings>) {
        const auto [x, y, width, height] = Floats<4>();
        const std::int32_t delay = Read<std::int32_t>();
        const auto [vx, vy] = Floats<2>();
        return {x, y, width, height, delay, vx, vy};
    } else if constexpr (std::is_same_v<T, const TParticle*>) {
        return Particle();
    } else {  // a material: low bit the slot, the rest the index; 0xFF none
        using M = typename TMaterialOf<T>::Type;
        const std::uint8_t b = Byte();
        const auto& materials = Slots[b & 1].template List<M>();
        if (b == 0xFF || materials.empty()) return Arg("nullptr"), T();
        const std::size_t i = (b >> 1) % materials.size();
        Arg(Name(b & 1, KIND<M>, i));
        if constexpr (std::is_pointer_v<T>)
            return materials[i].get();
        else
            return materials[i];
    }
}

// A particle to pass: none, one of a world's views, or one the factories made.
const TParticle* THarness::Particle() {
    const std::uint8_t how = Byte(), k = Byte();
    const int s = (how >> 3) & 1, source = how & 7;
    const TSlot& slot = Slots[s];
    if (source == 0 || !slot.World) return Arg("nullptr"), nullptr;
    if (source <= 4) {
        const TSPH::ParticleView view = Views(*slot.World)[static_cast<std::size_t>(source - 1)];
        if (!view.empty()) {
            const std::size_t i = k % view.size();
            Arg("w" + std::to_string(s) + "->Get" + VIEW_NAMES[source - 1] + "()[" + std::to_string(i) + "]");
            return view[i];
        }
    }
    if (slot.Made.empty()) return Arg("nullptr"), nullptr;
    const std::size_t i = slot.Made.size() - 1 - k % slot.Made.size();  // the latest, most often
    return Arg(Name(s, "p", i)), slot.Made[i];
}

// What a refused call must leave as it was: each world's counts and
// settings, and what the calls made.
THarness::TState THarness::State() const {
    TState state;
    auto place = [](const void* p) { return static_cast<double>(reinterpret_cast<std::uintptr_t>(p)); };
    auto add = [&](const char* name, std::initializer_list<double> values) {
        for (const double v : values) state.emplace_back(name, v);
    };
    for (const TSlot& slot : Slots) {
        add("the world", {place(slot.World.get())});
        if (const TSPH* w = slot.World.get()) {
            add("a count of the world",
                {double(w->GetFluidCount()), double(w->GetSolidCount()), double(w->GetRigidCount()),
                 double(w->GetBoundaryCount()), double(w->GetConstraintCount()), double(w->GetFluids().size()),
                 double(w->GetSolids().size()), double(w->GetRigids().size()), double(w->GetGridWidth()),
                 double(w->GetGridHeight()), double(w->Numbering().Next())});
            add("a setting of the world",
                {w->GetContainerWidth(), w->GetContainerHeight(), w->GetWorldScale(), w->GetTimestep(),
                 w->GetRepulsiveDistance(), w->GetGravityX(), w->GetGravityY(), place(w->GetTaskRunner().get()),
                 double(w->GetRigidContacts())});
        }
        auto& [fluids, solids, bodies] = slot.Materials;
        add("what the calls made", {double(fluids.size()), double(solids.size()), double(bodies.size()),
                                    double(slot.Made.size()), double(slot.Emitters.size())});
        for (const auto& e : slot.Emitters) add("an emitter", {double(e->IsActive())});
        for (const auto& f : fluids)
            add("a fluid", {f->GetDamping(), f->GetSurfaceTension(), f->GetViscosityAlpha(), f->GetViscosityBeta(),
                            f->GetRestDensity(), f->GetPressureFactor()});
        for (const auto& f : solids) add("a solid", {f->GetStiffness()});
        for (const auto& b : bodies)
            add("a body", {b->GetMass(), b->GetCenterX(), b->GetCenterY(), b->GetInertia(), b->GetRepulsion(),
                           double(b->GetVertexCount())});
    }
    return state;
}

void THarness::Unchanged(const TState& before) const {
    const TState after = State();
    for (std::size_t k = 0; k < std::max(before.size(), after.size()); ++k)
        if (k >= before.size() || k >= after.size() ||
            std::memcmp(&before[k].second, &after[k].second, sizeof(double)) != 0)
            Finding(std::string("a refused call changed ") + (k < before.size() ? before[k] : after[k]).first);
}

// After every call each view lists exactly the registered particles of its
// kind, made in its world, and the grids and constraints have the lengths
// they claim. After a step or phase of `stepped` its numbers are finite and,
// after a whole step, its liquid and solid particles lie in the container.
void THarness::Check(const TSPH* stepped, bool whole) const {
    for (const TSlot& slot : Slots) {
        const TSPH* w = slot.World.get();
        if (!w) continue;
        const auto views = Views(*w);
        const std::int32_t counts[] = {w->GetFluidCount(), w->GetSolidCount(), w->GetRigidCount(),
                                       w->GetBoundaryCount()};
        for (std::size_t k = 0; k < 4; ++k) {
            const std::string of = std::string(" of ") + VIEW_NAMES[k];
            if (views[k].size() != static_cast<std::size_t>(counts[k])) Finding("the length" + of);
            for (const TParticle* p : views[k]) {
                if (!p || !w->Owns(p) || (p->Fluid != nullptr) != (k == 0) || (p->Solid != nullptr) != (k == 1) ||
                    (p->Rigid != nullptr) != (k == 2))
                    Finding("a particle" + of + " is null, of another world or of another kind");
                if (w != stepped) continue;
                for (const float v : {p->PositionX, p->PositionY, p->OldX, p->OldY, p->VelocityX, p->VelocityY,
                                      p->ScreenX, p->ScreenY, p->ForceX, p->ForceY, p->Density, p->Pressure})
                    if (!std::isfinite(v)) Finding("a number of a particle" + of + " is not finite");
                if (whole && k < 2 &&  // body vertices are not kept inside
                    !(p->PositionX >= 0 && p->PositionX <= w->GetContainerWidth() && p->PositionY >= 0 &&
                      p->PositionY <= w->GetContainerHeight()))
                    Finding("a particle" + of + " lies outside the container");
            }
        }
        const auto cells = static_cast<std::size_t>(w->GetGridWidth()) * static_cast<std::size_t>(w->GetGridHeight());
        for (const TSPH::ParticleView grid :
             {w->GetFluidGrid(), w->GetSolidGrid(), w->GetRigidGrid(), w->GetBoundaryGrid()})
            if (grid.size() != cells) Finding("a grid's length is not its width × height");
        if (w->GetParticleCount() != counts[0] + counts[1] + counts[2] + counts[3]) Finding("GetParticleCount");
        const auto constraints = static_cast<std::size_t>(w->GetConstraintCount());
        if (w->GetConstraintLengths().size() != constraints) Finding("the length of the constraint lengths");
        for (const std::int32_t end : {0, 1}) {
            if (w->GetConstraintEnds(end).size() != constraints) Finding("the length of the constraint ends");
            for (const TParticle* p : w->GetConstraintEnds(end))
                if (!p || !p->Solid || !w->Owns(p)) Finding("a constraint's end is not a solid particle of its world");
        }
        if (w != stepped) continue;
        for (const TRigid* b : w->GetRigids())
            for (const float v : {b->GetCenterX(), b->GetCenterY(), b->GetAngle(), b->GetVelocityX(), b->GetVelocityY(),
                                  b->GetAngularSpeed()})
                if (!std::isfinite(v)) Finding("a number of a body is not finite");
        for (const float length : w->GetConstraintLengths())
            if (!std::isfinite(length)) Finding("a constraint's length is not finite");
    }
}

const TSPH* WorldOf(const TSPH* w) { return w; }
const TSPH* WorldOf(const TFluid& fluid) { return fluid.GetWorld(); }
const TSPH* WorldOf(const TSolid& solid) { return solid.GetWorld(); }

// The budgets of a call that lays a block, its width and height the
// arguments K and K + 1.
template <std::size_t K>
auto Block(float spacing) {
    return [spacing](const auto& target, const auto& a) {
        THarness::Limit(WorldOf(target), std::get<K>(a), std::get<K + 1>(a), spacing);
    };
}

struct TEntry {
    TCall Call;
    const char* Name;
    void (*Make)(THarness&);
};
using H = THarness;

// Each entry reads its arguments and makes one public call.
constexpr TEntry TABLE[] = {
    {CREATE_WORLD, "TSPH::Create",
     [](H& h) {
         const std::int32_t width = h.Read<std::int32_t>(), height = h.Read<std::int32_t>();
         const auto [scale, dt, gx, gy, distance, strength] = h.Floats<6>();
         const bool shared = h.Read<bool>();
         if (h.WorldOrNull()) throw TSkip{"the slot is taken"};
         h.Slot().World =
             TSPH::Create({width, height, scale, dt, gx, gy, distance, strength, shared ? h.Numbering : nullptr});
         if (!h.WorldOrNull()) h.Finding("TSPH::Create made no world");
     }},
    {DESTROY_WORLD, "destroy",
     [](H& h) {  // its particles go with it; what the calls made stays
         h.Slot().World.reset();
         h.Slot().Made.clear();
     }},
    {SET_CONTAINER_SIZE, "SetContainerSize", [](H& h) { h.On(&TSPH::SetContainerSize); }},
    {SET_WORLD_SCALE, "SetWorldScale", [](H& h) { h.On(&TSPH::SetWorldScale); }},
    {SET_TIMESTEP, "SetTimestep", [](H& h) { h.On(&TSPH::SetTimestep); }},
    {SET_REPULSION, "SetRepulsion", [](H& h) { h.On(&TSPH::SetRepulsion); }},
    {SET_GRAVITY, "SetGravity", [](H& h) { h.On(&TSPH::SetGravity); }},
    {SET_TASK_RUNNER, "SetTaskRunner",
     [](H& h) {
         const int threads = h.Threads();
         const TSplitSettings settings{h.Read<std::int32_t>(), h.Read<bool>()};
         h.World().SetTaskRunner(threads ? Pool(threads) : nullptr, settings);
         h.Slot().Settings = settings;
     }},
    {SET_RIGID_CONTACTS, "SetRigidContacts", [](H& h) { h.On(&TSPH::SetRigidContacts); }},
    {RESERVE, "Reserve",
     [](H& h) {
         h.On(&TSPH::Reserve, [](const TSPH&, const auto& a) {
             const auto [fluid, solid, rigid, boundary, constraints] = a;
             for (const std::int64_t n : {fluid, solid, rigid, boundary, constraints})
                 if (n > MAX_RESERVED && n <= TSPH::MAX_RESERVE) throw TSkip{"too large"};
         });
     }},
    {TAKE_NUMBERS, "Numbering().Take", [](H& h) { h.World().Numbering().Take(h.Read<std::int32_t>(), "fuzz"); }},
    {FLUID_CREATE, "TFluid::Create", [](H& h) { h.Keep(h.Call(&TFluid::Create)); }},
    {FLUID_DAMPING, "TFluid::SetDamping", [](H& h) { h.On(&TFluid::SetDamping); }},
    {FLUID_SURFACE_TENSION, "TFluid::SetSurfaceTension", [](H& h) { h.On(&TFluid::SetSurfaceTension); }},
    {FLUID_VISCOSITY, "TFluid::SetViscosity", [](H& h) { h.On(&TFluid::SetViscosity); }},
    {FLUID_REST_DENSITY, "TFluid::SetRestDensity", [](H& h) { h.On(&TFluid::SetRestDensity); }},
    {FLUID_PRESSURE, "TFluid::SetPressureFactor", [](H& h) { h.On(&TFluid::SetPressureFactor); }},
    {FLUID_COLOR, "TFluid::SetColor", [](H& h) { h.On(&TFluid::SetColor); }},
    {FLUID_RECT, "TFluid::CreateRect", [](H& h) { h.On(&TFluid::CreateRect, Block<2>(TFluid::LATTICE_SPACING)); }},
    {SOLID_CREATE, "TSolid::Create", [](H& h) { h.Keep(h.Call(&TSolid::Create)); }},
    {SOLID_STIFFNESS, "TSolid::SetStiffness", [](H& h) { h.On(&TSolid::SetStiffness); }},
    {SOLID_COLOR, "TSolid::SetColor", [](H& h) { h.On(&TSolid::SetColor); }},
    {SOLID_RECT, "TSolid::CreateRect", [](H& h) { h.On(&TSolid::CreateRect, Block<2>(TSPH::SOLID_SPACING)); }},
    {RIGID_RECT, "TRigid::CreateRigidRect",
     [](H& h) { h.Keep(h.Call(&TRigid::CreateRigidRect, Block<2>(TSPH::RIGID_SPACING))); }},
    {BEGIN_BODY, "TRigid::BeginBody", [](H& h) { h.Keep(h.Call(&TRigid::BeginBody)); }},
    {ADD_VERTEX, "TRigid::AddVertex", [](H& h) { h.Keep(h.On(&TRigid::AddVertex)); }},
    {END_BODY, "TRigid::EndBody", [](H& h) { h.On(&TRigid::EndBody); }},
    {BODY_REPULSION, "TRigid::SetRepulsion", [](H& h) { h.On(&TRigid::SetRepulsion); }},
    {BODY_COLOR, "TRigid::SetColor", [](H& h) { h.On(&TRigid::SetColor); }},
    {BODY_ADD_PARTICLE, "TRigid::AddParticle", [](H& h) { h.On(&TRigid::AddParticle); }},
    {BODY_INIT, "TRigid::Init", [](H& h) { h.On(&TRigid::Init); }},
    {BODY_INTEGRATE, "TRigid::Integrate", [](H& h) { h.On(&TRigid::Integrate); }},
    {MAKE_FLUID_PARTICLE, "TParticle::CreateFluidParticle",
     [](H& h) { h.Keep(h.Call(&TParticle::CreateFluidParticle)); }},
    {MAKE_SOLID_PARTICLE, "TParticle::CreateSolidParticle",
     [](H& h) { h.Keep(h.Call(&TParticle::CreateSolidParticle)); }},
    {MAKE_RIGID_PARTICLE, "TParticle::CreateRigidParticle",
     [](H& h) { h.Keep(h.Call(&TParticle::CreateRigidParticle)); }},
    {MAKE_BOUNDARY_PARTICLE, "TParticle::CreateBoundaryParticle",
     [](H& h) { h.Keep(h.Call(&TParticle::CreateBoundaryParticle)); }},
    {ADD_FLUID_PARTICLE, "AddFluidParticle", [](H& h) { h.On(&TSPH::AddFluidParticle); }},
    {ADD_SOLID_PARTICLE, "AddSolidParticle", [](H& h) { h.On(&TSPH::AddSolidParticle); }},
    {ADD_RIGID_PARTICLE, "AddRigidParticle", [](H& h) { h.On(&TSPH::AddRigidParticle); }},
    {ADD_BOUNDARY_PARTICLE, "AddBoundaryParticle", [](H& h) { h.On(&TSPH::AddBoundaryParticle); }},
    {ADD_CONSTRAINT, "AddConstraint", [](H& h) { h.On(&TSPH::AddConstraint); }},
    {ADD_FLUID, "AddFluid", [](H& h) { h.On(&TSPH::AddFluid); }},
    {ADD_SOLID, "AddSolid", [](H& h) { h.On(&TSPH::AddSolid); }},
    {ADD_RIGID, "AddRigid", [](H& h) { h.On(&TSPH::AddRigid); }},
    {BOUNDARY_RECT, "CreateBoundaryRect", [](H& h) { h.Call(&CreateBoundaryRect, Block<3>(TSPH::BOUNDARY_SPACING)); }},
    {EMITTER_CREATE, "TFluidEmitter::Create", [](H& h) { h.Keep(h.Call(&TFluidEmitter::Create)); }},
    {EMITTER_TRIGGER, "TFluidEmitter::Trigger", [](H& h) { h.On(&TFluidEmitter::Trigger); }},
    {EMITTER_UPDATE, "TFluidEmitter::Update",
     [](H& h) {
         TFluidEmitter& e = h.Emitter();
         const TEmitterSettings& block = e.GetSettings();
         if (e.IsActive()) H::Limit(e.GetFluid()->GetWorld(), block.Width, block.Height, TFluid::LATTICE_SPACING);
         e.Update();
     }},
    {UPDATE, "Update",
     [](H& h) {  // on the runner as it is, or on a pool of 1 to 3 threads
         const int threads = h.Threads();
         h.Step(true, [&](TSPH& w) {
             if (threads) w.SetTaskRunner(Pool(threads), h.Slot().Settings);
             w.Update();
         });
     }},
    {REDISTRIBUTE_GRID, "RedistributeGrid", [](H& h) { h.Step(false, &TSPH::RedistributeGrid); }},
    {FLUID_RESET, "Fluid_Reset", [](H& h) { h.Step(false, &TSPH::Fluid_Reset); }},
    {FLUID_UPDATE_DENSITY, "Fluid_UpdateDensity", [](H& h) { h.Step(false, &TSPH::Fluid_UpdateDensity); }},
    {FLUID_CALC_FORCES, "Fluid_CalcForces", [](H& h) { h.Step(false, &TSPH::Fluid_CalcForces); }},
    {FLUID_INTEGRATE, "Fluid_Integrate", [](H& h) { h.Step(false, &TSPH::Fluid_Integrate); }},
    {SOLID_RESET, "Solid_Reset", [](H& h) { h.Step(false, &TSPH::Solid_Reset); }},
    {SOLID_CALC_FORCES, "Solid_CalcForces", [](H& h) { h.Step(false, &TSPH::Solid_CalcForces); }},
    {SOLID_INTEGRATE, "Solid_Integrate", [](H& h) { h.Step(false, &TSPH::Solid_Integrate); }},
    {RIGID_RESET, "Rigid_Reset", [](H& h) { h.Step(false, &TSPH::Rigid_Reset); }},
    {RIGID_CALC_FORCES, "Rigid_CalcForces", [](H& h) { h.Step(false, &TSPH::Rigid_CalcForces); }},
    {RIGID_INTEGRATE, "Rigid_Integrate", [](H& h) { h.Step(false, &TSPH::Rigid_Integrate); }},
    {CONSTRAINTS_UPDATE, "Constraints_Update", [](H& h) { h.Step(false, &TSPH::Constraints_Update); }},
    {RESOLVE_PENETRATION, "Rigid_ResolvePenetration",
     [](H& h) { h.Step(false, [&h](TSPH&) { h.On(&TSPH::Rigid_ResolvePenetration); }); }},
    // Every task runs once, and an exception a task threw comes back to the caller.
    {POOL_RUN, "TThreadPool::Run",
     [](H& h) {
         const int threads = std::max(h.Threads(), 1);
         const std::int32_t tasks = h.Read<std::int32_t>();
         const std::uint8_t how = h.Read<std::uint8_t>();  // bit 0 a null task, bit 1 tasks that throw
         if (tasks > MAX_TASKS) throw TSkip{"too many tasks"};
         static std::atomic<std::int64_t> sum;
         sum = 0;
         bool threw = false;
         try {
             Pool(threads)->Run(tasks, how & 1 ? nullptr : how & 2 ? +[](void*, std::int32_t k) {
                 sum += k + 1;
                 throw std::range_error("a task failed");
             } : +[](void*, std::int32_t k) { sum += k + 1; }, nullptr);
         } catch (const std::range_error&) {
             threw = true;
         }
         if (threw != ((how & 2) && tasks > 0) || sum != std::int64_t{tasks} * (tasks + 1) / 2)
             h.Finding("TThreadPool::Run ran its tasks wrongly");
     }},
};

constexpr bool InOrder() {
    for (std::size_t i = 0; i < std::size(TABLE); ++i)
        if (TABLE[i].Call != i) return false;
    return std::size(TABLE) == CALL_COUNT;
}
static_assert(InOrder(), "TABLE lists the calls of api_fuzz_calls.h in their order");

void THarness::Run() {
    for (int calls = 0; calls < MAX_CALLS && Pos < Size; ++calls) {
        const TEntry& entry = TABLE[Byte() % CALL_COUNT];
        S = Byte() & 1;
        Line = "w" + std::to_string(S) + " " + entry.Name + "(";
        Result.clear();
        if (Echo) std::fputs(Line.c_str(), stderr);
        std::string note;
        const TState before = State();
        try {
            entry.Make(*this);
        } catch (const TSkip& skip) {
            note = std::string("  // skipped: ") + skip.Why;
        } catch (const TSPHError& e) {
            note = std::string("  // refused: ") + e.what();
            Unchanged(before);
        } catch (const std::bad_alloc&) {
            note = "  // bad_alloc";
            Unchanged(before);
        } catch (const std::exception& e) {
            Finding(std::string("an exception other than TSPHError or std::bad_alloc: ") + e.what());
        }
        const std::string end = ")" + Result + note;
        if (Echo) std::fprintf(stderr, "%s\n", end.c_str());
        Log.push_back(Line + end);
        Line.clear();
        Check(nullptr, false);
    }
}

}  // namespace

// AddressSanitizer keeps freed memory aside to catch late uses, 256 MiB by
// default: with the run's memory limit that alone would end it.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    THarness(data, size).Run();
    return 0;
}
