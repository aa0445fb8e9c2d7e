# The web build (Emscripten): the GL emulation stands in for OpenGL and GLEW,
# SDL2, libpng and zlib come from the prefix scripts/web.sh builds them into.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/cmake)
# The program catches the one runtime error it raises: no texture size fits.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
enable_testing()  # the browser test of the site
