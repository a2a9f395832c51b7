#include "firmware/images.h"

#include "platform/resource.h"
#include "ui/main_window.h"

LPCSTR imageTable[IMAGE_COUNT];

namespace {

constexpr int NAME_BUFFER_SIZE = 50;  // so a name may have up to 49 characters
constexpr LPCSTR IMAGE_TYPE = "TEXT";

// Holds the name of the image being looked up. LoadStringA leaves it empty when
// the string entry is missing, so a lookup never reuses the previous image's name.
char nameBuffer[NAME_BUFFER_SIZE];

bool ValidIndex(int index) { return index >= 0 && index < IMAGE_COUNT; }

// Finds and loads image `index` by the name in string entry index + 1; null when
// either step fails.
HGLOBAL FindAndLoadImage(int index) {
  LoadStringA(appInstance, static_cast<UINT>(index + 1), nameBuffer, NAME_BUFFER_SIZE);
  HRSRC found = FindResourceA(appInstance, nameBuffer, IMAGE_TYPE);
  if (found == nullptr) return nullptr;
  return LoadResource(appInstance, found);
}

}  // namespace

void LoadImageTable() {
  for (int index = 0; index < IMAGE_COUNT; ++index) {
    imageTable[index] = static_cast<LPCSTR>(LockResource(FindAndLoadImage(index)));
  }
}

LONG ImageLength(int index) { return ValidIndex(index) ? lstrlenA(imageTable[index]) : 0; }

LONG ImageSetLength() {
  LONG total = 0;
  for (int index = 0; index < IMAGE_COUNT; ++index) total += ImageLength(index);
  return total;
}

LPCSTR OpenImage(int index) {
  if (!ValidIndex(index)) return nullptr;
  HGLOBAL loaded = FindAndLoadImage(index);
  if (loaded == nullptr) return nullptr;
  return static_cast<LPCSTR>(LockResource(loaded));
}
