// Chooses the screen: TR20KX_UI=terminal or headless picks one; otherwise the desktop screen
// where one is built and a display is available, else the terminal.
#include <cstdlib>
#include <cstring>

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
    // No desktop screen is built yet, so every other choice is the terminal.
    chosen = (chosenHeadless ? MakeHeadlessScreen() : MakeTerminalScreen()).release();
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
