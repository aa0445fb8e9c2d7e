// The demo program: reads its command line, opens the window, builds the
// three scenes and runs the frame loop until Escape, the window's close box,
// the number of frames asked for or the end of the recording it replays.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/draw_choice.h"
#include "app/frame_drawer.h"
#include "app/frame_rate.h"
#include "app/graphics_setup.h"
#include "app/options.h"
#include "app/recording.h"
#include "app/scenes.h"
#include "app/step_threads.h"
#include "app/world_checksum.h"
#include "platform/console.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/png.h"
#include "platform/timer.h"
#include "platform/window_pixels.h"
#ifdef __EMSCRIPTEN__
#include "app/canvas_frames.h"
#else
#include "app/surface_frames.h"
#endif

namespace {

// A failure at start-up or when saving a screenshot: one line on standard
// error, then a non-zero exit.
[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "particle-demo: %s\n", what.c_str());
    std::exit(EXIT_FAILURE);
}

// Input the run cannot start with (a recording, the environment): one line
// and the status of a wrong command line, before the window opens.
[[noreturn]] void Refuse(const std::string& what) {
    std::fprintf(stderr, "particle-demo: %s\n", what.c_str());
    std::exit(COMMAND_LINE_EXIT);
}

// The sprite as a texture, for drawing through the GL.
std::int32_t LoadSpriteOrFail() {
    std::string error;
    const std::int32_t texture = LoadSpriteTexture(error);
    if (texture == 0) Fail(error);
    return texture;
}

class TPolledInput : public TDemoInput {
public:
    std::int32_t TakeKeyHits(std::int32_t key) override { return ::TakeKeyHits(key); }
    std::int32_t TakeMouseHits(std::int32_t button) override { return ::TakeMouseHits(button); }
    std::int32_t MouseXPos() override { return ::MouseXPos(); }
    std::int32_t MouseYPos() override { return ::MouseYPos(); }
};

// Input in which one digit key was hit before the first frame, and nothing
// else: the scene a command line asks for is chosen exactly as that key would.
class TStartingKey : public TDemoInput {
public:
    explicit TStartingKey(std::int32_t scene) : _key(demo_keys::DIGIT_1 + scene - 1) {}
    std::int32_t TakeKeyHits(std::int32_t key) override { return key == _key ? 1 : 0; }
    std::int32_t TakeMouseHits(std::int32_t) override { return 0; }
    std::int32_t MouseXPos() override { return 0; }
    std::int32_t MouseYPos() override { return 0; }

private:
    std::int32_t _key;
};

std::string ScreenshotError(const std::string& path, const std::string& why) {
    return "cannot save the screenshot \"" + path + "\": " + why;
}

// Checked at start too, but the file can still fail here (a full disk, a
// folder taken away meanwhile).
void SaveScreenshot(const std::string& path, TFrameDrawer& frames) {
    std::string why = "cannot read the window's pixels";
    const auto pixels = frames.ReadPixels();
    if (!pixels || !SavePngPixmap(*pixels, path, &why)) Fail(ScreenshotError(path, why));
}

// What a frame shows: enough to log it, and to draw it again for a
// screenshot when the user quits (the frame on show cannot be read back
// everywhere).
struct TFrameShown {
    TSPH* World = nullptr;
    std::int32_t Scene = 0;
    std::int32_t Particles = 0;
    std::string ParticlesText;
    std::int32_t FramesPerSecond = 0;
    std::string Status;     // paused, replaying
    bool Help = false;      // the keys and buttons over the scene
    bool HelpHint = false;  // "H: help" in the corner
};

// The scene's part of a frame: the run's keys, the user's actions, one step
// of its world (unless paused), then the choice of the next frame's scene.
TFrameShown StepScene(TDemoScenes& scenes, TDemoInput& input, TRunControls& controls) {
    StepFrame(scenes, input, controls);
    TSPH& world = scenes.CurrentWorld();
    TFrameShown shown;
    shown.World = &world;
    shown.Scene = scenes.CurrentScene;
    shown.Particles = world.GetParticleCount();
    shown.ParticlesText = ParticleCountText(scenes);
    SelectScene(scenes, input);
    return shown;
}

// The run's status goes right of the particle count (17 characters at most,
// from x 100) and of scene 1's pillar, which the GL path would show through
// the text's cells.
constexpr std::int32_t STATUS_X = 336;

void DrawFrame(const TFrameShown& frame, TFrameDrawer& frames) {
    frames.DrawWorld(*frame.World);
    frames.DrawText(frame.ParticlesText, 100, 0);
    frames.DrawText("FPS: " + std::to_string(frame.FramesPerSecond), 0, 0);
    if (!frame.Status.empty()) frames.DrawText(frame.Status, STATUS_X, 0);
    if (frame.HelpHint) frames.DrawText("H: help", 800 - 8 * 8, 0);
    if (!frame.Help) return;
    std::int32_t y = 32;
    for (const std::string& line : HelpLines()) {
        frames.DrawText(line, 16, y);
        y += 16;
    }
}

