# The web build (Emscripten): the GL emulation stands in for OpenGL and GLEW,
# SDL2, libpng and zlib come from the prefix scripts/web.sh builds them into.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/cmake)
# WebAssembly's 128-bit SIMD (in every major browser since 2021-2023): the
# step's four-lane code and the CPU renderer's byte planes become vector
# instructions, as SSE2 makes them on the desktop. Lane by lane they round as
# the scalar code does, so the step gives the same bits.
add_compile_options(-msimd128)
# The threaded build (PARTICLE_DEMO_WEB_THREADS): the step's thread pool on
# Web Workers sharing the program's memory, for pages that are cross-origin
# isolated. Every object of it, the libraries' too, is built with atomics and
# shared memory.
option(PARTICLE_DEMO_WEB_THREADS "Build the web demo with threads (pthreads on Web Workers)" OFF)
if(PARTICLE_DEMO_WEB_THREADS)
  add_compile_options(-pthread)
  add_link_options(-pthread)
endif()
# The program catches the one runtime error it raises: no texture size fits.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
enable_testing()  # the browser test of the site
