#include "app/recording.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>
#include <string_view>

#include "app/controls.h"

namespace {

constexpr std::string_view MAGIC = "particle-demo recording ";
// The window's client area, where every click of the demo lands.
constexpr std::int32_t WINDOW_WIDTH = 800, WINDOW_HEIGHT = 600;
// Far more than any run's input; a device that never ends is not read forever.
constexpr std::size_t MAX_RECORDING_BYTES = 64u << 20;

struct TKeyName {
    std::int32_t Code;
    const char* Name;
};
constexpr TKeyName KEY_NAMES[] = {
    {demo_keys::DIGIT_1, "1"}, {demo_keys::DIGIT_2, "2"}, {demo_keys::DIGIT_3, "3"}, {demo_keys::SPACE, "space"},
    {demo_keys::PAUSE, "P"},   {demo_keys::STEP, "N"},    {demo_keys::RESTART, "R"}, {demo_keys::KEY_C, "C"},
};

const char* KeyName(std::int32_t code) {
    for (const TKeyName& k : KEY_NAMES)
        if (k.Code == code) return k.Name;
    return nullptr;
}

std::optional<std::int32_t> KeyCode(std::string_view name) {
    for (const TKeyName& k : KEY_NAMES)
        if (name == k.Name) return k.Code;
    return std::nullopt;
}

bool IsDigitKey(std::int32_t code) { return code >= demo_keys::DIGIT_1 && code <= demo_keys::DIGIT_3; }

template <class T>
std::optional<T> Number(std::string_view text) {
    T value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) return words;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
}

// One line of events: the event, or why it is not one.
struct TLine {
    std::int64_t Frame = 0;
    std::optional<TInputEvent> Event;
    bool End = false;
    std::string Error;
};

TLine ParseLine(std::string_view line) {
    const std::vector<std::string_view> w = Words(line);
    TLine parsed;
    const auto frame = Number<std::int64_t>(w[0]);
    if (!frame || *frame < 0 || *frame > INT32_MAX) {
        parsed.Error = "\"" + std::string(w[0]) + "\" is not a frame: give a whole number from 0 to 2147483647";
        return parsed;
    }
    parsed.Frame = *frame;
    TInputEvent event;
    event.Frame = *frame;
    if (w.size() == 2 && w[1] == "end") {
        parsed.End = true;
        if (*frame == 0) parsed.Error = "a run ends after its first frame at the earliest";
    } else if (w.size() == 3 && w[1] == "key") {
        const auto code = KeyCode(w[2]);
        if (!code) {
            parsed.Error = "\"" + std::string(w[2]) + "\" is not a key the scenes read: give 1, 2, 3, space, P, N or R";
            return parsed;
        }
        event.Code = *code;
        if (*frame == 0 && !IsDigitKey(*code))
            parsed.Error = "frame 0, before the first frame, takes only the keys 1, 2 and 3";
    } else if (w.size() == 5 && w[1] == "click" && (w[2] == "left" || w[2] == "right")) {
        event.Kind = TInputEvent::TKind::Click;
        event.Code = w[2] == "left" ? demo_keys::LEFT_BUTTON : demo_keys::RIGHT_BUTTON;
        const auto x = Number<std::int32_t>(w[3]), y = Number<std::int32_t>(w[4]);
        if (!x || !y) {
            parsed.Error = "the click's position is not two whole numbers";
            return parsed;
        }
        event.X = *x;
        event.Y = *y;
        if (*x < 0 || *x >= WINDOW_WIDTH || *y < 0 || *y >= WINDOW_HEIGHT)
            parsed.Error = "the click at (" + std::to_string(*x) + ", " + std::to_string(*y) + ") is outside the " +
                           std::to_string(WINDOW_WIDTH) + " x " + std::to_string(WINDOW_HEIGHT) + " window";
        if (*frame == 0) parsed.Error = "frame 0, before the first frame, takes only the keys 1, 2 and 3";
    } else {
        parsed.Error = "not an event: give FRAME key NAME, FRAME click left|right X Y, or FRAME end";
        return parsed;
    }
    if (!parsed.End) parsed.Event = event;
    return parsed;
}

std::optional<TRecording> ParseRecording(const std::string& text, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(MAGIC, 0) != 0) {
        error = "it is not a recording: its first line is not \"" + std::string(MAGIC) +
                std::to_string(RECORDING_VERSION) + "\"";
        return std::nullopt;
    }
    const std::string version = line.substr(MAGIC.size());
    if (version != std::to_string(RECORDING_VERSION)) {
        error = "it is a recording of version \"" + version + "\"; this program plays version " +
                std::to_string(RECORDING_VERSION);
        return std::nullopt;
    }
    TRecording recording;
    std::int64_t lastFrame = 0;
    std::size_t lastLine = 0, endLine = 0;
    for (std::size_t number = 2; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string_view> words = Words(line);
        if (words.empty() || words[0][0] == '#') continue;
        const std::string where = "line " + std::to_string(number) + " (\"" + line + "\"): ";
        TLine parsed = ParseLine(line);
        if (parsed.Error.empty() && endLine != 0)
            parsed.Error = "it comes after the end, on line " + std::to_string(endLine);
        const std::int64_t frame = parsed.Frame;
        if (parsed.Error.empty() && frame < lastFrame)
            parsed.Error = "frame " + std::to_string(frame) + " is already past: line " + std::to_string(lastLine) +
                           " is for frame " + std::to_string(lastFrame);
        if (!parsed.Error.empty()) {
            error = where + parsed.Error;
            return std::nullopt;
        }
        lastFrame = frame;
        lastLine = number;
        if (parsed.End) {
            recording.End = frame;
            endLine = number;
        } else {
            recording.Events.push_back(*parsed.Event);
        }
    }
    return recording;
}

