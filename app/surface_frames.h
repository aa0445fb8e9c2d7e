// The CPU drawing path of the desktop (cpu_frames.h): the image written into
// the window's surface and shown without any GL (platform/window_surface.h).
#pragma once

#include <memory>
#include <string>

#include "app/frame_drawer.h"
#include "sph/task_runner.h"

// Loads the sprite image, then opens a window without GL in place of the one
// open, if any (the hidden GL window asked for its renderer). `runner` draws
// bands of rows at once (null: the calling thread alone); `description` says
// why this path draws. None, with one line in `error`, when the sprite cannot
// be read or held, or the window cannot be made.
std::unique_ptr<TFrameDrawer> OpenSurfaceFrameDrawer(TTaskRunner* runner, std::string description, std::string& error);
