// The demo end to end: started on an X server, driven with keys and clicks
// through xdotool as a person would, judged by what its window shows (read
// back from the X server, the status text read in the program's own font), by
// the screenshots it saves and by the end line a run prints, which holds the
// checksum of the world on show. Every wait is for something to happen, and
// ends if the program ends.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/font_data.h"
#include "platform/png.h"
#include "tests/image/png_writer.h"

namespace {

const std::string DEMO = PARTICLE_DEMO_BINARY;
const std::string DEMO_DIR = PARTICLE_DEMO_DIR;  // holds Metaball.png
const std::string DATA = PARTICLE_DEMO_TEST_DATA;
const std::string HEAD = "particle-demo recording 1\n";
// Scene 1 as built, shown paused in its first frame.
const std::string BUILT = "particles 2006 checksum 6badeffddde20c03\n";

// The whole file; empty if it cannot be read.
std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

// The window's pixels, or a screenshot's, as 8-bit RGB.
struct TScreenImage {
    int Width = 0, Height = 0;
    std::vector<std::uint8_t> Rgb;  // row by row, top row first

    struct Pixel {
        int R, G, B;
    };
    Pixel At(int x, int y) const {
        const std::size_t i =
            (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)) * 3;
        return {Rgb[i], Rgb[i + 1], Rgb[i + 2]};
    }

    // Pixels in the rectangle whose strongest channel is `channel` (0 red,
    // 1 green, 2 blue), by a clear margin over the other two.
    int CountDominant(int channel, int x0, int y0, int x1, int y1) const {
        int count = 0;
        for (int y = std::max(y0, 0); y < std::min(y1, Height); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x1, Width); ++x) {
                const Pixel p = At(x, y);
                const int c[3] = {p.R, p.G, p.B};
                const int other = std::max(c[(channel + 1) % 3], c[(channel + 2) % 3]);
                if (c[channel] > 100 && c[channel] > other + 80) ++count;
            }
        }
        return count;
    }

    // The characters of the program's font in a row of 8 × 16 cells from
    // (x, y): white glyph pixels on black; '?' for a cell that matches none.
    std::string ReadText(int x, int y, int cells) const {
        std::string text;
        for (int cell = 0; cell < cells; ++cell) {
            char found = '?';
            for (std::size_t glyph = 0; glyph < FONT_GLYPH_COUNT && found == '?'; ++glyph) {
                bool same = x + cell * 8 + 8 <= Width && y + 16 <= Height;
                for (std::size_t row = 0; row < FONT_GLYPH_HEIGHT && same; ++row) {
                    const std::uint8_t bits = FontData[row * FONT_GLYPH_COUNT + glyph];
                    for (std::size_t column = 0; column < FONT_GLYPH_WIDTH && same; ++column) {
                        const Pixel p = At(x + cell * 8 + static_cast<int>(column), y + static_cast<int>(row));
                        const bool lit = p.R > 128 && p.G > 128 && p.B > 128;
                        same = lit == (((bits >> column) & 1u) != 0);
                    }
                }
                if (same) found = static_cast<char>(32 + glyph);
            }
            text += found;
        }
        return text;
    }
};

// The number after "Particles: " in the status line; -1 if unreadable.
int ParticleCount(const TScreenImage& image) {
    const std::string text = image.ReadText(100, 0, 17);
    if (text.rfind("Particles: ", 0) != 0) return -1;
    const std::string digits = text.substr(11, text.find_first_of(" ,", 11) - 11);  // ", contacts on" may follow
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
}

// A PNG the demo saved, as if grabbed from its window.
TScreenImage ImageOfPng(const std::string& path) {
    TScreenImage image;
    const auto rgb = LoadPngPixmap(path);
    if (!rgb || rgb->format != PIXEL_FORMAT_RGB8) return image;
    image.Width = rgb->width;
    image.Height = rgb->height;
    image.Rgb.assign(rgb->pixels, rgb->pixels + rgb->pitch * rgb->height);  // rows of 800 × 3 bytes: no padding
    return image;
}

