#include "app/graphics_setup.h"

#include <GL/glew.h>

#include <memory>
#include <new>

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

namespace {

const std::string SPRITE_ERROR = std::string("cannot load the sprite image \"") + SPRITE_FILE + "\": ";

std::unique_ptr<TPixmap> ReadSprite(std::string& error) {
    std::string why;
    std::unique_ptr<TPixmap> pixmap;
    try {
        pixmap = LoadPngPixmap(SPRITE_FILE, &why);
    } catch (const std::bad_alloc&) {
        why = "out of memory while decoding it";
    }
    if (!pixmap) {
        error = SPRITE_ERROR + why;
        // The demo reads it from the working directory.
        if (why.rfind("cannot open", 0) == 0) error += " (run the demo from the folder that holds it)";
    }
    return pixmap;
}

}  // namespace

std::unique_ptr<TPixmap> LoadSpritePixmap(std::string& error) {
    auto pixmap = ReadSprite(error);
    if (pixmap && pixmap->format != PIXEL_FORMAT_RGBA8) pixmap = pixmap->Convert(PIXEL_FORMAT_RGBA8);
    if (!pixmap && error.empty()) error = SPRITE_ERROR + "cannot convert it to RGBA";
    return pixmap;
}

std::int32_t LoadSpriteTexture(std::string& error) {
    const std::unique_ptr<TPixmap> pixmap = ReadSprite(error);
    if (!pixmap) return 0;
    std::string why;
    std::int32_t texture = 0;
    try {
        texture = TexFromPixmap(pixmap.get(), 1, &why);
    } catch (const std::bad_alloc&) {
        why = "out of memory while making the " + std::to_string(pixmap->width) + " x " +
              std::to_string(pixmap->height) + " image into a texture";
    }
    if (texture == 0) error = SPRITE_ERROR + why;
    return texture;
}
