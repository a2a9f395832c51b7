#include "upload/upload.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "firmware/images.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "serial/receive.h"
#include "serial/transmit.h"
#include "ui/templates.h"

std::atomic<int> uploadState{UPLOAD_START};
std::atomic<int> uploadThreadRunning{0};

namespace {

// Texts shown in the progress dialog (code page 932).
const char kErasingText[] = "Flash ROM消去中......        ";
const char kSendingText[] = "バージョンアップ中です               ";
const char kCompleteText[] = "バージョンアップが完了しました       ";
const char kBytesFormat[] = " data   %d / %d bytes        %d ％ 終了";

const char kPromptYesNo[] = "Y or N";
const char kPromptYesSkip[] = "Y or S ?";
const char kPromptUpload[] = "--> Please UPLOAD";

// The thread's own variables, for one run of the thread.
struct UploadRun {
  UploadLink* link;
  int imageIndex = 0;
  int imageLength = 0;
  int imageSent = 0;
  int imageSteps = 0;
  int totalLength = 0;
  int totalSent = 0;
  int totalSteps = 0;
  const char* lineStart = nullptr;
  int collectIndex = 0;
  char lineBuffer[LINE_BUFFER_SIZE] = {};
};

HWND Control(const UploadRun& run, int id) { return GetDlgItem(run.link->dialog.load(), id); }

void SetStatus(const UploadRun& run, const char* text) { SetWindowTextA(Control(run, IDC_STATUS_TEXT), text); }

void StepBar(const UploadRun& run, int id) { SendMessageA(Control(run, id), PBM_STEPIT, 0, 0); }

// Percentage of part in whole, product first and quotient truncated.
int Percent(int part, int whole) {
  return whole == 0 ? 0 : static_cast<int>(std::int64_t{part} * 100 / whole);
}

void Start(UploadRun& run) {
  run.totalLength = 0;
  run.totalSent = 0;
  run.totalSteps = 0;
  SendText("AAT*VER1\r", 9);
  uploadState.store(UPLOAD_WAIT_YN);
  run.collectIndex = 0;
}

// Takes one byte of a prompt wait into the collected text; true when the text now holds `prompt`.
// The text keeps the newest 99 bytes: when it is full the oldest byte makes room, so a prompt
// after a long banner is still seen.
bool Collect(UploadRun& run, const char* prompt, bool dropNul) {
  constexpr int kMaxCollected = LINE_BUFFER_SIZE - 1;
  char* place = &run.lineBuffer[run.collectIndex];
  char byte;
  if (run.collectIndex == kMaxCollected) {
    if (!RingGet(&byte)) return false;
    std::memmove(run.lineBuffer, run.lineBuffer + 1, kMaxCollected - 1);
    --run.collectIndex;
    place = &run.lineBuffer[run.collectIndex];
    *place = byte;
  } else if (!RingGet(place)) {
    return false;
  }
  if (!(dropNul && *place == 0)) ++run.collectIndex;
  run.lineBuffer[run.collectIndex] = 0;
  if (std::strstr(run.lineBuffer, prompt) == nullptr) return false;
  run.collectIndex = 0;
  return true;
}

void WaitYesNo(UploadRun& run) {
  if (!Collect(run, kPromptYesNo, true)) return;
  uploadState.store(UPLOAD_WAIT_YS);
  SendText("Y", 1);
  Sleep(1000);
  SetStatus(run, kErasingText);
}

void WaitYesSkip(UploadRun& run) {
  if (!Collect(run, kPromptYesSkip, false)) return;
  uploadState.store(UPLOAD_WAIT_PLEASE_UPLOAD);
  SendText("Y", 1);
  Sleep(1000);
}

void WaitPleaseUpload(UploadRun& run) {
  if (!Collect(run, kPromptUpload, false)) return;
  uploadState.store(UPLOAD_LOAD_IMAGE);
  Sleep(1000);
}

// Returns false when the image cannot be opened: the thread then ends.
bool LoadImage(UploadRun& run) {
  if (run.imageIndex == 0) {
    LoadImageTable();
    run.totalLength = ImageSetLength();
  }
  run.imageLength = ImageLength(run.imageIndex);
  run.imageSent = 0;
  uploadState.store(UPLOAD_SEND_LINES);
  run.imageSteps = 0;
  run.lineStart = OpenImage(run.imageIndex);
  if (run.lineStart == nullptr) {
    uploadState.store(UPLOAD_NO_IMAGE);
    return false;
  }
  ++run.imageIndex;
  SetStatus(run, kSendingText);
  return true;
}

void ShowProgress(UploadRun& run) {
  if (Percent(run.imageSent, run.imageLength) == run.imageSteps) return;
  StepBar(run, IDC_IMAGE_PROGRESS);
  if (run.imageSteps < 100) ++run.imageSteps;
  if (Percent(run.totalSent, run.totalLength) != run.totalSteps) {
    StepBar(run, IDC_TOTAL_PROGRESS);
    ++run.totalSteps;
  }
  std::snprintf(run.lineBuffer, sizeof run.lineBuffer, kBytesFormat, run.totalSent, run.totalLength, run.totalSteps);
  SetWindowTextA(Control(run, IDC_BYTES_TEXT), run.lineBuffer);
}

// Sends one line: its bytes up to the line feed, which is counted but not sent.
// The image's terminating NUL ends a last line that has no line feed.
void SendLine(UploadRun& run) {
  if (run.imageSent >= run.imageLength) {
    SendMessageA(Control(run, IDC_IMAGE_PROGRESS), PBM_SETPOS, 0, 0);
    uploadState.store(run.imageIndex < IMAGE_COUNT ? UPLOAD_WAIT_YS : UPLOAD_ALL_SENT);
    return;
  }
  int length = 0;
  while (run.lineStart[length] != '\n' && run.lineStart[length] != '\0') ++length;
  const int writeCount = run.lineStart[length] == '\0' ? length + 1 : length;
  ++length;
  run.imageSent += length;
  run.totalSent += length;
  if (run.lineStart[0] != '\n' && run.lineStart[0] != '\0') SendText(run.lineStart, writeCount);
  run.lineStart += length;
  ShowProgress(run);
}

void AllSent(UploadRun& run) {
  SetStatus(run, kCompleteText);
  uploadState.store(UPLOAD_DONE);
}

// One pass: one step of the current state. False when the thread is to end at once.
bool Pass(UploadRun& run) {
  switch (uploadState.load()) {
    case UPLOAD_START: Start(run); break;
    case UPLOAD_WAIT_YN: WaitYesNo(run); break;
    case UPLOAD_WAIT_YS: WaitYesSkip(run); break;
    case UPLOAD_WAIT_PLEASE_UPLOAD: WaitPleaseUpload(run); break;
    case UPLOAD_LOAD_IMAGE: return LoadImage(run);
    case UPLOAD_SEND_LINES: SendLine(run); break;
    case UPLOAD_ALL_SENT: AllSent(run); break;
    default: break;  // UPLOAD_DONE, UPLOAD_CLOSING: nothing until the stop request
  }
  return true;
}

}  // namespace

void UploadThreadProc(void* link) {
  UploadRun run;
  run.link = static_cast<UploadLink*>(link);
  while (run.link->stop.load() == 0 && Pass(run)) {
  }
  uploadThreadRunning.store(0);
  _endthread();
}
