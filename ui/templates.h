// The dialog resources of the program: the main dialog and the progress dialog, and the ids
// of their controls.
#pragma once

#include "platform/window.h"

constexpr int IDD_MAIN = 106;
constexpr int IDD_PROGRESS = 107;

// Main dialog.
constexpr int IDC_VERSION_UP = 1003;
constexpr int IDC_CANCEL_BUTTON = 1004;
constexpr int IDC_MAIN_STATUS = 1010;
constexpr int IDC_PORT_LIST = 1017;

// Progress dialog.
constexpr int IDC_IMAGE_PROGRESS = 1022;
constexpr int IDC_BYTES_TEXT = 1026;
constexpr int IDC_TOTAL_PROGRESS = 1031;
constexpr int IDC_STATUS_TEXT = 1033;

// Static labels and group boxes have no id of their own.
constexpr int IDC_STATIC = -1;

// The templates, entered into the program's dialog resources when the program starts.
extern const DialogTemplate mainDialogTemplate;
extern const DialogTemplate progressDialogTemplate;
