// Chooses the screen: TR20KX_UI=terminal, headless or desktop picks one; otherwise the desktop
// screen when a display is available, else the terminal.
#include <cstdlib>
#include <cstring>

#include "platform/screen_desktop.h"
#include "platform/screen_model.h"

namespace platform::win {
namespace {

std::mutex choiceMutex;
Screen* chosen = nullptr;  // set once, under choiceMutex, and kept for the whole run
bool chosenHeadless = false;

Screen& ChooseLocked(bool headless) {
  if (!chosen) {
    const char* ui = std::getenv("TR20KX_UI");
    chosenHeadless = headless || (ui && std::strcmp(ui, "headless") == 0);
    const bool terminal = ui && std::strcmp(ui, "terminal") == 0;
    const bool desktop = ui && std::strcmp(ui, "desktop") == 0;
    if (chosenHeadless) {
      chosen = MakeHeadlessScreen().release();
    } else if (!terminal && (desktop || DesktopDisplayAvailable())) {
      chosen = MakeDesktopScreen().release();
    } else {
      chosen = MakeTerminalScreen().release();
    }
  }
  return *chosen;
}

}  // namespace

Screen& CurrentScreen() {
  std::lock_guard lock(choiceMutex);
  return ChooseLocked(false);
}

bool UseHeadlessScreen() {
  std::lock_guard lock(choiceMutex);
  ChooseLocked(true);
  return chosenHeadless;
}

}  // namespace platform::win
