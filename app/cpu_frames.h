// Frames drawn on the CPU: the sprites splatted into an image (on the step's
// threads, where there are any: a frame steps, then draws), the status text
// drawn into the same image, and the image handed to the place that shows
// it: the window's surface on the desktop (surface_frames.h), a 2D canvas in
// a browser (canvas_frames.h). A screenshot reads the image shown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/frame_drawer.h"
#include "render/cpu_renderer.h"
#include "sph/task_runner.h"

// Shows an RGBA image, rows `pitch` bytes apart; false if it cannot.
using TShowImage = bool (*)(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch);

// A renderer of the sprite image read as the demo reads it; none, with one
// line in `error`, when it cannot be read, or is too large to draw.
std::unique_ptr<TCpuRenderer> MakeSpriteRenderer(std::string& error);

// `description` says where the frames go and why, for the start-up note.
std::unique_ptr<TFrameDrawer> MakeCpuFrameDrawer(std::unique_ptr<TCpuRenderer> renderer, TTaskRunner* runner,
                                                 std::string description, TShowImage show);
