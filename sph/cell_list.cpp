// The chains of a grid copied into a cell list, cell after cell.
#include "sph/detail/cell_list.h"

#include <algorithm>
#include <limits>

#include "sph/particle.h"

void sph_detail::TCellList::LayOut(const std::vector<TParticle*>& grid) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    std::size_t n = 0;
    for (std::size_t k = 0; k < grid.size(); ++k) {
        First[k] = n;
        TCellBox box{inf, inf, -inf, -inf};
        // The chains are the world's own particles, which the step changes.
        for (auto* p = grid[k]; p && n < Entries.size(); p = const_cast<TParticle*>(p->Succ)) {
            Entries[n++] = {p->PositionX, p->PositionY, p->ID, p};
            box = {std::min(box.MinX, p->PositionX), std::min(box.MinY, p->PositionY), std::max(box.MaxX, p->PositionX),
                   std::max(box.MaxY, p->PositionY)};
        }
        Boxes[k] = box;
    }
    First[grid.size()] = n;
}
