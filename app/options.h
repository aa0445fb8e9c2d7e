// The demo's command line.
#pragma once

#include <cstdint>
#include <string>

// Which way a frame is drawn: through the GL, on the CPU into an image shown
// by the GL (or a 2D canvas in a browser), or chosen from the GL in use.
enum class TDrawChoice { Auto, Gl, Cpu };

struct TDemoOptions {
    std::int32_t Scene = 1;   // the scene on show at start, 1 to 3
    std::int32_t Frames = 0;  // quit after this many frames; 0 runs until the user quits
    std::string Screenshot;   // PNG written after the last frame; empty for none
    TDrawChoice Draw = TDrawChoice::Auto;
    bool FpsLog = false;  // one line a second on standard output
};
