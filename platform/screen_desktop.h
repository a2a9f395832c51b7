// The desktop screen (FLTK on X11): each dialog and message box is a window of its own, drawn
// from the window model, with the terminal screen's keys and clicks. Only the user-interface
// thread calls FLTK.
#pragma once

#include <memory>

#include "platform/screen_model.h"

namespace platform::win {

// True when an X display can be opened (DISPLAY names one that answers); the connection is kept
// for the desktop screen.
bool DesktopDisplayAvailable();

// The desktop screen; its Start fails when no display can be opened.
std::unique_ptr<Screen> MakeDesktopScreen();

}  // namespace platform::win
