#include "platform/program_folder.h"

#include <SDL.h>

std::string ProgramFolder() {
    // SDL asks the host the portable way (/proc/self/exe on Linux,
    // GetModuleFileName on Windows) and needs no SDL_Init for it.
    char* path = SDL_GetBasePath();
    if (path == nullptr) return {};
    std::string folder(path);
    SDL_free(path);
    return folder;
}
