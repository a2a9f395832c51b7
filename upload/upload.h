// The upload engine: the body of the upload thread. It switches the adapter
// into its flash loader, answers the loader's prompts, streams the six
// firmware images line by line and shows its progress in the progress dialog.
#pragma once

#include <atomic>

#include "platform/win_types.h"

// Values of uploadState.
constexpr int UPLOAD_START = 0;                // the flash-loader command is still to be sent
constexpr int UPLOAD_WAIT_YN = 10;             // waiting for "Y or N"
constexpr int UPLOAD_WAIT_YS = 11;             // waiting for "Y or S ?" (before every image)
constexpr int UPLOAD_WAIT_PLEASE_UPLOAD = 12;  // waiting for "--> Please UPLOAD"
constexpr int UPLOAD_LOAD_IMAGE = 1;           // the next image is to be opened
constexpr int UPLOAD_SEND_LINES = 2;           // the current image's lines are being sent
constexpr int UPLOAD_ALL_SENT = 3;             // all six sent; the completion text is still to be shown
constexpr int UPLOAD_DONE = 20;                // finished; the engine idles until told to stop
constexpr int UPLOAD_CLOSING = 21;             // the progress dialog is closing after a finished upload
constexpr int UPLOAD_NO_IMAGE = 100;           // an image failed to open; the thread has ended

constexpr int LINE_BUFFER_SIZE = 100;

extern std::atomic<int> uploadState;

// 1 from just before an upload thread is started until that thread has ended;
// no new upload thread is started while it is 1.
extern std::atomic<int> uploadThreadRunning;

// The record handed to the upload thread: the progress dialog, and a stop request.
struct UploadLink {
  std::atomic<HWND> dialog;
  std::atomic<int> stop;  // nonzero: leave the loop
};

// The upload thread's start routine; `link` is the address of an UploadLink.
void UploadThreadProc(void* link);
