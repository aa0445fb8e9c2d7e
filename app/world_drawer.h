// The demo's drawing of a world, through the GL (render/render.h) or on the CPU
// (TCpuRenderer, its image shown with one upload and one quad), chosen once
// at start.
#pragma once

#include <memory>
#include <string>

#include "app/options.h"
#include "render/cpu_renderer.h"
#include "render/image_presenter.h"
#include "sph/sph.h"
#include "sph/task_runner.h"

class TWorldDrawer {
public:
    // Chooses the path from `choice` and the current GL's renderer; the CPU
    // path reads the sprite image from the working directory. None, with one
    // line in `error`, when it cannot be read.
    static std::unique_ptr<TWorldDrawer> Create(TDrawChoice choice, TTaskRunner* runner, std::string& error);

    // Draws the world into the frame the way Render (render/render.h) leaves it.
    void Draw(TSPH& world);
    bool OnCpu() const { return Cpu != nullptr; }
    // Which path draws and why, e.g. "on the CPU (GL_RENDERER: llvmpipe ...)".
    const std::string& Description() const { return Why; }

private:
    std::unique_ptr<TCpuRenderer> Cpu;
    TImagePresenter Presenter;
    TTaskRunner* Runner = nullptr;
    std::string Why;
};
