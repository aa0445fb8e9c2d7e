#include "platform/x_display.h"

#include <X11/Xlib.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string XConnectionProblem(const char* name) {
    errno = 0;
    xcb_connection_t* connection = xcb_connect(name, nullptr);
    const int error = xcb_connection_has_error(connection);
    const int socketError = errno;
    xcb_disconnect(connection);
    switch (error) {
        case 0:
            return {};
        case XCB_CONN_ERROR:
            // The socket's own reason: refused, no such file, unauthorised...
            return socketError != 0 ? std::strerror(socketError) : "the server closed the connection (not authorised?)";
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
            return "the server lacks an extension the connection needs";
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
            return "out of memory";
        case XCB_CONN_CLOSED_PARSE_ERR:
            return "the display name is not valid";
        case XCB_CONN_CLOSED_INVALID_SCREEN:
            return "the server has no such screen";
        default:
            return "X connection error " + std::to_string(error);
    }
}

namespace {

int OnConnectionLost(Display* display) {
    // Only what cannot touch the connection: a line and _exit.
    const char* name = display != nullptr ? DisplayString(display) : "";
    std::fprintf(stderr, "%s: the connection to the X display \"%s\" was lost\n", program_invocation_short_name,
                 name != nullptr ? name : "");
    std::fflush(stderr);
    _exit(1);
}

}  // namespace

void EndProgramWhenXConnectionIsLost() { XSetIOErrorHandler(OnConnectionLost); }