// A program started by the test (the demo, or an X server of the test's own).
class TDemoProcess {
public:
    // Starts `program` with `arguments` in `workingDirectory`; `environment`
    // sets ("NAME=value") or unsets ("NAME") variables for it alone. The
    // window is looked for on the DISPLAY it gets.
    TDemoProcess(const std::string& program, const std::string& workingDirectory,
                 const std::vector<std::string>& arguments = {}, const std::vector<std::string>& environment = {}) {
        char errPath[] = "/tmp/particle-demo-stderr-XXXXXX";
        char outPath[] = "/tmp/particle-demo-stdout-XXXXXX";
        const int errFd = mkstemp(errPath);
        const int outFd = errFd < 0 ? -1 : mkstemp(outPath);
        if (errFd < 0 || outFd < 0) throw std::runtime_error("cannot make files for the demo's output");
        _stderrPath = errPath;
        _stdoutPath = outPath;
        const char* display = std::getenv("DISPLAY");
        _displayName = display ? display : "";
        for (const std::string& variable : environment)
            if (variable.rfind("DISPLAY=", 0) == 0) _displayName = variable.substr(8);
        std::vector<char*> argv;  // built before the fork: the child only execs
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        _pid = fork();
        if (_pid == 0) {
            // A test killed for taking too long takes the demo with it.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(125);
            dup2(errFd, STDERR_FILENO);
            dup2(outFd, STDOUT_FILENO);
            if (chdir(workingDirectory.c_str()) != 0) _exit(126);
            for (const std::string& variable : environment) {
                const std::size_t equals = variable.find('=');
                if (equals == std::string::npos)
                    unsetenv(variable.c_str());
                else
                    setenv(variable.substr(0, equals).c_str(), variable.c_str() + equals + 1, 1);
            }
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(errFd);
        close(outFd);
        // A window listed a moment ago may be gone when it is asked about (the
        // window of a demo that just ended): that answer is an error, which must
        // not end the test as Xlib's default handler would.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }

    // Kills the program if it still runs.
    ~TDemoProcess() {
        Kill();
        if (_display) XCloseDisplay(_display);
        unlink(_stderrPath.c_str());
        unlink(_stdoutPath.c_str());
    }
    TDemoProcess(const TDemoProcess&) = delete;
    TDemoProcess& operator=(const TDemoProcess&) = delete;

    // Polls `done` until it holds; false if the program ended first.
    bool WaitUntil(const std::function<bool()>& done) {
        while (!done()) {
            if (!Running()) return done();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // between looks, not a verdict
        }
        return true;
    }

    // Waits for the program's window to show its status line.
    bool WaitForWindow() {
        const std::string search = "search --onlyvisible --pid " + std::to_string(_pid);
        if (!WaitUntil([&] { return (_window = std::strtoul(Xdotool(search).c_str(), nullptr, 10)) != 0; }))
            return false;
        _display = XOpenDisplay(_displayName.c_str());
        return _display && WaitForImage([](const TScreenImage& image) { return ParticleCount(image) >= 0; }).Width > 0;
    }

    // The window as the X server shows it, on a visual of 8 bits a channel.
    TScreenImage Grab() const {
        TScreenImage image;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(_display, _window, &attributes)) return image;
        XImage* x = XGetImage(_display, _window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (!x) return image;
        image.Width = attributes.width;
        image.Height = attributes.height;
        for (int py = 0; py < image.Height; ++py)
            for (int px = 0; px < image.Width; ++px)
                for (const unsigned long mask : {x->red_mask, x->green_mask, x->blue_mask})
                    image.Rgb.push_back(static_cast<std::uint8_t>((XGetPixel(x, px, py) & mask) * 255 / mask));
        XDestroyImage(x);
        return image;
    }

    // Grabs the window until an image satisfies `shows`; that image, or an
    // empty one if the program ended first.
    TScreenImage WaitForImage(const std::function<bool(const TScreenImage&)>& shows) {
        TScreenImage image;
        if (!WaitUntil([&] { return shows(image = Grab()); })) return {};
        return image;
    }

    // Input at window-relative positions. The pointer is moved first, in the
    // same stream of requests: with no window manager the keyboard follows
    // the pointer, and a press lands where it is.
    void Key(const std::string& keyName) const {
        Xdotool("mousemove --window " + std::to_string(_window) + " 400 300 key " + keyName);
    }
    void Click(int x, int y, int button) const {
        Xdotool("mousemove --window " + std::to_string(_window) + " " + std::to_string(x) + " " + std::to_string(y) +
                " click " + std::to_string(button));
    }

    // Asks the window to close, as its close box does.
    void RequestClose() const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = _window;
        event.xclient.message_type = XInternAtom(_display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(_display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(_display, _window, False, NoEventMask, &event);
        XFlush(_display);
    }

    // Waits for the program to end: its exit status, or 128 + the signal.
    int WaitForExit() {
        Running(true);
        return _status;
    }

    void Kill() {
        if (Running()) kill(_pid, SIGKILL);
        WaitForExit();
    }

    std::string StandardError() const { return FileText(_stderrPath); }
    std::string StandardOutput() const { return FileText(_stdoutPath); }

private:
    // Whether the program still runs, once it ended if `block`.
    bool Running(bool block = false) {
        int status = 0;
        if (_status < 0 && waitpid(_pid, &status, block ? 0 : WNOHANG) == _pid)
            _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return _status < 0;
    }

    // xdotool's output.
    std::string Xdotool(const std::string& arguments) const {
        std::string output;
        if (FILE* out =
                popen(("env DISPLAY=" + _displayName + " xdotool " + arguments + " 2>/dev/null").c_str(), "r")) {
            for (int c; (c = std::fgetc(out)) != EOF;) output += static_cast<char>(c);
            pclose(out);
        }
        return output;
    }

    pid_t _pid = -1;
    int _status = -1;  // once it ended
    std::string _stderrPath, _stdoutPath, _displayName;
    Display* _display = nullptr;
    Window _window = 0;
};

// The last line of a run's standard output: "scene S frame F particles N
// checksum C"; empty if there is none.
std::string EndLine(const std::string& out) {
    static const std::regex line("scene [1-3] frame [0-9]+ particles [0-9]+ checksum [0-9a-f]{16}\n$");
    std::smatch m;
    return std::regex_search(out, m, line) ? m.str() : "";
}

// Runs the demo to its end: its exit status and end line.
std::pair<int, std::string> RunDemo(const std::vector<std::string>& arguments,
                                    const std::vector<std::string>& env = {}) {
    TDemoProcess demo(DEMO, DEMO_DIR, arguments, env);
    const int code = demo.WaitForExit();
    return {code, EndLine(demo.StandardOutput())};
}

}  // namespace

// A person's keys and clicks act on the scene on show, which the window
// shows; they are recorded, and the recording replays to the run's own end.
// P comes first, so that nothing pours and the counts on screen hold still.
TEST(DemoLive, KeysAndClicksActOnTheSceneOnShowAndAreRecorded) {
    const std::string record = ::testing::TempDir() + "live.rec", shot = ::testing::TempDir() + "live.png";
    std::filesystem::remove(shot);  // none from an earlier run
    TDemoProcess demo(DEMO, DEMO_DIR, {"--record", record, "--frames", "1000000", "--screenshot", shot});
    ASSERT_TRUE(demo.WaitForWindow()) << demo.StandardError();
    auto recorded = [&](const std::string& event) {
        return demo.WaitUntil([&] { return FileText(record).find(" " + event + "\n") != std::string::npos; });
    };
    auto countChanged = [&](int from) {  // once the window shows another count: that count
        return ParticleCount(demo.WaitForImage([&](const TScreenImage& i) {
            const int count = ParticleCount(i);
            return count >= 0 && count != from;
        }));
    };
    // Scene 1 pours blue liquid left of the pillar, in rows of 16, beside the
    // red block. 20 rows take 80 frames, more than a second at 60 a second:
    // by then the frame rate shows.
    TScreenImage image = demo.WaitForImage([](const TScreenImage& i) { return ParticleCount(i) >= 2006 + 20 * 16; });
    ASSERT_EQ(image.Width * image.Height, 800 * 600);
    EXPECT_TRUE(image.ReadText(0, 0, 6) > "FPS: 0" && image.ReadText(0, 0, 6) <= "FPS: 9") << image.ReadText(0, 0, 6);
    EXPECT_GT(image.CountDominant(2, 0, 200, 280, 560), 3000);
    EXPECT_GT(image.CountDominant(0, 280, 480, 560, 560), 3000);
    EXPECT_NE(image.ReadText(16, 32, 4), "Keys");  // the help is hidden
    demo.Key("p");
    const int paused =
        ParticleCount(demo.WaitForImage([](const TScreenImage& i) { return i.ReadText(336, 0, 6) == "Paused"; }));
    EXPECT_EQ((paused - 2006) % 16, 0);
    demo.Key("space");
    ASSERT_TRUE(recorded("key space"));
    demo.Click(650, 100, 1);
    EXPECT_EQ(countChanged(paused), paused + 147);  // a red block of 7 × 21
    demo.Click(700, 300, 3);
    EXPECT_EQ(countChanged(paused + 147), paused + 147 + 81);  // a wall of 9 × 9
    const TScreenImage::Pixel wall = demo.Grab().At(720, 320);
    EXPECT_TRUE(std::abs(wall.R - 254) <= 3 && std::abs(wall.G - 128) <= 3 && std::abs(wall.B - 128) <= 3);
    demo.Key("n");
    ASSERT_TRUE(recorded("key N"));
    // Scene 2 as built; then scene 3, where a click right of the green bar
    // drops a 40 × 150 box; then scene 1 as it was left.
    demo.Key("2");
    EXPECT_EQ(countChanged(paused + 147 + 81), 7965);
    demo.Key("3");
    EXPECT_EQ(countChanged(7965), 427);
    demo.Click(700, 150, 1);
    EXPECT_EQ(countChanged(427), 427 + 95);
    demo.Key("1");
    EXPECT_EQ(countChanged(427 + 95), paused + 147 + 81);
    // H shows the help; R builds scene 1 again, still paused; C turns its
    // contacts on.
    demo.Key("h");
    demo.Key("r");
    EXPECT_EQ(countChanged(paused + 147 + 81), 2006);
    demo.Key("c");
    ASSERT_TRUE(recorded("key C"));
    demo.Key("Escape");
    ASSERT_EQ(demo.WaitForExit(), 0) << demo.StandardError();

    // The screenshot is the frame on show when Escape came.
    const TScreenImage saved = ImageOfPng(shot);
    EXPECT_EQ(saved.ReadText(100, 0, 28), "Particles: 2006, contacts on");
    EXPECT_EQ(saved.ReadText(336, 0, 6) + saved.ReadText(16, 32, 4), "PausedKeys");
    EXPECT_GT(saved.CountDominant(0, 280, 480, 560, 560), 3000);
    // H changes no scene, so it is not in the recording.
    const std::string text = FileText(record);
    const std::string f = "[0-9]+ ";
    EXPECT_TRUE(std::regex_match(
        text, std::regex(HEAD + "0 key 1\n" + f + "key P\n" + f + "key space\n" + f + "click left 650 100\n" + f +
                         "click right 700 300\n" + f + "key N\n" + f + "key 2\n" + f + "key 3\n" + f +
                         "click left 700 150\n" + f + "key 1\n" + f + "key R\n" + f + "key C\n" + f + "end\n")))
        << text;
    // Restarted while paused: the world as built, whatever came before.
    const std::string live = EndLine(demo.StandardOutput());
    EXPECT_TRUE(std::regex_match(live, std::regex("scene 1 frame [0-9]+ " + BUILT))) << live;
    EXPECT_EQ(RunDemo({"--replay", record}).second, live);
}

// Recordings replay to the end lines they were made with, on any number of
// threads. session.rec runs through the three scenes with clicks, space, R,
// P and N, and ends in scene 3 with the bar and two boxes (one laid while
// paused); the browser and Windows builds must print its end line too. With
// --contacts, boxes dropped onto the bar once it has landed come to rest on
// it.
TEST(DemoReplay, RecordingsEndOnTheirEndLines) {
    struct Case {
        std::vector<std::string> arguments, env;
        std::string end;
    };
    const std::string session = FileText(DATA + "/session.end");
    const std::vector<Case> cases = {
        {{"--replay", DATA + "/session.rec"}, {"SPH_THREADS=1"}, session},
        {{"--replay", DATA + "/session.rec"}, {"SPH_THREADS=2"}, session},
        {{"--replay", WriteFile("built.rec", HEAD + "1 key P\n1 end\n")}, {}, "scene 1 frame 1 " + BUILT},
        // A block, then R and P in one frame: the scene as built, unstepped.
        {{"--replay", WriteFile("restart.rec", HEAD + "10 click left 450 120\n30 key R\n30 key P\n40 end\n")},
         {},
         "scene 1 frame 40 " + BUILT},
        // The frame of P does not step and N steps once: 49 + 1 steps.
        {{"--replay", WriteFile("paused.rec", HEAD + "0 key 2\n50 key P\n80 key N\n100 end\n")},
         {},
         "scene 2 frame 100 particles 7965 checksum af99689ce857c220\n"},
        {{"--scene", "2", "--frames", "50"}, {}, "scene 2 frame 50 particles 7965 checksum af99689ce857c220\n"},
        {{"--contacts", "--replay",
          WriteFile("boxes.rec", HEAD + "0 key 3\n150 click left 230 300\n151 click left 330 300\n152 click left 430 "
                                        "300\n600 end\n")},
         {},
         "scene 3 frame 600 particles 712 checksum 23eae0a9a09c861b\n"},
    };
    for (const Case& c : cases) {
        const auto [code, end] = RunDemo(c.arguments, c.env);
        EXPECT_EQ(code, 0) << c.end;
        EXPECT_EQ(end, c.end) << c.arguments.back();
    }
}

// --frames ends the run by itself and --screenshot saves its last frame, of
// the scene --scene asked for; --fps-log says a line a second.
TEST(DemoCommandLine, ScreenshotsShowTheSceneAskedFor) {
    const std::string shot = ::testing::TempDir() + "demo_scene_2.png";
    std::filesystem::remove(shot);
    TDemoProcess two(DEMO, DEMO_DIR, {"--scene", "2", "--frames", "90", "--screenshot", shot, "--fps-log"});
    EXPECT_EQ(two.WaitForExit(), 0) << two.StandardError();
    TScreenImage image = ImageOfPng(shot);
    EXPECT_EQ(ParticleCount(image), 7965);                         // its emitters start switched off
    EXPECT_GT(image.CountDominant(0, 0, 300, 260, 600), 20000);    // red on the left
    EXPECT_GT(image.CountDominant(2, 270, 300, 530, 600), 20000);  // blue in the middle
    EXPECT_GT(image.CountDominant(1, 540, 300, 800, 600), 20000);  // green on the right
    // 90 frames take at least 1.4 s: a line at least; then the end line.
    const std::string log = two.StandardOutput(), ms = " [0-9]+\\.[0-9]{2}";
    EXPECT_TRUE(std::regex_match(
        log, std::regex("(scene 2 fps [1-9][0-9]* particles 7965 draw (gl|cpu) step-ms" + ms + " draw-ms" + ms +
                        " show-ms" + ms + "\n)+scene 2 frame 90 particles 7965 checksum [0-9a-f]{16}\n")))
        << log;

    // Started in a folder without the sprite, it finds the one beside it, and
    // a relative screenshot path means the folder it was started in. One
    // frame of scene 3, with no frame of scene 1 before it.
    const std::string dir = ::testing::TempDir() + "elsewhere";
    std::filesystem::create_directories(dir);
    TDemoProcess three(DEMO, dir, {"--frames=1", "--scene=3", "--screenshot=here.png"});
    EXPECT_EQ(three.WaitForExit(), 0) << three.StandardError();
    image = ImageOfPng(dir + "/here.png");
    EXPECT_EQ(ParticleCount(image), 427);
    EXPECT_GT(image.CountDominant(1, 100, 40, 600, 110), 10000);  // the bar, where it starts
    std::filesystem::remove_all(dir);
}

// What the demo cannot start with ends it with one line saying what and
// where: status 2 for input it cannot take, refused before the window opens
// (given no display, it would fail on that next), and 1 for a file it
// cannot write or a sprite image it cannot use: none in either place it
// looks (a copy of the program alone in a folder, started in "/"), one far
// too large for any texture.
TEST(DemoStartUp, WhatItCannotStartWithEndsItWithOneLine) {
    const std::string temp = ::testing::TempDir(), missing = temp + "no_such_folder", lone = temp + "lone_demo/";
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
        int code = 2;
        std::vector<std::string> env = {"DISPLAY", "SPH_THREADS"};
        std::string program = DEMO, folder = DEMO_DIR, also = "";  // also: what follows `says`
    };
    std::vector<Case> cases = {
        {{"--replay", missing}, "\"" + missing + "\": cannot open it: No such file or directory"},
        {{"--replay", temp}, "cannot read it: Is a directory"},
        {{"--replay", WriteFile("v2.rec", "particle-demo recording 2\n9 end\n")}, "version \"2\"; this program"},
        {{"--replay", WriteFile("png.rec", "\x89PNG\r\n")}, "it is not a recording"},
        {{"--replay", WriteFile("bad.rec", HEAD + "5 key space\n\n7 jump\n")}, "line 4 (\"7 jump\"): not an event"},
        {{"--replay", WriteFile("key.rec", HEAD + "5 key Q\n")}, "line 2 (\"5 key Q\"): \"Q\" is not a key"},
        {{"--replay", WriteFile("past.rec", HEAD + "20 key P\n10 key P\n")},
         "line 3 (\"10 key P\"): frame 10 is already past: line 2 is for frame 20"},
        {{"--replay", WriteFile("out.rec", HEAD + "5 click left 800 10\n")}, "outside the 800 x 600 window"},
        {{"--replay", WriteFile("late.rec", HEAD + "5 end\n6 key P\n")}, "line 3 (\"6 key P\"): it comes after"},
        {{"--frames", "1"}, "SPH_THREADS: \"many\" is not a number of threads", 2, {"DISPLAY", "SPH_THREADS=many"}},
        {{"--frames", "1"}, "SPH_THREADS: \"0\"", 2, {"DISPLAY", "SPH_THREADS=0"}},
        {{"--frames", "1"}, "SPH_THREADS: \"65\"", 2, {"DISPLAY", "SPH_THREADS=65"}},
        {{"--record", missing + "/x.rec"}, "cannot write the recording", 1},
        {{"--screenshot", missing + "/shot.png"},
         "cannot save the screenshot \"" + missing + "/shot.png\": cannot create the file: No such file or directory",
         1},
        {{}, "display", 1},
    };
    std::filesystem::create_directories(lone);
    std::filesystem::copy_file(DEMO, lone + "particle-demo", std::filesystem::copy_options::overwrite_existing);
    const std::string sprite = "cannot load the sprite image \"Metaball.png\": ";
    cases.push_back({{},
                     sprite + "cannot open it in the working folder, / (No such file or directory), nor next to the " +
                         "program, in " + std::filesystem::canonical(lone).string() + "/ (No such file or directory)",
                     1,
                     {},
                     lone + "particle-demo",
                     "/"});
    const std::string huge = temp + "huge_sprite";
    std::filesystem::create_directories(huge);
    ASSERT_TRUE(WriteUniformRgbaPng(huge + "/Metaball.png", 5000, 13421, 0xffffff80u));  // just under the pixel limit
    cases.push_back({{}, sprite, 1, {}, DEMO, huge, "5000 x 13421"});
    for (const Case& c : cases) {
        TDemoProcess demo(c.program, c.folder, c.arguments, c.env);
        const int code = demo.WaitForExit();
        std::string err = demo.StandardError();
        if (err.rfind("particle-demo: drawing ", 0) == 0) err = err.substr(err.find('\n') + 1);  // the window opened
        EXPECT_EQ(code, c.code) << c.says << ": " << err;
        EXPECT_EQ(err.rfind("particle-demo: ", 0), 0u) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_NE(err.find(c.also, err.find(c.says) + c.says.size()), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "not one line: " << err;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    std::filesystem::remove_all(huge);
    std::filesystem::remove_all(lone);

    // A wrong argument: one line naming it, then the usage --help prints.
    TDemoProcess help(DEMO, DEMO_DIR, {"--help"});
    EXPECT_EQ(help.WaitForExit(), 0);
    const std::string usage = help.StandardOutput();
    EXPECT_NE(usage.find("--draw gl|cpu|auto"), std::string::npos) << usage;
    TDemoProcess wrong(DEMO, DEMO_DIR, {"--scene", "2", "--draw", "vulkan"});
    EXPECT_EQ(wrong.WaitForExit(), 2);
    EXPECT_EQ(wrong.StandardError(),
              "particle-demo: --draw: \"vulkan\" is not a drawing path: give gl, cpu or auto\n" + usage);
}

// The close box ends the demo as Escape does. Losing its X server ends it
// with one line, and a server that is gone is named.
TEST(DemoStartUp, TheCloseBoxEndsItAndALostServerIsNamed) {
    TDemoProcess closed(DEMO, DEMO_DIR);
    ASSERT_TRUE(closed.WaitForWindow()) << closed.StandardError();
    closed.RequestClose();
    EXPECT_EQ(closed.WaitForExit(), 0) << closed.StandardError();

    // An X server of the test's own, which it can take away under the demo:
    // it writes the number it picked, then a newline, once it accepts clients.
    TDemoProcess server("/usr/bin/Xvfb", "/", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(server.WaitUntil([&] { return server.StandardOutput().find('\n') != std::string::npos; }));
    const std::string display = ":" + server.StandardOutput().substr(0, server.StandardOutput().find('\n'));
    TDemoProcess demo(DEMO, DEMO_DIR, {}, {"DISPLAY=" + display});
    // The line saying which path draws comes once the window is open.
    ASSERT_TRUE(demo.WaitUntil([&] { return demo.StandardError().find('\n') != std::string::npos; }));
    const std::string drawing = demo.StandardError();
    server.Kill();
    EXPECT_EQ(demo.WaitForExit(), 1);
    EXPECT_EQ(demo.StandardError(),
              drawing + "particle-demo: the connection to the X display \"" + display + "\" was lost\n");

    TDemoProcess again(DEMO, DEMO_DIR, {}, {"DISPLAY=" + display});
    EXPECT_EQ(again.WaitForExit(), 1);
    EXPECT_EQ(again.StandardError(),
              "particle-demo: the X display \"" + display + "\" could not be opened: Connection refused\n");
}
