# OpenGL in the browser: Emscripten's legacy GL emulation (immediate mode and
# the fixed-function pipeline) on WebGL 1.
set(OPENGL_FOUND TRUE)
set(OpenGL_FOUND TRUE)
if(NOT TARGET OpenGL::GL)
  add_library(OpenGL::GL INTERFACE IMPORTED)
  set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_OPTIONS "-sLEGACY_GL_EMULATION=1;-sMAX_WEBGL_VERSION=1")
endif()
