// Drives the real demo on an X server as a person would: starts the
// program, finds its window, sends keys and clicks with xdotool, reads the
// window's pixels back and reads the status text in the program's own font.
// Every wait is for something to happen, and ends if the program ends.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
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
// A PNG the demo saved, as if grabbed from its window.
TScreenImage ImageOfPng(const std::string& path);
// The whole file; empty if it cannot be read.
std::string FileText(const std::string& path);

// A program started by the test (the demo, or an X server of the test's own).
class TDemoProcess {
public:
    // Starts `program` with `arguments` in `workingDirectory`; `environment`
    // sets ("NAME=value") or unsets ("NAME") variables for it alone. The
    // window is looked for on the DISPLAY it gets.
    TDemoProcess(const std::string& program, const std::string& workingDirectory,
                 const std::vector<std::string>& arguments = {}, const std::vector<std::string>& environment = {});
    ~TDemoProcess();  // kills the program if it still runs
    TDemoProcess(const TDemoProcess&) = delete;
    TDemoProcess& operator=(const TDemoProcess&) = delete;

    // Polls `done` until it holds; false if the program ended first.
    bool WaitUntil(const std::function<bool()>& done);
    // Waits for the program's window to show its status line.
    bool WaitForWindow();
    TScreenImage Grab() const;
    // Grabs the window until an image satisfies `shows`; that image, or an
    // empty one if the program ended first.
    TScreenImage WaitForImage(const std::function<bool(const TScreenImage&)>& shows);

    // Input through xdotool, at window-relative positions.
    void Key(const std::string& keyName) const;
    void Click(int x, int y, int button) const;
    // Asks the window to close, as its close box does.
    void RequestClose() const;

    // Waits for the program to end: its exit status, or 128 + the signal.
    int WaitForExit();
    void Kill();
    std::string StandardError() const { return FileText(_stderrPath); }
    std::string StandardOutput() const { return FileText(_stdoutPath); }

private:
    bool Running();
    std::string Xdotool(const std::string& arguments) const;  // its output

    pid_t _pid = -1;
    int _status = -1;  // once it ended
    std::string _stderrPath, _stdoutPath, _displayName;
    Display* _display = nullptr;
    Window _window = 0;
};
