// The demo's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which way a frame is drawn: through the GL, on the CPU into an image shown
// by the GL (or a 2D canvas in a browser), or chosen from the GL in use.
enum class TDrawChoice { Auto, Gl, Cpu };

struct TDemoOptions {
    std::int32_t Scene = 1;   // the scene on show at start, 1 to 3
    std::int32_t Frames = 0;  // quit after this many frames; 0 runs until the user quits
    std::string Screenshot;   // PNG written after the last frame; empty for none
    TDrawChoice Draw = TDrawChoice::Auto;
    bool FpsLog = false;    // one line a second on standard output
    bool Contacts = false;  // rigid bodies meet one another, walls and solids in every scene
    std::string Record;     // the user's input written to this file, frame by frame; empty for none
    std::string Replay;     // input read from this recording instead of the user; empty for none
};

// What a command line asks of the program: run with the options, show the
// usage and stop, or stop because an argument is wrong.
struct TCommandLine {
    enum class TAction { Run, Help, Error };
    TAction Action = TAction::Run;
    TDemoOptions Options;  // complete only for Run
    std::string Error;     // for Error: one line, without a newline, naming the argument
};

// Reads the arguments that follow the program's name. An option's value
// follows it as the next argument or after "=" ("--scene 2", "--scene=2");
// an option given twice keeps its last value. Prints nothing.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The list of options, several lines each ending in a newline.
std::string UsageText();

// The exit status of a run refused for a wrong command line.
inline constexpr int COMMAND_LINE_EXIT = 2;
