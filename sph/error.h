// How the library refuses what it is given.
//
// Every public call checks its arguments and the state of the world it acts
// on before it changes anything. What it cannot handle (a number that is not
// finite, or not positive where the model divides by it; a size past a limit
// of TSPH; a null pointer; a particle, material or partner of another world;
// a particle of the wrong kind; a builder used out of turn) it refuses by
// throwing TSPHError, whose message names the call and the value, e.g.
//
//   TSPH::SetTimestep: the timestep must be finite and greater than 0 (got 0)
//
// A refused call leaves everything as it was, so the caller may catch the
// error and go on. So does a call whose allocation fails (std::bad_alloc):
// what it allocates is made whole before it replaces anything. Inside a step
// nothing is checked again: what got in is sound.
#pragma once

#include <stdexcept>

class TSPHError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};
