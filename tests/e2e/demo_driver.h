// Drives the real demo on an X server as a person would: starts the
// program, finds its window, sends keys and clicks with xdotool, reads the
// window's pixels back and reads the status text in the program's own font.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TScreenImage {
    int Width = 0, Height = 0;
    std::vector<std::uint8_t> Rgb;  // row by row, top row first

    struct Pixel {
        int R, G, B;
    };
    Pixel At(int x, int y) const;
    // Pixels in the rectangle whose strongest channel is `channel` (0 red,
    // 1 green, 2 blue), by a clear margin over the other two.
    int CountDominant(int channel, int x0, int y0, int x1, int y1) const;
    // The characters of the program's font in a row of 8 × 16 cells from
    // (x, y): white glyph pixels on black; '?' for a cell that matches none.
    std::string ReadText(int x, int y, int cells) const;
};

// The number after "Particles: " in the status line; -1 if unreadable.
int ParticleCount(const TScreenImage& image);

struct TExit {
    bool Exited = false;  // false: still running when the wait ran out
    int Code = -1;        // the exit status, or 128 + the signal
};

class TDemoProcess {
public:
    // Starts the program with `arguments` in `workingDirectory` with the
    // environment as is, except DISPLAY when `display` is given (an empty one
    // unsets it).
    TDemoProcess(const std::string& program, const std::string& workingDirectory,
                 std::optional<std::string> display = std::nullopt, const std::vector<std::string>& arguments = {});
    ~TDemoProcess();  // kills the program if it still runs
    TDemoProcess(const TDemoProcess&) = delete;
    TDemoProcess& operator=(const TDemoProcess&) = delete;

    // Waits for the program's window to be shown; false if it never is.
    bool WaitForWindow(int timeoutMillis);
    TScreenImage Grab() const;

    // Input through xdotool, at window-relative positions.
    void Key(const std::string& keyName) const;
    void Click(int x, int y, int button) const;
    // Asks the window to close, as its close box does.
    void RequestClose() const;

    TExit WaitForExit(int timeoutMillis);
    std::string StandardError() const;
    std::string StandardOutput() const;

private:
    void PointAt(int x, int y) const;
    void Xdotool(const std::string& arguments) const;

    pid_t _pid = -1;
    std::string _stderrPath, _stdoutPath;
    Display* _display = nullptr;
    Window _window = 0;
    int _originX = 0, _originY = 0;  // the client area on the root window
    std::optional<TExit> _exited;
};

// Milliseconds to let the demo run between actions.
void Pause(int millis);

// The whole file; empty if it cannot be read.
std::string FileText(const std::string& path);
