#include "app/options.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>

namespace {

std::string Quoted(std::string_view text) {
    // Appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on
    // a literal + std::string.
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
}

// A whole decimal number from `low` to `high`, nothing before or after it.
std::optional<std::int32_t> WholeNumber(std::string_view text, std::int32_t low, std::int32_t high) {
    std::int32_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() == '-' || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

bool EndsWithPng(std::string_view name) {
    if (name.size() <= 4) return false;
    std::string suffix(name.substr(name.size() - 4));
    for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return suffix == ".png";
}

// Reads one option and its value into `options`; returns the error line, or
// nothing when the option and its value are good.
std::optional<std::string> ApplyOption(std::string_view name, std::string_view value, TDemoOptions& options) {
    const std::string bad = std::string(name) + ": " + Quoted(value) + " ";
    if (name == "--scene") {
        const auto scene = WholeNumber(value, 1, 3);
        if (!scene) return bad + "is not a scene: give 1, 2 or 3";
        options.Scene = *scene;
    } else if (name == "--frames") {
        const auto frames = WholeNumber(value, 1, std::numeric_limits<std::int32_t>::max());
        if (!frames) return bad + "is not a number of frames: give a whole number from 1 to 2147483647";
        options.Frames = *frames;
    } else if (name == "--screenshot") {
        if (!EndsWithPng(value)) return bad + "is not a PNG file name: give one ending in .png";
        options.Screenshot = value;
    } else if (name == "--draw") {
        if (value == "gl") {
            options.Draw = TDrawChoice::Gl;
        } else if (value == "cpu") {
            options.Draw = TDrawChoice::Cpu;
        } else if (value == "auto") {
            options.Draw = TDrawChoice::Auto;
        } else {
            return bad + "is not a drawing path: give gl, cpu or auto";
        }
    } else if (name == "--record" || name == "--replay") {
        if (value.empty()) return bad + "is not a file name";
        (name == "--record" ? options.Record : options.Replay) = value;
    }
    return std::nullopt;
}

bool TakesValue(std::string_view name) {
    return name == "--scene" || name == "--frames" || name == "--screenshot" || name == "--draw" ||
           name == "--record" || name == "--replay";
}

bool IsFlag(std::string_view name) {
    return name == "--fps-log" || name == "--contacts" || name == "--help" || name == "-h";
}

TCommandLine Refuse(std::string line) {
    TCommandLine result;
    result.Action = TCommandLine::TAction::Error;
    result.Error = std::move(line);
    return result;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    TCommandLine result;
    bool help = false;
    bool sceneGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const std::size_t equals = argument.rfind("--", 0) == 0 ? argument.find('=') : std::string_view::npos;
        const std::string_view name = argument.substr(0, equals);

        if (IsFlag(name)) {
            if (equals != std::string_view::npos) return Refuse(std::string(name) + " takes no value");
            if (name == "--fps-log") {
                result.Options.FpsLog = true;
            } else if (name == "--contacts") {
                result.Options.Contacts = true;
            } else {
                help = true;
            }
            continue;
        }
        if (!TakesValue(name)) {
            if (argument.rfind("-", 0) == 0) return Refuse("unknown option " + Quoted(argument));
            return Refuse("unexpected argument " + Quoted(argument) + ": every value follows its option");
        }

        std::string_view value;
        if (equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
            // An argument that starts with "--" is the next option, not a value.
            value = arguments[++i];
        } else {
            return Refuse(std::string(name) + " needs a value");
        }
        if (auto error = ApplyOption(name, value, result.Options)) return Refuse(std::move(*error));
        sceneGiven = sceneGiven || name == "--scene";
    }
    // A recording starts on the scene it was made on.
    if (sceneGiven && !result.Options.Replay.empty())
        return Refuse("--scene cannot go with --replay: the recording says which scene it starts on");
    // Help wins over the other options, but not over a wrong one: a script
    // that asks for help with a typo hears about the typo.
    if (help) result.Action = TCommandLine::TAction::Help;
    return result;
}

std::string UsageText() {
    return "usage: particle-demo [options]\n"
           "  --scene N               start on scene N: 1, 2 or 3 (default 1)\n"
           "  --frames N              quit after N frames, with exit status 0\n"
           "  --screenshot FILE.png   save the window as a PNG file after the last frame\n"
           "  --draw gl|cpu|auto      draw the sprites through the GL or on the CPU; auto (the\n"
           "                          default) draws on the CPU where the GL is a software one\n"
           "  --contacts              start with contacts of rigid bodies on in every scene: they\n"
           "                          rest on one another, on walls and on solids (key C toggles\n"
           "                          them in the scene on show)\n"
           "  --fps-log               print a line a second to standard output:\n"
           "                          scene N fps N particles N draw gl|cpu\n"
           "                          step-ms T draw-ms T show-ms T\n"
           "                          (T: the mean milliseconds of the frames since the line\n"
           "                          before to step, to draw world and text, and to show)\n"
           "  --record FILE           write every key and click that changes the scenes to FILE,\n"
           "                          with the frame it acted in\n"
           "  --replay FILE           play a recording instead of the keyboard and mouse (Escape\n"
           "                          and the close box still quit); ends where the recording ends\n"
           "  --help                  show this list and quit\n"
           "With --frames or --replay the last line on standard output is\n"
           "  scene N frame F particles P checksum H\n"
           "(H: the checksum of the scene's particles, 16 hexadecimal digits).\n"
           "A value follows its option as the next argument or after '=' (--scene=2).\n";
}
