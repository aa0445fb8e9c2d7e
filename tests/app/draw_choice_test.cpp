#include "app/draw_choice.h"

#include <gtest/gtest.h>

TEST(DrawChoice, SoftwareRasterizersDrawOnTheCpuUnlessTheUserSaysOtherwise) {
    // GL_RENDERER strings as Mesa, ANGLE, Windows and GPU drivers report them.
    const char* software[] = {
        "llvmpipe (LLVM 15.0.6, 256 bits)",
        "softpipe",
        "Mesa X11 Software Rasterizer",
        "Google SwiftShader",
        "ANGLE (Google, Vulkan 1.3.0 (SwiftShader Device (Subzero) (0x0000C0DE)), SwiftShader driver)",
        "LLVMPIPE",
        "GDI Generic"};
    const char* hardware[] = {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)",
                              "NVIDIA GeForce GTX 1080/PCIe/SSE2",
                              "AMD Radeon RX 6800 (navi21, LLVM 15.0.6, DRM 3.49)",
                              "ANGLE (Apple, Apple M1, OpenGL 4.1)",
                              "",
                              "virgl"};
    for (const char* name : software) {
        EXPECT_TRUE(DrawsOnCpu(TDrawChoice::Auto, name)) << name;
        EXPECT_FALSE(DrawsOnCpu(TDrawChoice::Gl, name)) << name;
    }
    for (const char* name : hardware) {
        EXPECT_FALSE(DrawsOnCpu(TDrawChoice::Auto, name)) << name;
        EXPECT_TRUE(DrawsOnCpu(TDrawChoice::Cpu, name)) << name;
    }
}
