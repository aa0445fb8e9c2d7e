// The window and the GL state every frame of the demo relies on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/pixmap.h"

// Opens the 800 × 600 GL window and sets up screen pixels with the origin at
// the top left and y downwards, fragments of alpha 0 discarded, a black clear
// colour. `hidden` keeps the window hidden until ShowGraphics, for a program
// that may yet replace it. On failure returns false with one line saying why.
bool InitGraphics(std::string& error, bool hidden = false);

// The current GL context's GL_RENDERER string; "unknown" if it gives none.
std::string GLRendererName();

// The one line for a sprite image that cannot be used: the image named, then
// `why`.
std::string SpriteError(const std::string& why);

// Loads the sprite image as RGBA, for drawing on the CPU: from the working
// folder, else from the folder of the program's executable (in a browser only
// the working folder, where the page preloads it). None, with one line naming
// the image and saying what failed (both places, when it is in neither), when
// it cannot be read.
std::unique_ptr<TPixmap> LoadSpritePixmap(std::string& error);

// Loads the sprite image from the same places and uploads it with its mipmap
// levels; 0, with one line naming the image and saying what failed,
// when it cannot be read or made into a texture.
std::int32_t LoadSpriteTexture(std::string& error);

inline constexpr const char* SPRITE_FILE = "Metaball.png";
