#include "app/world_drawer.h"

#include <GL/gl.h>

#include "app/draw_choice.h"
#include "app/graphics_setup.h"
#include "render/render.h"

std::unique_ptr<TWorldDrawer> TWorldDrawer::Create(TDrawChoice choice, TTaskRunner* runner, std::string& error) {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string renderer = name != nullptr ? name : "unknown";
    auto drawer = std::unique_ptr<TWorldDrawer>(new TWorldDrawer());
    drawer->Runner = runner;
    const bool cpu = DrawsOnCpu(choice, renderer);
    drawer->Why = std::string(cpu ? "on the CPU" : "through the GL") + " (GL_RENDERER: " + renderer +
                  (choice == TDrawChoice::Auto ? ")" : "; chosen on the command line)");
    if (cpu) {
        const auto sprite = LoadSpritePixmap(error);
        if (!sprite) return nullptr;
        drawer->Cpu = std::make_unique<TCpuRenderer>(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
    }
    return drawer;
}

void TWorldDrawer::Draw(TSPH& world) {
    if (!Cpu) {
        Render(world);
        return;
    }
    Cpu->Draw(world, Runner);
    Presenter.Present(Cpu->Pixels(), Cpu->Width(), Cpu->Height());
}
