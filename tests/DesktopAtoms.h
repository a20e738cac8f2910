#pragma once

namespace tltest
{
// A bare X server (Xvfb without a window manager) has not yet created the window-manager
// protocol atoms that every desktop has; the framework's windows refer to them. Creates them
// on a connection that stays open for the whole run, so the server keeps them.
void internDesktopAtoms();
}
