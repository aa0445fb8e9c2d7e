// Which way frames are drawn. A software GL fills every blended, filtered
// sprite pixel one fragment at a time and cannot hold 60 frames a second;
// drawing on the CPU and showing the image costs a few milliseconds.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "app/options.h"

// Whether a GL_RENDERER string names a software rasterizer: Mesa's llvmpipe,
// softpipe or "Software Rasterizer", SwiftShader (also behind ANGLE), or
// "GDI Generic", the OpenGL 1.1 Windows falls back on without a GPU driver,
// in any letter case.
inline bool IsSoftwareRenderer(std::string_view glRenderer) {
    constexpr std::array<std::string_view, 5> NAMES = {"llvmpipe", "softpipe", "software rasterizer", "swiftshader",
                                                       "gdi generic"};
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    return std::any_of(NAMES.begin(), NAMES.end(), [&](std::string_view name) {
        return std::search(glRenderer.begin(), glRenderer.end(), name.begin(), name.end(),
                           [&](char a, char b) { return lower(a) == b; }) != glRenderer.end();
    });
}

// Whether to draw on the CPU: as chosen, or with Auto where the GL is a
// software rasterizer.
inline bool DrawsOnCpu(TDrawChoice choice, std::string_view glRenderer) {
    if (choice == TDrawChoice::Auto) return IsSoftwareRenderer(glRenderer);
    return choice == TDrawChoice::Cpu;
}
