#include "app/graphics_setup.h"

#include <GL/glew.h>

#include "platform/graphics.h"
#include "platform/png.h"
#include "platform/texture.h"

bool InitGraphics(std::string& error) {
    if (!OpenGraphics(800, 600, 0, 60, GraphicsFlag::BackBuffer | GraphicsFlag::Depth) || !InitExtensionLoader()) {
        error = GraphicsError();
        return false;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 800, 600, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
    glClearColor(0, 0, 0, 1);
    return true;
}

std::int32_t LoadSpriteTexture(std::string& error) {
    auto pixmap = LoadPngPixmap(SPRITE_FILE);
    if (!pixmap) {
        error = std::string("cannot load the sprite image \"") + SPRITE_FILE +
                "\" from the working directory (run the demo from the folder that holds it)";
        return 0;
    }
    return TexFromPixmap(pixmap.get(), 1);
}
