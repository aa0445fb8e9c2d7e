#include "demo_driver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/font_data.h"

void Pause(int millis) { std::this_thread::sleep_for(std::chrono::milliseconds(millis)); }

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
            bool same = true;
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

TDemoProcess::TDemoProcess(const std::string& program, const std::string& workingDirectory,
                           std::optional<std::string> display, const std::vector<std::string>& arguments) {
    char errPath[] = "/tmp/particle-demo-stderr-XXXXXX";
    char outPath[] = "/tmp/particle-demo-stdout-XXXXXX";
    const int errFd = mkstemp(errPath);
    const int outFd = errFd < 0 ? -1 : mkstemp(outPath);
    if (errFd < 0 || outFd < 0) throw std::runtime_error("cannot make files for the demo's output");
    _stderrPath = errPath;
    _stdoutPath = outPath;
    std::vector<char*> argv;  // built before the fork: the child only execs
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    _pid = fork();
    if (_pid == 0) {
        dup2(errFd, STDERR_FILENO);
        dup2(outFd, STDOUT_FILENO);
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        if (display) {
            if (display->empty())
                unsetenv("DISPLAY");
            else
                setenv("DISPLAY", display->c_str(), 1);
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
    _display = XOpenDisplay(nullptr);
}

TDemoProcess::~TDemoProcess() {
    if (!_exited && _pid > 0) {
        kill(_pid, SIGKILL);
        waitpid(_pid, nullptr, 0);
    }
    if (_display) XCloseDisplay(_display);
    if (!_stderrPath.empty()) unlink(_stderrPath.c_str());
    if (!_stdoutPath.empty()) unlink(_stdoutPath.c_str());
}

namespace {

long WindowPid(Display* display, Window window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return -1;
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) ==
            Success &&
        data && items == 1)
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return pid;
}

}  // namespace

bool TDemoProcess::WaitForWindow(int timeoutMillis) {
    if (!_display) return false;
    for (int waited = 0; waited < timeoutMillis; waited += 100) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(_display, DefaultRootWindow(_display), &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count && !_window; ++i) {
            XWindowAttributes attributes;
            if (WindowPid(_display, children[i]) == _pid && XGetWindowAttributes(_display, children[i], &attributes) &&
                attributes.map_state == IsViewable)
                _window = children[i];
        }
        if (children) XFree(children);
        if (_window) {
            Window child;
            XTranslateCoordinates(_display, _window, DefaultRootWindow(_display), 0, 0, &_originX, &_originY, &child);
            Pause(300);  // let the first frames come
            return true;
        }
        Pause(100);
    }
    return false;
}

TScreenImage TDemoProcess::Grab() const {
    TScreenImage image;
    XWindowAttributes attributes;
    XGetWindowAttributes(_display, _window, &attributes);
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

void TDemoProcess::Xdotool(const std::string& arguments) const {
    const std::string command = "xdotool " + arguments + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("xdotool failed: " + command);
}

void TDemoProcess::PointAt(int x, int y) const {
    Xdotool("mousemove " + std::to_string(_originX + x) + " " + std::to_string(_originY + y));
}

void TDemoProcess::Key(const std::string& keyName) const {
    PointAt(400, 300);  // with no window manager, the keyboard follows the pointer
    Xdotool("key " + keyName);
}

void TDemoProcess::Click(int x, int y, int button) const {
    PointAt(x, y);
    Pause(50);  // let the move arrive before the press
    Xdotool("click " + std::to_string(button));
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

TExit TDemoProcess::WaitForExit(int timeoutMillis) {
    for (int waited = 0; !_exited && waited <= timeoutMillis; waited += 50) {
        int status = 0;
        if (waitpid(_pid, &status, WNOHANG) == _pid) {
            _exited = TExit{true, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
            break;
        }
        Pause(50);
    }
    return _exited.value_or(TExit{});
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TDemoProcess::StandardError() const { return FileText(_stderrPath); }

std::string TDemoProcess::StandardOutput() const { return FileText(_stdoutPath); }
