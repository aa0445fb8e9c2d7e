// Fuzz target: the sph library's public calls in any order with any
// arguments. An input is a program: a byte picks an entry of TABLE, the low
// bit of the next the world slot of the call, and the entry reads its
// arguments from the bytes after them (THarness::Read). Up to two worlds live
// at once; what the calls hand back is kept per slot for later calls. A call
// does what it says, or refuses with TSPHError (or std::bad_alloc) and
// changes nothing. After every call the views list the registered particles;
// after a step or phase every number is finite and, after a whole step, every
// liquid and solid particle lies inside the container. A finding names the
// calls made and aborts: the input, which libFuzzer saves, reproduces it.
// API_FUZZ_SEEDS=<dir> writes the seed corpus there instead.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <span>
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

namespace {

// What one input may do, so that a run stays fast. libFuzzer takes an
// allocation past its memory limit for a crash (AddressSanitizer never turns
// it into std::bad_alloc), so no call is made that would make room for more
// than MAX_MADE particles, or add to a world of more than
// MAX_WORLD_PARTICLES. Crowded cells make a step quadratic and a step visits
// every cell (2^20 take a quarter of a second sanitized): its work is
// counted as pairs of particles plus CELL_WORK a cell, about 1e-7 s each,
// and steps past the budgets are skipped.
constexpr int MAX_CALLS = 64, MAX_STEPS = 32, MAX_TASKS = 1000;
constexpr double MAX_MADE = 20000, MAX_WORLD_PARTICLES = 20000;
constexpr double CELL_WORK = 2, MAX_STEP_WORK = 4e6, MAX_INPUT_WORK = 2e7;

// A number is a byte: below SMALL an entry of FLOATS or INTS (modulo its
// length), below RAW 16 scene pixels or 100 times (byte − SMALL), else its
// four bytes follow. The last three floats lie just past the ends of the
// ranges the library accepts.
constexpr std::uint8_t SMALL = 0x80, RAW = 0xF0;
// clang-format off
const float FLOATS[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.4f, 30.0f, 1e-7f, 1e-6f, 1e6f, 2e6f, 1e30f, -1e30f, NAN, INFINITY,
                        -INFINITY, FLT_TRUE_MIN, -1e-40f, FLT_MIN, FLT_MAX, -FLT_MAX, 0.5f, 2.0f, 10.0f, 100.0f, 200.0f,
                        500.0f, 1000.0f, -100.0f, -1e6f, 0.9f, 0.0015f, 1000000.06f, 9.99999905e-7f, 0.7f};
const std::int32_t INTS[] = {0, -1, 1, 2, 3, INT32_MAX, INT32_MIN, 50, 200, 1000, 5000, 640, 480, 100, 64, 10, 1800,
                             1 << 22, (1 << 22) + 1};
// clang-format on

template <class T>
T Decoded(std::uint8_t b) {  // the number a byte below RAW stands for
    if constexpr (std::is_same_v<T, float>)
        return b < SMALL ? FLOATS[b % std::size(FLOATS)] : static_cast<float>(b - SMALL) * 16.0f;
    else
        return b < SMALL ? INTS[b % std::size(INTS)] : (b - SMALL) * 100;
}

const std::shared_ptr<TThreadPool>& Pool(int threads) {
    static const std::shared_ptr<TThreadPool> pools[] = {
        std::make_shared<TThreadPool>(1), std::make_shared<TThreadPool>(2), std::make_shared<TThreadPool>(3)};
    return pools[threads - 1];
}

const char* const VIEW_NAMES[] = {"FluidParticles", "SolidParticles", "RigidParticles", "BoundaryParticles"};
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
    std::map<std::int64_t, double> counts;
    for (const TSPH::ParticleView view : {w.GetFluidParticles(), w.GetSolidParticles(), w.GetBoundaryParticles()})
        for (const TParticle* p : view)
            ++counts[across && down ? cell(p->PositionX, across) * down + cell(p->PositionY, down) : 0];
    double pairs = 0;
    for (const auto& [at, n] : counts) pairs += 9 * n * n;
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
};

