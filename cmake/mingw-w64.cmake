# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, the POSIX
# threads flavour (std::thread needs it). scripts/windows.sh passes
# -DPARTICLE_DEMO_WINDOWS_PREFIX=<prefix>: the folder its SDL2, GLEW, libpng,
# zlib and math library were built into.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "")

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PARTICLE_DEMO_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PARTICLE_DEMO_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC cannot keep the stack 32-byte aligned on 64-bit Windows, yet spills
# eight-lane vectors (the AVX2 walks) with aligned moves, which then fault:
# the assembler makes every such move an unaligned one, as fast on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Programs that need no DLL beside them: the GCC runtime, the C++ library and
# winpthreads are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# pow, atan2, sin and cos from musl (built by scripts/windows.sh), ahead of
# the C runtime's: the step then gives the bits it gives on Linux, where
# MinGW's own functions differ in the last place now and then.
# (Set here in the cache, since the platform's own defaults would replace an
# _INIT value; the rest is those defaults.)
if(PARTICLE_DEMO_WINDOWS_PREFIX AND EXISTS "${PARTICLE_DEMO_WINDOWS_PREFIX}/lib/libmuslmath.a")
  set(_windows_libraries "-lkernel32 -luser32 -lgdi32 -lwinspool -lshell32 -lole32 -loleaut32 -luuid -lcomdlg32 -ladvapi32")
  set(CMAKE_C_STANDARD_LIBRARIES "${PARTICLE_DEMO_WINDOWS_PREFIX}/lib/libmuslmath.a ${_windows_libraries}"
    CACHE STRING "Libraries linked into every C program")
  set(CMAKE_CXX_STANDARD_LIBRARIES "${PARTICLE_DEMO_WINDOWS_PREFIX}/lib/libmuslmath.a ${_windows_libraries}"
    CACHE STRING "Libraries linked into every C++ program")
endif()

# The prefix's GLEW is a static library, libglew32s.a, named here since
# FindGLEW looks on Windows for Visual C++'s .lib files only (and
# platform/CMakeLists.txt defines GLEW_STATIC for its users).
set(GLEW_USE_STATIC_LIBS ON)
if(PARTICLE_DEMO_WINDOWS_PREFIX AND EXISTS "${PARTICLE_DEMO_WINDOWS_PREFIX}/lib/libglew32s.a")
  set(GLEW_STATIC_LIBRARY_RELEASE "${PARTICLE_DEMO_WINDOWS_PREFIX}/lib/libglew32s.a" CACHE FILEPATH "GLEW")
endif()