// The last line of a run that can be repeated: the scene on show, the frames
// run, and its world's particle count and checksum.
void PrintEndLine(std::int32_t scene, std::int64_t frames, const TSPH& world) {
    std::printf("scene %d frame %lld particles %d checksum %016" PRIx64 "\n", static_cast<int>(scene),
                static_cast<long long>(frames), static_cast<int>(world.GetParticleCount()), WorldChecksum(world));
    std::fflush(stdout);
}

// Where the frames' time went since the last line of the log: the sums of
// their steps, drawings (world and text) and showings.
class TFrameTimes {
public:
    using TClock = std::chrono::steady_clock;

    // The milliseconds from `start` to now, which becomes the next start.
    static double Lap(TClock::time_point& start) {
        const TClock::time_point now = TClock::now();
        const double millis = std::chrono::duration<double, std::milli>(now - start).count();
        start = now;
        return millis;
    }
    void Add(double step, double draw, double show) {
        _step += step;
        _draw += draw;
        _show += show;
        ++_frames;
    }
    // The means, in milliseconds, of the frames added since the last Restart.
    double Step() const { return Mean(_step); }
    double Draw() const { return Mean(_draw); }
    double Show() const { return Mean(_show); }
    void Restart() { *this = TFrameTimes(); }

private:
    double Mean(double sum) const { return _frames > 0 ? sum / _frames : 0.0; }
    double _step = 0, _draw = 0, _show = 0;
    std::int64_t _frames = 0;
};

// One line a second: fixed words and numbers separated by single spaces, so
// that scripts can pick fields ("scene 2 fps 60 particles 7965 draw gl
// step-ms 3.21 draw-ms 4.02 show-ms 0.35"). The times are the means over the
// frames shown since the last line; new fields go at the end, so that
// scripts reading the first ones keep working.
void LogFrameRate(const TFrameShown& frame, const std::string& drawPath, const TFrameTimes& times) {
    std::printf("scene %d fps %d particles %d draw %s step-ms %.2f draw-ms %.2f show-ms %.2f\n",
                static_cast<int>(frame.Scene), static_cast<int>(frame.FramesPerSecond),
                static_cast<int>(frame.Particles), drawPath.c_str(), times.Step(), times.Draw(), times.Show());
    std::fflush(stdout);
}

// Opens the window and chooses how its frames are drawn: through the GL, or
// on the CPU where the GL is a software rasterizer (or as `options` say).
// Only a GL context can tell its renderer, so with the choice left to the
// program a GL window is opened hidden and asked. If the CPU is to draw, a
// window without GL takes its place (the GL one is closed, context and all,
// never shown): the CPU's image then reaches the screen in one copy, with
// none of a software GL's texture upload and quad. Asked for the CPU, the
// program makes no GL context at all.
std::unique_ptr<TFrameDrawer> OpenFrames(const TDemoOptions& options, TTaskRunner* drawRunner) {
    std::string error;
#ifdef __EMSCRIPTEN__
    // In a browser the page has chosen from WebGL's renderer; on the CPU the
    // frames go to a 2D canvas, and no WebGL context is asked for. (Left to
    // the program, the canvas it is: once a canvas has a WebGL context it
    // gives no 2D one.)
    if (options.Draw != TDrawChoice::Gl) {
        auto frames = OpenCanvasFrameDrawer(drawRunner, error);
        if (!frames) Fail(error);
        return frames;
    }
#endif
    const bool chosenHere = options.Draw == TDrawChoice::Auto;
    std::string renderer;
    if (options.Draw != TDrawChoice::Cpu) {
        if (!InitGraphics(error, chosenHere)) Fail(error);
        renderer = GLRendererName();
    }
    std::string why = renderer.empty() ? "" : "GL_RENDERER: " + renderer;
    if (!chosenHere) why += (why.empty() ? "" : "; ") + std::string("chosen on the command line");
    why = " (" + why + ")";
#ifndef __EMSCRIPTEN__
    if (DrawsOnCpu(options.Draw, renderer)) {
        auto frames = OpenSurfaceFrameDrawer(drawRunner, "on the CPU" + why, error);
        if (!frames) Fail(error);
        return frames;
    }
#endif
    if (chosenHere) ShowGraphics();
    // A sprite that no texture can hold ends the program at start. (The CPU
    // path has no GL context and needs no texture: it refused at start a
    // sprite it cannot hold.)
    return MakeGLFrameDrawer("through the GL" + why, static_cast<std::uint32_t>(LoadSpriteOrFail()));
}

// A screenshot that cannot be saved is found out before the window opens,
// rather than after the run it was to show.
void CheckScreenshotPath(const std::string& path) {
    std::string why;
    if (!path.empty() && !CanSavePngAt(path, &why)) Fail(ScreenshotError(path, why));
}

// The recording to replay, read whole before the window opens; none without
// --replay.
std::optional<TRecording> ReadReplay(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::string why;
    auto recording = ReadRecording(path, why);
    if (!recording) Refuse("cannot replay \"" + path + "\": " + why);
    return recording;
}

std::string RecordingError(const std::string& path, const std::string& why) {
    return "cannot write the recording \"" + path + "\": " + why;
}