std::string LineOf(const TInputEvent& event) {
    std::string line = std::to_string(event.Frame);
    if (event.Kind == TInputEvent::TKind::Key) {
        const char* name = KeyName(event.Code);
        return line + " key " + (name != nullptr ? name : "?");
    }
    return line + " click " + (event.Code == demo_keys::LEFT_BUTTON ? "left " : "right ") + std::to_string(event.X) +
           " " + std::to_string(event.Y);
}

}  // namespace

std::optional<TRecording> ReadRecording(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::string("cannot open it: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    std::size_t got = 0;
    while (text.size() <= MAX_RECORDING_BYTES && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        error = std::string("cannot read it: ") + std::strerror(readError);
        return std::nullopt;
    }
    if (text.size() > MAX_RECORDING_BYTES) {
        error = "it is larger than " + std::to_string(MAX_RECORDING_BYTES >> 20) + " MiB: not a recording";
        return std::nullopt;
    }
    return ParseRecording(text, error);
}

TRecordWriter::~TRecordWriter() {
    if (_file != nullptr) std::fclose(_file);
}

bool TRecordWriter::Open(const std::string& path, std::string& error) {
    // Binary: the same bytes, one newline a line, on every platform.
    _file = std::fopen(path.c_str(), "wb");
    if (_file == nullptr) {
        error = std::string("cannot create the file: ") + std::strerror(errno);
        return false;
    }
    std::fprintf(_file, "%.*s%d\n", static_cast<int>(MAGIC.size()), MAGIC.data(), static_cast<int>(RECORDING_VERSION));
    _pending = true;
    EndFrame();
    return true;
}

void TRecordWriter::Write(const TInputEvent& event) {
    if (_file == nullptr) return;
    std::fputs((LineOf(event) + "\n").c_str(), _file);
    _pending = true;
}

void TRecordWriter::EndFrame() {
    if (_file != nullptr && _pending) std::fflush(_file);
    _pending = false;
}

bool TRecordWriter::Finish(std::int64_t lastFrame, std::string& error) {
    if (_file == nullptr) return true;
    std::fprintf(_file, "%lld end\n", static_cast<long long>(lastFrame));
    // Write errors (a full disk) show at the latest when the file is closed.
    const bool flushed = std::fflush(_file) == 0 && std::ferror(_file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(_file) == 0;
    const int closeError = errno;
    _file = nullptr;
    if (flushed && closed) return true;
    error = std::string("cannot write the file: ") + std::strerror(flushed ? closeError : flushError);
    return false;
}

void TReplayInput::BeginFrame(std::int64_t frame) {
    const std::vector<TInputEvent>& events = _recording.Events;
    for (; _next < events.size() && events[_next].Frame <= frame; ++_next) {
        const TInputEvent& e = events[_next];
        if (e.Kind == TInputEvent::TKind::Key) {
            ++_keys[e.Code];
        } else {
            _clicks[e.Code] = e;
        }
    }
}

std::int32_t TReplayInput::TakeKeyHits(std::int32_t key) {
    const auto found = _keys.find(key);
    if (found == _keys.end()) return 0;
    const std::int32_t hits = found->second;
    _keys.erase(found);
    return hits;
}

std::int32_t TReplayInput::TakeMouseHits(std::int32_t button) {
    const auto found = _clicks.find(button);
    if (found == _clicks.end()) return 0;
    _x = found->second.X;
    _y = found->second.Y;
    _clicks.erase(found);
    return 1;
}

void TRecordingInput::EndFrame() {
    WriteClick();
    _writer.EndFrame();
}

std::int32_t TRecordingInput::TakeKeyHits(std::int32_t key) {
    const std::int32_t hits = _input.TakeKeyHits(key);
    if (hits != 0 && KeyName(key) != nullptr) _writer.Write({_frame, TInputEvent::TKind::Key, key, 0, 0});
    return hits;
}

std::int32_t TRecordingInput::TakeMouseHits(std::int32_t button) {
    const std::int32_t hits = _input.TakeMouseHits(button);
    if (hits != 0 && (button == demo_keys::LEFT_BUTTON || button == demo_keys::RIGHT_BUTTON)) {
        WriteClick();
        _click = TInputEvent{_frame, TInputEvent::TKind::Click, button, 0, 0};
    }
    return hits;
}

std::int32_t TRecordingInput::MouseXPos() {
    const std::int32_t x = _input.MouseXPos();
    if (_click) {
        _click->X = x;
        _xRead = true;
    }
    return x;
}

std::int32_t TRecordingInput::MouseYPos() {
    const std::int32_t y = _input.MouseYPos();
    if (_click && _xRead) {
        _click->Y = y;
        _writer.Write(*_click);
        _click.reset();
        _xRead = false;
    }
    return y;
}

void TRecordingInput::WriteClick() {
    if (!_click) return;
    if (!_xRead) _click->X = _input.MouseXPos();
    _click->Y = _input.MouseYPos();
    _writer.Write(*_click);
    _click.reset();
    _xRead = false;
}
