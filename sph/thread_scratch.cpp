// The room each thread's sweeps keep from the density pass for the force
// pass of a step: partner records and seam lists, each thread's part set by
// its share of the particles; and its starts per cell.
#include "sph/detail/thread_scratch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sph/detail/fluid_pack.h"
#include "sph/detail/solver.h"

using sph_detail::TFluidPack;
using sph_detail::TPartnerRecord;
using sph_detail::TSeamList;

void sph_detail::MakeRoomForRecords(TFluidPack& P) {
    const std::size_t room = static_cast<std::size_t>(P.Count) * P.RecordBytesEach;
    if (P.RecordBytes.size() < room) P.RecordBytes.resize(room);
}

// After a density sweep whose records ran out of room: room for what the
// thread's walkers took and would have taken, and for the most its last
// walker may need free, an eighth more, for the next step (a pile that goes
// on compressing needs a little more at times). The force sweep still reads
// the old buffer, so the room is made after it.
void sph_detail::RaiseRoomForRecords(TFluidPack& P) {
    for (std::size_t t = 0; t < static_cast<std::size_t>(P.Threads); ++t) {
        const TPartnerRecord& record = P.Records[t];
        if (!record.RanOut) continue;
        const auto wanted =
            static_cast<std::size_t>(record.End - record.Begin) + record.Wanted +
            static_cast<std::size_t>(TPartnerRecord::MostPerWalker(P.LargestCell) + TPartnerRecord::SLACK);
        const auto particles = static_cast<std::size_t>(std::max(P.OrderStart[t + 1] - P.OrderStart[t], 1));
        const std::size_t each = wanted / particles + 1;
        P.RecordBytesEach = std::max(P.RecordBytesEach, each + each / 8 + 1);
    }
}

void sph_detail::StartRecords(TFluidPack& P, bool inStep) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    if (!inStep || P.LargestCell > TPartnerRecord::MAX_CELL) {
        for (std::size_t t = 0; t < threads; ++t) P.Records[t].Skip();
        return;
    }
    const std::size_t each = P.RecordBytesEach;
    MakeRoomForRecords(P);
    std::uint8_t* bytes = P.RecordBytes.data();
    for (std::size_t t = 0; t < threads; ++t)
        P.Records[t].Start(bytes + static_cast<std::size_t>(P.OrderStart[t]) * each,
                           bytes + static_cast<std::size_t>(P.OrderStart[t + 1]) * each);
}

void sph_detail::StartSeamLists(TFluidPack& P, std::int32_t gridHeight, bool inStep) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    std::fill_n(P.SeamLists.begin(), threads, TSeamList{});
    if (!inStep || threads < 2) return;
    const auto height = static_cast<std::size_t>(gridHeight);
    std::int32_t onSeam[sph_detail::TSolver::MAX_THREADS] = {};
    std::int32_t total = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        for (auto c = static_cast<std::size_t>(P.SplitColumn[t]); c < static_cast<std::size_t>(P.SplitColumn[t + 1]);
             ++c)
            if (P.SeamColumn[c]) onSeam[t] += P.First[(c + 1) * height] - P.First[c * height];
        total += onSeam[t];
    }
    const double each = static_cast<double>(P.SeamPartners.size()) / std::max(total, 1);
    std::int32_t* next = P.SeamPartners.data();
    for (std::size_t t = 0; t < threads; ++t) {
        std::int32_t* const end = next + static_cast<std::size_t>(each * onSeam[t]);
        TSeamList& list = P.SeamLists[t];
        list.Begin = list.Next = next;
        list.End = end;
        list.Particles = onSeam[t];
        next = end;
    }
}

// After a step whose seam lists ran out of room: room for the lists of
// every thread as that step wanted them, shared out as StartSeamLists
// shares it, in proportion to the threads' seam particles, and a quarter
// more (the seams move, and a pile that goes on compressing wants more at
// times). The force pass reads the old room, so the room grows after it.
void sph_detail::MakeRoomForSeamLists(TFluidPack& P) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    bool stopped = false;
    double wordsEach = 0;  // per seam particle, for the thread that wants most
    std::size_t particles = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        const TSeamList& list = P.SeamLists[t];
        stopped = stopped || list.Stopped;
        particles += static_cast<std::size_t>(list.Particles);
        if (list.Particles > 0) wordsEach = std::max(wordsEach, static_cast<double>(list.Wanted) / list.Particles);
    }
    if (!stopped) return;
    // A word a thread more, for the rounding down of each thread's part.
    const auto words = static_cast<std::size_t>(wordsEach * static_cast<double>(particles) * 1.25) + threads;
    if (P.SeamPartners.size() < words) P.SeamPartners.resize(words, 0);
}

void sph_detail::ReadSeamLists(TFluidPack& P, bool inStep) {
    for (std::size_t t = 0; t < static_cast<std::size_t>(P.Threads); ++t) P.SeamLists[t].StartReading(inStep);
}

std::int32_t* sph_detail::StartLowerStarts(TFluidPack& P, std::int32_t k) {
    std::int32_t* lowerStart = P.LowerStart.data() + static_cast<std::size_t>(k) * P.Fill.size();
    std::copy(P.First.begin() + 1, P.First.end(), lowerStart);
    return lowerStart;
}
