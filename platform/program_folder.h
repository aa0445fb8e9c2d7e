// Where the running program's executable lies, for the files that are
// installed beside it.
#pragma once

#include <string>

// The folder that holds the program's executable, ending in the host's
// separator ('/' or '\'), as the host reports it; empty when the host cannot
// tell. Needs no graphics open.
std::string ProgramFolder();
