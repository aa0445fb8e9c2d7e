#include "demo_driver.h"

#include <X11/Xutil.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "platform/font_data.h"
#include "platform/png.h"

TScreenImage::Pixel TScreenImage::At(int x, int y) const {
    const std::size_t i =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)) * 3;
    return {Rgb[i], Rgb[i + 1], Rgb[i + 2]};
}

int TScreenImage::CountDominant(int channel, int x0, int y0, int x1, int y1) const {
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

std::string TScreenImage::ReadText(int x, int y, int cells) const {
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

int ParticleCount(const TScreenImage& image) {
    const std::string text = image.ReadText(100, 0, 17);
    if (text.rfind("Particles: ", 0) != 0) return -1;
    const std::string digits = text.substr(11, text.find_first_of(" ,", 11) - 11);  // ", contacts on" may follow
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
}

TScreenImage ImageOfPng(const std::string& path) {
    TScreenImage image;
    const auto rgb = LoadPngPixmap(path);
    if (!rgb || rgb->format != PIXEL_FORMAT_RGB8) return image;
    image.Width = rgb->width;
    image.Height = rgb->height;
    image.Rgb.assign(rgb->pixels, rgb->pixels + rgb->pitch * rgb->height);  // rows of 800 × 3 bytes: no padding
    return image;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TDemoProcess::TDemoProcess(const std::string& program, const std::string& workingDirectory,
                           const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
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

TDemoProcess::~TDemoProcess() {
    Kill();
    if (_display) XCloseDisplay(_display);
    unlink(_stderrPath.c_str());
    unlink(_stdoutPath.c_str());
}

bool TDemoProcess::Running() {
    int status = 0;
    if (_status < 0 && waitpid(_pid, &status, WNOHANG) == _pid)
        _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return _status < 0;
}

int TDemoProcess::WaitForExit() {
    int status = 0;
    if (_status < 0 && waitpid(_pid, &status, 0) == _pid)
        _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return _status;
}

void TDemoProcess::Kill() {
    if (Running()) kill(_pid, SIGKILL);
    WaitForExit();
}

bool TDemoProcess::WaitUntil(const std::function<bool()>& done) {
    while (!done()) {
        if (!Running()) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // between looks, not a verdict
    }
    return true;
}

bool TDemoProcess::WaitForWindow() {
    const std::string search = "search --onlyvisible --pid " + std::to_string(_pid);
    if (!WaitUntil([&] { return (_window = std::strtoul(Xdotool(search).c_str(), nullptr, 10)) != 0; })) return false;
    _display = XOpenDisplay(_displayName.c_str());
    return _display && WaitForImage([](const TScreenImage& image) { return ParticleCount(image) >= 0; }).Width > 0;
}

TScreenImage TDemoProcess::Grab() const {
    TScreenImage image;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(_display, _window, &attributes)) return image;
    XImage* x = XGetImage(_display, _window, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!x) return image;
    image.Width = attributes.width;
    image.Height = attributes.height;
    image.Rgb.reserve(static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height) * 3);
    auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint8_t>(((pixel >> shift) & mask) * 255 / (mask ? mask : 1));
    };
    for (int py = 0; py < image.Height; ++py) {
        for (int px = 0; px < image.Width; ++px) {
            const unsigned long pixel = XGetPixel(x, px, py);
            image.Rgb.push_back(channel(pixel, x->red_mask));
            image.Rgb.push_back(channel(pixel, x->green_mask));
            image.Rgb.push_back(channel(pixel, x->blue_mask));
        }
    }
    XDestroyImage(x);
    return image;
}

TScreenImage TDemoProcess::WaitForImage(const std::function<bool(const TScreenImage&)>& shows) {
    TScreenImage image;
    if (!WaitUntil([&] { return shows(image = Grab()); })) return {};
    return image;
}

std::string TDemoProcess::Xdotool(const std::string& arguments) const {
    std::string output;
    if (FILE* out = popen(("env DISPLAY=" + _displayName + " xdotool " + arguments + " 2>/dev/null").c_str(), "r")) {
        for (int c; (c = std::fgetc(out)) != EOF;) output += static_cast<char>(c);
        pclose(out);
    }
    return output;
}

// The pointer is moved first, in the same stream of requests: with no window
// manager the keyboard follows the pointer, and a press lands where it is.
void TDemoProcess::Key(const std::string& keyName) const {
    Xdotool("mousemove --window " + std::to_string(_window) + " 400 300 key " + keyName);
}

void TDemoProcess::Click(int x, int y, int button) const {
    Xdotool("mousemove --window " + std::to_string(_window) + " " + std::to_string(x) + " " + std::to_string(y) +
            " click " + std::to_string(button));
}

void TDemoProcess::RequestClose() const {
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