int Run(const TDemoOptions& options) {
    // What the command line and the environment name is checked before the
    // window opens; the recording to replay is read before the one to write
    // is made, which may be the same file.
    const std::optional<TRecording> recording = ReadReplay(options.Replay);
    if (const auto problem = StepThreadsProblem()) Refuse(*problem);
    CheckScreenshotPath(options.Screenshot);
    TRecordWriter recordWriter;
    if (std::string why; !options.Record.empty() && !recordWriter.Open(options.Record, why))
        Fail(RecordingError(options.Record, why));

    // The step's threads; drawing on the CPU shares them (a frame steps, then draws).
    const auto threads = MakeStepThreads();  // SPH_THREADS, else the cores
    const std::unique_ptr<TFrameDrawer> frames = OpenFrames(options, threads.get());
    std::fprintf(stderr, "particle-demo: drawing %s\n", frames->Description().c_str());
    TDemoScenes scenes = BuildScenes();
    scenes.SetTaskRunner(threads);
    if (options.Contacts) scenes.SetRigidContacts(true);

    // The scenes take their input from the user or from the recording, and
    // what acted is written down (when --record asks) as it acts.
    TPolledInput live;
    std::optional<TReplayInput> replay;
    if (recording) replay.emplace(*recording);
    TStartingKey startingKey(options.Scene);
    {
        if (replay) replay->BeginFrame(0);
        TRecordingInput before(replay ? static_cast<TDemoInput&>(*replay) : startingKey, recordWriter);
        SelectScene(scenes, before);
        before.EndFrame();
    }
    TRecordingInput input(replay ? static_cast<TDemoInput&>(*replay) : live, recordWriter);
    // The run ends after this frame, if any: --frames, or the recording's end.
    std::int64_t lastFrame = options.Frames > 0 ? options.Frames : -1;
    if (recording && recording->End && (lastFrame < 0 || *recording->End < lastFrame)) lastFrame = *recording->End;

    auto frameTimer = TTimer::Create(60.0f, nullptr);
    if (!frameTimer) Fail("cannot start the 60 Hz frame timer");
    TFrameRateCounter frameRate(SystemMillis());
    TRunControls controls;

    TFrameShown shown;
    TFrameTimes times;
    std::int64_t framesRun = 0;
    for (std::int64_t frame = 1; lastFrame < 0 || frame <= lastFrame; ++frame) {
        if (::TakeKeyHits(demo_keys::ESCAPE) != 0 || TakeTerminateRequest() != 0) {
            if (!options.Screenshot.empty() && shown.World != nullptr) {
                DrawFrame(shown, *frames);  // the world has not moved since it was shown
                SaveScreenshot(options.Screenshot, *frames);
            }
            break;
        }
        // A replay takes nothing from the user but Escape and the close box.
        if (!replay && ::TakeKeyHits(demo_keys::HELP) != 0) controls.Help = !controls.Help;
        auto start = TFrameTimes::TClock::now();
        if (replay) replay->BeginFrame(frame);
        input.BeginFrame(frame);
        shown = StepScene(scenes, input, controls);
        input.EndFrame();
        shown.FramesPerSecond = frameRate.GetFrameRate(SystemMillis);
        shown.Status = RunStatusText(controls, replay.has_value());
        shown.Help = controls.Help;
        shown.HelpHint = !controls.Help && !replay;
        const double step = TFrameTimes::Lap(start);
        DrawFrame(shown, *frames);
        const double draw = TFrameTimes::Lap(start);
        if (options.FpsLog && frameRate.PeriodEnded()) {
            LogFrameRate(shown, frames->PathName(), times);
            times.Restart();
        }

        const bool last = frame == lastFrame;
        if (last && !options.Screenshot.empty()) SaveScreenshot(options.Screenshot, *frames);
        start = TFrameTimes::TClock::now();
        frames->Show();
        times.Add(step, draw, TFrameTimes::Lap(start));
        framesRun = frame;
        if (last) break;
        frameTimer->Wait();
    }
    if (std::string why; !recordWriter.Finish(framesRun, why)) Fail(RecordingError(options.Record, why));
    if (options.Frames > 0 || replay) {
        // Before the first frame the scene on show is the one chosen to start.
        if (shown.World == nullptr) {
            shown.World = &scenes.CurrentWorld();
            shown.Scene = scenes.CurrentScene;
        }
        PrintEndLine(shown.Scene, framesRun, *shown.World);
    }
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    UseParentConsole();
    const TCommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    switch (commandLine.Action) {
        case TCommandLine::TAction::Help:
            std::fputs(UsageText().c_str(), stdout);
            return EXIT_SUCCESS;
        case TCommandLine::TAction::Error:
            std::fprintf(stderr, "particle-demo: %s\n%s", commandLine.Error.c_str(), UsageText().c_str());
            return COMMAND_LINE_EXIT;
        case TCommandLine::TAction::Run:
            break;
    }
    try {
        return Run(commandLine.Options);
    } catch (const std::exception& error) {
        // The one runtime error the program raises: no texture size fits.
        std::fprintf(stderr, "%s\n", error.what());
        return -1;
    }
}
