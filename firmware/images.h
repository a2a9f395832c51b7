// The firmware image set: six Intel HEX texts carried among the module's
// resources (type "TEXT"), named by string-table entries 1 to 6, whose entry
// number is the sending order. The texts are used in place, read-only; each is
// followed in memory by a NUL byte, so its length is its size in bytes.
#pragma once

#include "platform/win_types.h"

constexpr int IMAGE_COUNT = 6;

// Start of each image's text in sending order (0 is UDATA9, 5 is UDATAE), null for
// an image that was not found. Filled by LoadImageTable; never released.
extern LPCSTR imageTable[IMAGE_COUNT];

// Finds the six images by the names of string entries 1 to 6 and fills imageTable;
// a missing name or image leaves its entry null. Reports nothing.
void LoadImageTable();

// Length in bytes of image `index` (0 to 5) from imageTable; 0 for a null entry or
// an index out of range.
LONG ImageLength(int index);

// Sum of the six image lengths, added in index order.
LONG ImageSetLength();

// Finds image `index` (0 to 5) again and returns the start of its text, which equals
// imageTable[index] once that is filled; null when it cannot be found or loaded, or
// for an index out of range.
LPCSTR OpenImage(int index);
