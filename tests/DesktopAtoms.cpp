#include "DesktopAtoms.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <initializer_list>

namespace tltest
{
void internDesktopAtoms()
{
    if (std::getenv ("DISPLAY") == nullptr)
        return;

    // Held in a global for the whole run, so the leak checker sees it is still in use.
    static Display* display = XOpenDisplay (nullptr);
    if (display != nullptr)
        for (const char* name : { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_STATE",
                                  "_NET_WM_PING", "_NET_WM_STATE", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL" })
            XInternAtom (display, name, False);
}
}
