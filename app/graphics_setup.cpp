#include "app/graphics_setup.h"

#include <GL/glew.h>

#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "platform/graphics.h"
#include "platform/png.h"
#include "platform/program_folder.h"
#include "platform/texture.h"

bool InitGraphics(std::string& error, bool hidden) {
    const std::int32_t flags = GraphicsFlag::BackBuffer | GraphicsFlag::Depth | (hidden ? GraphicsFlag::Hidden : 0);
    if (!OpenGraphics(800, 600, 0, 60, flags) || !InitExtensionLoader()) {
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

std::string GLRendererName() {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name != nullptr ? name : "unknown";
}

namespace {

const std::string SPRITE_NAME = std::string("cannot load the sprite image \"") + SPRITE_FILE + "\"";
const std::string SPRITE_ERROR = SPRITE_NAME + ": ";

// Whether the loader failed to open the file (it is not there, or may not be
// read) rather than finding something wrong in it.
bool CannotOpen(const std::string& why) { return why.rfind("cannot open", 0) == 0; }

// The host's reason after the loader's "cannot open the file: ".
std::string HostReason(const std::string& why) {
    const std::size_t colon = why.find(": ");
    return colon == std::string::npos ? why : why.substr(colon + 2);
}

std::unique_ptr<TPixmap> ReadPng(const std::string& path, std::string& why) {
    try {
        return LoadPngPixmap(path, &why);
    } catch (const std::bad_alloc&) {
        why = "out of memory while decoding it";
        return nullptr;
    }
}

std::string WorkingFolder() {
    std::error_code failed;
    const std::filesystem::path folder = std::filesystem::current_path(failed);
    return failed ? std::string("(unknown)") : folder.string();
}

// The working folder comes first, so that a sprite put there wins; then the
// executable's folder, where the build puts the image, so that the demo starts
// from any folder. A file that is there but cannot be decoded is reported, not
// passed over for the other.
std::unique_ptr<TPixmap> ReadSprite(std::string& error) {
    std::string why;
    auto pixmap = ReadPng(SPRITE_FILE, why);
    if (pixmap) return pixmap;
    if (!CannotOpen(why)) {
        error = SPRITE_ERROR + why;
        return nullptr;
    }
    const std::string tried =
        SPRITE_ERROR + "cannot open it in the working folder, " + WorkingFolder() + " (" + HostReason(why) + ")";
#ifdef __EMSCRIPTEN__
    // The page preloads the image into the working folder; a browser has no
    // executable's folder to look in.
    error = tried;
    return nullptr;
#else
    const std::string folder = ProgramFolder();
    if (folder.empty()) {
        error = tried + ", and the host does not tell the program's own folder";
        return nullptr;
    }
    pixmap = ReadPng(folder + SPRITE_FILE, why);
    if (pixmap) return pixmap;
    if (CannotOpen(why))
        error = tried + ", nor next to the program, in " + folder + " (" + HostReason(why) + ")";
    else
        error = SPRITE_NAME + " next to the program, in " + folder + ": " + why;
    return nullptr;
#endif
}

}  // namespace

std::string SpriteError(const std::string& why) { return SPRITE_ERROR + why; }

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