class THarness {
public:
    THarness(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
    void Run();

    // The arguments, read in order.
    std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    int Threads() { return Byte() % 4; }  // 0 for none
    TSlot& Slot() { return Slots[S]; }
    TSPH* WorldOrNull() { return Slots[S].World.get(); }
    TSPH& World() { return WorldOrNull() ? *WorldOrNull() : throw TSkip{"no world"}; }
    TFluidEmitter& Emitter() {
        const auto& emitters = Slot().Emitters;
        return emitters.empty() ? throw TSkip{"no emitter"} : *emitters[Byte() % emitters.size()];
    }
    std::shared_ptr<TParticleNumbering> Numbering = std::make_shared<TParticleNumbering>();  // for shared worlds

    // A free or static call, or one on an object the input picks (the call's
    // world, a material of either world, or an emitter of the call's world):
    // its arguments are read in order and shown to `check`, with the world or
    // the object, before the call is made.
    template <class R, class... A, class Check = std::nullptr_t>
    R Call(R (*f)(A...), Check check = {}) {
        std::tuple<std::decay_t<A>...> args{Read<std::decay_t<A>>()...};
        if constexpr (!std::is_null_pointer_v<Check>) check(WorldOrNull(), args);
        return std::apply(f, args);
    }
    template <class M, class R, class... A, class Check = std::nullptr_t>
    R On(R (M::*f)(A...), Check check = {}) {
        M& target = Target<M>();
        std::tuple<std::decay_t<A>...> args{Read<std::decay_t<A>>()...};
        if constexpr (!std::is_null_pointer_v<Check>) check(&target, args);
        return std::apply([&](auto&... a) { return (target.*f)(a...); }, args);
    }

    // What the calls hand back, kept for later calls.
    void Keep(const TParticle* p) {
        const int s = SlotOf(p);
        if (s < 0) Finding("a factory made a particle that no world owns");
        Slots[s].Made.push_back(p);
    }
    template <class M>
    void Keep(std::shared_ptr<M> m) {
        if (!m || m->GetWorld() != WorldOrNull()) Finding("a call made no material, or one of another world");
        List<M>(S).push_back(m);
    }
    void Keep(std::unique_ptr<TFluidEmitter> e) {
        const int s = e && e->GetFluid() ? SlotOf(e->GetFluid()->GetWorld()) : -1;
        if (s < 0) Finding("TFluidEmitter::Create made no emitter, or one of a fluid of no world");
        Slots[s].Emitters.push_back(std::move(e));
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
        step(w);
        Check(&w, whole);
    }

    [[noreturn]] void Finding(const std::string& what) const {
        std::fprintf(stderr, "\n==== api_fuzz finding: %s\n==== in the last of these calls:%s\n", what.c_str(),
                     Calls.c_str());
        std::abort();
    }

    template <class M>
    TList<M>& List(int s) {
        return std::get<TList<M>>(Slots[s].Materials);
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

    template <class T>
    T Read() {
        if constexpr (std::is_same_v<T, float> || std::is_same_v<T, std::int32_t>) {
            const std::uint8_t b = Byte();
            return b < RAW ? Decoded<T>(b)
                           : std::bit_cast<T>(std::array<std::uint8_t, 4>{Byte(), Byte(), Byte(), Byte()});
        } else if constexpr (std::is_same_v<T, bool>) {
            return Byte() & 1;
        } else if constexpr (std::is_same_v<T, std::uint8_t>) {
            return Byte();
        } else if constexpr (std::is_same_v<T, TSPH*>) {  // no byte: the call's world
            return WorldOrNull();
        } else if constexpr (std::is_same_v<T, TEmitterSettings>) {  // braces read in order
            return {Read<float>(),        Read<float>(), Read<float>(), Read<float>(),
                    Read<std::int32_t>(), Read<float>(), Read<float>()};
        } else if constexpr (std::is_same_v<T, const TParticle*>) {
            return Particle();
        } else if constexpr (std::is_pointer_v<T>) {
            return Material<std::remove_pointer_t<T>>().get();
        } else {
            return Material<typename T::element_type>();
        }
    }

    // A material is a byte: its low bit the slot, the rest the index in its
    // list; 0xFF or an empty list, none.
    template <class M>
    std::shared_ptr<M> Material() {
        const std::uint8_t b = Byte();
        const TList<M>& materials = List<M>(b & 1);
        return b == 0xFF || materials.empty() ? nullptr : materials[(b >> 1) % materials.size()];
    }

    // A particle is two bytes: the first's low three bits the source (0 none, 1
    // to 4 the world's views, 5 to 7 what the factories made), its bit 3 the
    // slot; the second the index.
    const TParticle* Particle() {
        const std::uint8_t how = Byte(), k = Byte();
        const int source = how & 7;
        const TSlot& slot = Slots[(how >> 3) & 1];
        if (source == 0 || !slot.World) return nullptr;
        if (const TSPH::ParticleView view = Views(*slot.World)[(source - 1) & 3]; source <= 4 && !view.empty())
            return view[k % view.size()];
        if (slot.Made.empty()) return nullptr;
        return slot.Made[slot.Made.size() - 1 - k % slot.Made.size()];  // the latest, most often
    }

    // What a refused call must leave as it was: each world's counts and
    // settings, and what its materials, bodies and emitters hold.
    std::vector<std::pair<const char*, double>> State() const {
        std::vector<std::pair<const char*, double>> state;
        auto place = [](const void* p) { return static_cast<double>(reinterpret_cast<std::uintptr_t>(p)); };
        auto add = [&](const char* name, std::initializer_list<double> values) {
            for (const double v : values) state.emplace_back(name, v);
        };
        for (const TSlot& slot : Slots) {
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

    // After every call each view lists registered particles of its kind, made
    // in its world, the grids have the lengths they claim, constraints join
    // solid particles of their world, and a body's vertices were made for it.
    // After a step or phase of `stepped` its numbers are finite and, after a
    // whole step, its liquid and solid particles lie in the container.
    void Check(const TSPH* stepped, bool whole) const {
        for (const TSlot& slot : Slots) {
            const TSPH* w = slot.World.get();
            if (!w) continue;
            const auto views = Views(*w);
            const std::int32_t counts[] = {w->GetFluidCount(), w->GetSolidCount(), w->GetRigidCount(),
                                           w->GetBoundaryCount()};
            for (std::size_t k = 0; k < 4; ++k) {
                const std::string of = std::string(" of ") + VIEW_NAMES[k];
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
            const auto cells =
                static_cast<std::size_t>(w->GetGridWidth()) * static_cast<std::size_t>(w->GetGridHeight());
            for (const TSPH::ParticleView grid :
                 {w->GetFluidGrid(), w->GetSolidGrid(), w->GetRigidGrid(), w->GetBoundaryGrid()})
                if (grid.size() != cells) Finding("a grid's length is not its width × height");
            if (w->GetParticleCount() != counts[0] + counts[1] + counts[2] + counts[3]) Finding("GetParticleCount");
            for (const std::int32_t end : {0, 1})
                for (const TParticle* p : w->GetConstraintEnds(end))
                    if (!p || !p->Solid || !w->Owns(p))
                        Finding("a constraint's end is not a solid particle of its world");
            for (const auto& b : std::get<TList<TRigid>>(slot.Materials))
                for (const TParticle* v : b->GetWorld() == w ? b->GetVertices() : std::span<const TParticle* const>())
                    if (!v || v->Rigid != b.get()) Finding("a body has a vertex not made for it");
            if (w != stepped) continue;
            for (const TRigid* b : w->GetRigids())
                for (const float v : {b->GetCenterX(), b->GetCenterY(), b->GetAngle(), b->GetVelocityX(),
                                      b->GetVelocityY(), b->GetAngularSpeed()})
                    if (!std::isfinite(v)) Finding("a number of a body is not finite");
            for (const float length : w->GetConstraintLengths())
                if (!std::isfinite(length)) Finding("a constraint's length is not finite");
        }
    }

    const std::uint8_t* Data;
    std::size_t Size, Pos = 0;
    TSlot Slots[2];
    int S = 0;          // the slot of the call being made
    std::string Calls;  // one a line, each its slot and its name
    int Steps = 0;
    double Work = 0;
};

// A call that would make room for `made` particles in `world` past the
// budgets is skipped.
void Room(const TSPH* world, double made) {
    if (world && (made > MAX_MADE || world->GetParticleCount() > MAX_WORLD_PARTICLES)) throw TSkip{"too many"};
}
// A block `width` × `height` screen pixels, `spacing` scene pixels apart.
// Sides that are not finite, or too long for both corners to lie within
// ±1e6 simulation units, the library refuses itself.
void Limit(const TSPH* world, float width, float height, float spacing) {
    const double w = world ? std::fabs(width / double{world->GetWorldScale()}) : 0,
                 h = world ? std::fabs(height / double{world->GetWorldScale()}) : 0;
    if (std::max(w, h) * TSPH::UNIT_SCALE <= 2e6) Room(world, (w / spacing + 2) * (h / spacing + 2));
}
const TSPH* WorldOf(const TSPH* world) { return world; }
const TSPH* WorldOf(const auto* material) { return material->GetWorld(); }
template <std::size_t K>
auto Block(float spacing) {
    return [spacing](const auto* target, const auto& a) {
        Limit(WorldOf(target), std::get<K>(a), std::get<K + 1>(a), spacing);
    };
}

using H = THarness;
void CreateWorld(H& h) {  // the container's width and height, scale, timestep, gravity, repulsion, shared numbering
    TWorldSettings settings{h.Read<std::int32_t>(), h.Read<std::int32_t>(), h.Read<float>(), h.Read<float>(),
                            h.Read<float>(),        h.Read<float>(),        h.Read<float>(), h.Read<float>()};
    if (h.Read<bool>()) settings.Numbering = h.Numbering;
    if (h.WorldOrNull()) throw TSkip{"the slot is taken"};
    h.Slot().World = TSPH::Create(settings);
    if (!h.WorldOrNull()) h.Finding("TSPH::Create made no world");
}
void DestroyWorld(H& h) {  // its particles go with it; what the calls made stays
    h.Slot().World.reset();
    h.Slot().Made.clear();
}
void SetTaskRunner(H& h) {
    const int threads = h.Threads();
    const TSplitSettings settings{h.Read<std::int32_t>(), h.Read<bool>()};
    h.World().SetTaskRunner(threads ? Pool(threads) : nullptr, settings);
    h.Slot().Settings = settings;
}
void Reserve(H& h) {  // what the library would refuse, it is asked for
    h.On(&TSPH::Reserve, [](const TSPH* w, const auto& a) {
        const auto [fluid, solid, rigid, boundary, constraints] = a;
        for (const std::int64_t n : {fluid, solid, rigid, boundary, constraints})
            if (n <= TSPH::MAX_RESERVE) Room(w, static_cast<double>(n));
    });
}
void UpdateEmitter(H& h) {
    TFluidEmitter& e = h.Emitter();
    if (e.IsActive())
        Limit(e.GetFluid()->GetWorld(), e.GetSettings().Width, e.GetSettings().Height, TFluid::LATTICE_SPACING);
    e.Update();
}
void Update(H& h) {  // on the runner as it is, or on a pool of 1 to 3 threads
    const int threads = h.Threads();
    h.Step(true, [&](TSPH& w) {
        if (threads) w.SetTaskRunner(Pool(threads), h.Slot().Settings);
        w.Update();
    });
}
// A pool on its own: every task runs once, and an exception a task threw
// comes back to the caller.
void RunPool(H& h) {
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
}

// Each entry reads its arguments and makes one public call: ON calls f on
// the object the input picks, MADE keeps what f hands back, PHASE steps one
// phase. The seeds name the entries; new ones go at the end.
struct TEntry {
    const char* Name;
    void (*Make)(H&);
};
// clang-format off
#define ON(f, ...) {#f, [](H& h) { h.On(&f __VA_OPT__(, ) __VA_ARGS__); }}
#define MADE(f, ...) {#f, [](H& h) { h.Keep(h.Call(&f __VA_OPT__(, ) __VA_ARGS__)); }}
#define PHASE(f) {#f, [](H& h) { h.Step(false, [](TSPH& w) { w.f(); }); }}
constexpr TEntry TABLE[] = {
    {"TSPH::Create", CreateWorld}, {"destroy", DestroyWorld}, ON(TSPH::SetContainerSize), ON(TSPH::SetWorldScale),
    ON(TSPH::SetTimestep), ON(TSPH::SetRepulsion), ON(TSPH::SetGravity), {"TSPH::SetTaskRunner", SetTaskRunner},
    ON(TSPH::SetRigidContacts), {"TSPH::Reserve", Reserve},
    {"Numbering().Take", [](H& h) { h.World().Numbering().Take(h.Read<std::int32_t>(), "fuzz"); }},
    MADE(TFluid::Create), ON(TFluid::SetDamping), ON(TFluid::SetSurfaceTension), ON(TFluid::SetViscosity),
    ON(TFluid::SetRestDensity), ON(TFluid::SetPressureFactor), ON(TFluid::SetColor),
    ON(TFluid::CreateRect, Block<2>(TFluid::LATTICE_SPACING)),
    MADE(TSolid::Create), ON(TSolid::SetStiffness), ON(TSolid::SetColor),
    ON(TSolid::CreateRect, Block<2>(TSPH::SOLID_SPACING)),
    MADE(TRigid::CreateRigidRect, Block<2>(TSPH::RIGID_SPACING)), MADE(TRigid::BeginBody),
    {"TRigid::AddVertex", [](H& h) { h.Keep(h.On(&TRigid::AddVertex)); }}, ON(TRigid::EndBody),
    ON(TRigid::SetRepulsion), ON(TRigid::SetColor), ON(TRigid::AddParticle), ON(TRigid::Init), ON(TRigid::Integrate),
    MADE(TParticle::CreateFluidParticle), MADE(TParticle::CreateSolidParticle), MADE(TParticle::CreateRigidParticle),
    MADE(TParticle::CreateBoundaryParticle), ON(TSPH::AddFluidParticle), ON(TSPH::AddSolidParticle),
    ON(TSPH::AddRigidParticle), ON(TSPH::AddBoundaryParticle), ON(TSPH::AddConstraint), ON(TSPH::AddFluid),
    ON(TSPH::AddSolid), ON(TSPH::AddRigid),
    {"CreateBoundaryRect", [](H& h) { h.Call(&CreateBoundaryRect, Block<3>(TSPH::BOUNDARY_SPACING)); }},
    MADE(TFluidEmitter::Create), ON(TFluidEmitter::Trigger), {"TFluidEmitter::Update", UpdateEmitter},
    {"TSPH::Update", Update}, PHASE(RedistributeGrid), PHASE(Fluid_Reset), PHASE(Fluid_UpdateDensity),
    PHASE(Fluid_CalcForces), PHASE(Fluid_Integrate), PHASE(Solid_Reset), PHASE(Solid_CalcForces),
    PHASE(Solid_Integrate), PHASE(Rigid_Reset), PHASE(Rigid_CalcForces), PHASE(Rigid_Integrate),
    PHASE(Constraints_Update),
    {"TSPH::Rigid_ResolvePenetration",
     [](H& h) { h.Step(false, [&h](TSPH&) { h.On(&TSPH::Rigid_ResolvePenetration); }); }},
    {"TThreadPool::Run", RunPool},
};
// clang-format on
#undef ON
#undef MADE
#undef PHASE

void THarness::Run() {
    for (int calls = 0; calls < MAX_CALLS && Pos < Size; ++calls) {
        const TEntry& entry = TABLE[Byte() % std::size(TABLE)];
        S = Byte() & 1;
        Calls += "\n  w" + std::to_string(S) + " " + entry.Name;
        const auto before = State();
        try {
            entry.Make(*this);
        } catch (const TSkip&) {
        } catch (const std::exception& e) {
            if (!dynamic_cast<const TSPHError*>(&e) && !dynamic_cast<const std::bad_alloc*>(&e))
                Finding(std::string("an exception other than TSPHError or std::bad_alloc: ") + e.what());
            const auto after = State();
            const auto same = [](const auto& a, const auto& b) { return std::memcmp(&a.second, &b.second, 8) == 0; };
            if (const auto [b, a] = std::mismatch(before.begin(), before.end(), after.begin(), after.end(), same);
                b != before.end() || a != after.end())
                Finding(std::string("a refused call changed ") + (b != before.end() ? b->first : a->first));
        }
        Check(nullptr, false);
    }
}

// The seed corpus: short scenes that take a world far enough (particles of
// every kind, threads, two worlds, emitters, the builder, every setter) for
// the fuzzer's changes to start from there. Numbers take as few bytes as
// Read allows, so that changing one byte makes them hostile.
struct TSeed {
    std::vector<std::uint8_t> Bytes;
    static int Index(const std::string& name) {
        for (std::size_t i = 0; i < std::size(TABLE); ++i)
            if (name == TABLE[i].Name) return static_cast<int>(i);
        std::abort();
    }
    TSeed& Call(const std::string& name, int slot = 0) { return B(Index(name), slot); }
    template <class... T>
    TSeed& B(T... bytes) {
        (Bytes.push_back(static_cast<std::uint8_t>(bytes)), ...);
        return *this;
    }
    template <class... T>
    TSeed& N(T... numbers) {  // each a std::int32_t or a float: its first byte below RAW, else raw
        auto one = [&](auto v) {
            using TBytes = std::array<std::uint8_t, 4>;
            const auto bytes = std::bit_cast<TBytes>(v);
            std::uint8_t b = 0;
            while (b < RAW && std::bit_cast<TBytes>(Decoded<decltype(v)>(b)) != bytes) ++b;
            b < RAW ? B(b) : B(RAW, bytes[0], bytes[1], bytes[2], bytes[3]);
        };
        (one(numbers), ...);
        return *this;
    }
    // A world of 1800 × 1800 scene pixels drawn at scale 1, with the default step.
    TSeed& World(int slot, bool shared = false) {
        return Call("TSPH::Create", slot).N(1800, 1800, 1.0f, 0.4f, 0.0f, 0.7f, 30.0f, 0.5f).B(shared);
    }
    TSeed& Updates(int slot, int n, int threads) {
        for (int k = 0; k < n; ++k) Call("TSPH::Update", slot).B(threads);
        return *this;
    }
};

int WriteSeeds(const std::string& dir) {
    std::map<std::string, TSeed> seeds;
    // A block of liquid poured onto a floor, split over threads.
    TSeed& liquid = seeds["liquid"].World(0);
    liquid.Call("CreateBoundaryRect").N(0.0f, 1600.0f, 1776.0f, 32.0f).Call("TFluid::Create");
    liquid.Call("TFluid::CreateRect").B(0).N(400.0f, 800.0f, 400.0f, 320.0f, 0.0f, 1.0f);
    liquid.Call("TSPH::SetTaskRunner").B(2).N(1).B(1).Updates(0, 6, 2).Updates(0, 4, 3);

    // An elastic block with an extra constraint, stepped phase by phase, then
    // whole; then the container shrinks to a corner the block lies outside.
    TSeed& solid = seeds["solid"].World(0);
    solid.Call("TSolid::Create").Call("TSolid::SetStiffness").B(0).N(0.5f);
    solid.Call("TSolid::CreateRect").B(0).N(320.0f, 320.0f, 160.0f, 160.0f, 2.0f, 0.0f);
    solid.Call("TSPH::AddConstraint").B(2, 0, 2, 40);
    for (int phase = TSeed::Index("RedistributeGrid"); phase <= TSeed::Index("Constraints_Update"); ++phase)
        solid.B(phase, 0);
    solid.Updates(0, 6, 0).Call("TSPH::SetContainerSize").N(10, 10).Updates(0, 2, 0);

    // A box, and a body of three vertices from the builder, one of them
    // registered with the world, then closed (a vertex of the box offered to
    // it is refused); bodies meet each other.
    TSeed& rigid = seeds["rigid"].World(0).Call("TSPH::SetRigidContacts").B(1);
    rigid.Call("TRigid::CreateRigidRect").N(320.0f, 320.0f, 160.0f, 160.0f).Call("TRigid::BeginBody");
    rigid.Call("TRigid::AddVertex").B(2).N(800.0f, 40.0f, 1.0f).Call("TRigid::AddVertex").B(2).N(816.0f, 40.0f, 2.0f);
    rigid.Call("TRigid::AddVertex").B(2).N(800.0f, 48.0f, 1.0f).Call("TSPH::AddRigidParticle").B(5, 0);
    rigid.Call("TRigid::AddParticle").B(2, 3, 0).Call("TRigid::EndBody").B(2).Updates(0, 8, 1);

    // Two worlds numbered together; an emitter pours into the first, which
    // is then destroyed while the second steps on.
    TSeed& two = seeds["two_worlds"].World(0, true).World(1, true);
    two.Call("TFluid::Create", 0).Call("TFluid::Create", 1);
    two.Call("TFluidEmitter::Create").B(0).N(160.0f, 160.0f, 160.0f, 96.0f, 0, 0.0f, 0.0f);
    two.Call("TFluidEmitter::Trigger").B(0).Call("TFluidEmitter::Update").B(0).Call("TFluidEmitter::Update").B(0);
    two.Updates(0, 1, 0).Call("TFluidEmitter::Update").B(0);
    two.Call("TFluid::CreateRect").B(1).N(160.0f, 160.0f, 320.0f, 160.0f, 0.0f, 0.0f);
    two.Updates(0, 2, 2).Updates(1, 2, 0).Call("destroy", 0).Updates(1, 4, 3);

    // One particle of each kind from the factories (the liquid one far
    // outside the container, two solid ones all but on top of each other),
    // registered and stepped; then the pool alone, with tasks that throw.
    TSeed& made = seeds["factories"].World(0).Call("TFluid::Create").Call("TSolid::Create");
    made.Call("TRigid::BeginBody").Call("TParticle::CreateFluidParticle").N(1e6f, 10.0f).B(0);
    made.Call("TSPH::AddFluidParticle").B(5, 0);
    for (const float x : {0.0f, 1e-12f})  // so close that the push between them would pass the largest float
        made.Call("TParticle::CreateSolidParticle").N(x, 20.0f).B(0).Call("TSPH::AddSolidParticle").B(5, 0);
    made.Call("TParticle::CreateRigidParticle").N(30.0f, 30.0f, 1.0f).B(0).Call("TSPH::AddRigidParticle").B(5, 0);
    made.Call("TRigid::AddParticle").B(0, 5, 0).Call("TRigid::EndBody").B(0);
    made.Call("TParticle::CreateBoundaryParticle").N(40.0f, 40.0f).Call("TSPH::AddBoundaryParticle").B(5, 0);
    made.Call("TSPH::AddConstraint").B(5, 0, 1, 0);  // a wall and a liquid particle, refused
    made.Updates(0, 4, 0).Call("TThreadPool::Run").B(3).N(100).B(2);

    // Every setter with an ordinary value between the steps of a liquid, a
    // solid and a box; a liquid and a wall particle are made in a second world too.
    TSeed& set = seeds["setters"].World(0).World(1).Call("TFluid::Create").Call("TSolid::Create");
    set.Call("TFluid::CreateRect").B(0).N(400.0f, 800.0f, 160.0f, 160.0f, 0.0f, 0.0f);
    set.Call("TSolid::CreateRect").B(0).N(800.0f, 800.0f, 96.0f, 96.0f, 0.0f, 0.0f);
    set.Call("TRigid::CreateRigidRect").N(1200.0f, 800.0f, 96.0f, 96.0f).Updates(0, 1, 0);
    set.Call("TSPH::SetContainerSize").N(1800, 1800).Call("TSPH::SetWorldScale").N(1.0f);
    set.Call("TSPH::SetTimestep").N(0.4f).Call("TSPH::SetRepulsion").N(30.0f, 0.5f);
    set.Call("TSPH::SetGravity").N(0.0f, 0.7f).Updates(0, 1, 0);
    set.Call("TFluid::SetDamping").B(0).N(0.0015f).Call("TFluid::SetSurfaceTension").B(0).N(2.0f);
    set.Call("TFluid::SetViscosity").B(0).N(10.0f, 10.0f).Call("TFluid::SetRestDensity").B(0).N(0.5f);
    set.Call("TFluid::SetPressureFactor").B(0).N(10.0f).Call("TSolid::SetStiffness").B(0).N(0.9f);
    set.Call("TRigid::SetRepulsion").B(0).N(1.0f).Updates(0, 2, 0).Call("TFluid::Create", 1);
    set.Call("TParticle::CreateFluidParticle", 1).N(400.0f, 400.0f).B(1);
    set.Call("TParticle::CreateBoundaryParticle", 1).N(400.0f, 480.0f);
    set.Call("TParticle::CreateFluidParticle").N(480.0f, 400.0f).B(0).Call("TSPH::AddFluidParticle").B(5, 0);
    // Then each setter once more with a value that is not a number (after a
    // new one, where it takes two), and the second world's particles offered
    // to the first and to its box: all of them refused, and nothing changed.
    set.Call("TSPH::SetWorldScale").N(NAN).Call("TSPH::SetTimestep").N(NAN).Call("TSPH::SetRepulsion").N(10.0f, NAN);
    set.Call("TSPH::SetGravity").N(1.0f, NAN).Call("TFluid::SetDamping").B(0).N(NAN);
    set.Call("TFluid::SetSurfaceTension").B(0).N(NAN).Call("TFluid::SetViscosity").B(0).N(1.0f, NAN);
    set.Call("TFluid::SetRestDensity").B(0).N(NAN).Call("TFluid::SetPressureFactor").B(0).N(NAN);
    set.Call("TSolid::SetStiffness").B(0).N(NAN).Call("TRigid::SetRepulsion").B(0).N(NAN);
    set.Call("TSPH::AddFluidParticle").B(5 | 8, 1).Call("TSPH::AddBoundaryParticle").B(5 | 8, 0);
    set.Call("TRigid::AddParticle").B(0, 5 | 8, 1).Updates(0, 2, 0);

    mkdir(dir.c_str(), 0777);
    for (const auto& [name, seed] : seeds) {
        const auto size = static_cast<std::streamsize>(seed.Bytes.size());
        if (!std::ofstream(dir + "/" + name, std::ios::binary)
                 .write(reinterpret_cast<const char*>(seed.Bytes.data()), size))
            return 1;
    }
    return 0;
}

}  // namespace

// AddressSanitizer keeps freed memory aside to catch late uses, 256 MiB by
// default: with the run's memory limit that alone would end it.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* dir = std::getenv("API_FUZZ_SEEDS")) std::exit(WriteSeeds(dir));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    THarness(data, size).Run();
    return 0;
}
