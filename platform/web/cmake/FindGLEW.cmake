# GLEW in the browser: Emscripten's own stub, part of its GL library.
set(GLEW_FOUND TRUE)
if(NOT TARGET GLEW::GLEW)
  add_library(GLEW::GLEW INTERFACE IMPORTED)
endif()
