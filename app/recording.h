// Recordings of the input that changes the scenes: which keys and clicks
// acted in which frame. The simulation gives the same bits on every build and
// thread count, so playing a recording back repeats a whole run exactly: a
// bug report or a demo reel is a small text file.
//
// The file is text, one line each:
//
//   particle-demo recording 1        the first line: the format's version
//   # anything                       a comment; empty lines are skipped too
//   0 key 2                          before the first frame: the starting scene
//   20 click left 450 120            frame, then the event
//   60 key space
//   300 end                          the run's last frame
//
// Keys are 1, 2, 3, space, P, N, R and C; buttons left and right, at window
// pixels (0 to 799, 0 to 599). Frames count from 1 and never go back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/scenes.h"

inline constexpr std::int32_t RECORDING_VERSION = 1;

struct TInputEvent {
    enum class TKind { Key, Click };
    std::int64_t Frame = 0;  // 0: before the first frame
    TKind Kind = TKind::Key;
    std::int32_t Code = 0;  // the key code, or the mouse button
    std::int32_t X = 0, Y = 0;
};

struct TRecording {
    std::vector<TInputEvent> Events;  // in the order of their frames
    std::optional<std::int64_t> End;  // none in a recording cut short
};

// The whole file at `path`; none, with one line saying what is wrong (and on
// which line), when it cannot be read or is not a recording this program
// plays.
std::optional<TRecording> ReadRecording(const std::string& path, std::string& error);

// Writes a recording as the run goes, frame by frame, so that a run that
// breaks off still leaves what it did; the end line makes it complete.
class TRecordWriter {
public:
    TRecordWriter() = default;
    ~TRecordWriter();
    TRecordWriter(const TRecordWriter&) = delete;
    TRecordWriter& operator=(const TRecordWriter&) = delete;

    // Creates the file (emptying one already there) and writes the first
    // line; false, with one line saying why, when it cannot.
    bool Open(const std::string& path, std::string& error);
    void Write(const TInputEvent& event);
    // Hands the frame's lines to the file.
    void EndFrame();
    // Writes the end line and closes the file; false, with one line saying
    // why, when anything written could not be.
    bool Finish(std::int64_t lastFrame, std::string& error);

private:
    std::FILE* _file = nullptr;
    bool _pending = false;
};

// The scenes' input taken from a recording, frame by frame. A hit waits until
// a frame asks for it, as the keyboard's and mouse's hits do, so a recording
// written by hand acts as the same presses would; a click's position is the
// one the frame reads after taking its hit.
class TReplayInput : public TDemoInput {
public:
    explicit TReplayInput(const TRecording& recording) : _recording(recording) {}
    // Hands over the hits of the events of `frame` (and of any before it).
    void BeginFrame(std::int64_t frame);

    std::int32_t TakeKeyHits(std::int32_t key) override;
    std::int32_t TakeMouseHits(std::int32_t button) override;
    std::int32_t MouseXPos() override { return _x; }
    std::int32_t MouseYPos() override { return _y; }

private:
    const TRecording& _recording;
    std::size_t _next = 0;
    std::map<std::int32_t, std::int32_t> _keys;
    std::map<std::int32_t, TInputEvent> _clicks;  // the last one per button
    std::int32_t _x = 0, _y = 0;
};

// Passes another input through, writing every key and click that acted: the
// hits the frame took, with the position it read for each click.
class TRecordingInput : public TDemoInput {
public:
    TRecordingInput(TDemoInput& input, TRecordWriter& writer) : _input(input), _writer(writer) {}
    void BeginFrame(std::int64_t frame) { _frame = frame; }
    // Writes a click whose position the frame did not read, then hands the
    // frame's lines to the file.
    void EndFrame();

    std::int32_t TakeKeyHits(std::int32_t key) override;
    std::int32_t TakeMouseHits(std::int32_t button) override;
    std::int32_t MouseXPos() override;
    std::int32_t MouseYPos() override;

private:
    void WriteClick();

    TDemoInput& _input;
    TRecordWriter& _writer;
    std::int64_t _frame = 0;
    std::optional<TInputEvent> _click;  // taken, its position not yet read whole
    bool _xRead = false;
};
