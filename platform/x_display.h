// The X server behind DISPLAY, as far as the window needs to know it.
//
// SDL opens its own connection; these helpers say why a connection cannot be
// had, and end the program cleanly when a connection it had goes away.
#pragma once

#include <string>

// Why no connection to the X display `name` can be made right now, in a few
// words ("connection refused", "the display name is not valid", ...); empty
// if a connection was made (and closed again).
std::string XConnectionProblem(const char* name);

// From now on, losing the connection to the X server (the server was killed,
// the session ended) prints one line naming the display on standard error and
// ends the process at once with status 1. Nothing of the dead connection is
// touched again: no at-exit handler runs, since closing the window or the
// connection would only wait forever on a server that is gone.
void EndProgramWhenXConnectionIsLost();
