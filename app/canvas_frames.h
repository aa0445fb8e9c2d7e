// The CPU drawing path of the browser: the sprites splatted into an image,
// the status text drawn into it, the image put on the page's 2D canvas. It
// needs no WebGL at all; SDL still gives the keys, clicks and timer.
#pragma once

#include <memory>
#include <string>

#include "app/frame_drawer.h"
#include "sph/task_runner.h"

// Opens the canvas and loads the sprite image; none, with one line in
// `error`, when either fails. The sprites are splatted on `runner`'s threads
// when there is one.
std::unique_ptr<TFrameDrawer> OpenCanvasFrameDrawer(TTaskRunner* runner, std::string& error);
