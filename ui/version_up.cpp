#include "ui/version_up.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/window.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "serial/transmit.h"
#include "ui/progress_dialog.h"
#include "ui/templates.h"
#include "upload/upload.h"

char replyBuffer[REPLY_BUFFER_SIZE];
int promptPending;

namespace {

// Texts (code page 932).
const char kCheckingPower[] = "アダプタの電源の確認をします";
const char kConnectionConfirmed[] = "TR20KXの接続を確認しました";
const char kVersionUpRunning[] = "バージョンアップ中 . . . . .";
const char kInitialising[] = "初期化しています";
const char kVersionUpComplete[] = "バージョンアップ完了 － キャンセルを押して終了してください";
const char kVersionUpAbandoned[] = "バージョンアップ中止 － キャンセルを押して終了してください";
const char kNoAnswerText[] = "アダプタが正しく接続されているか確認してください";
const char kNoAnswerCaption[] = "ステータス";
const char kWrongAdapterText[] = "アダプタの種類が違います";
const char kWrongAdapterCaption[] = "エラー";

const char kIdentity[] = "MOLVEX TR20KX";
const char kLoaderPrompt[] = "Y or N";

enum class Identity { kConfirmed, kUnconfirmed, kNoAnswer, kWrongAdapter };

void SetStatus(HWND dialog, const char* text) { SetWindowTextA(GetDlgItem(dialog, IDC_MAIN_STATUS), text); }

bool ReplyHas(const char* text) { return std::strstr(replyBuffer, text) != nullptr; }

// Asks "AATI4\r" and, failing the identity text, "AATI1\r".
Identity Identify(HWND dialog) {
  SendText("AATI4\r", 6);
  if (WaitForLines(replyBuffer, sizeof replyBuffer, 4, 2) != 1) return Identity::kNoAnswer;
  if (!ReplyHas(kIdentity)) {
    SendText("AATI1\r", 6);
    // Silence here is no failure: the upload goes on unconfirmed.
    if (WaitForLines(replyBuffer, sizeof replyBuffer, 4, 2) != 1) return Identity::kUnconfirmed;
    if (!ReplyHas(kIdentity)) return Identity::kWrongAdapter;
  }
  SetStatus(dialog, kConnectionConfirmed);
  return Identity::kConfirmed;
}

// Tells the user why the command was abandoned, then leaves only Cancel.
BOOL Abandon(HWND dialog, const char* text, const char* caption) {
  MessageBoxA(nullptr, text, caption, MB_OK);
  StopReceiveThread();
  SetStatus(dialog, kVersionUpAbandoned);
  EnableWindow(GetDlgItem(dialog, IDC_VERSION_UP), FALSE);
  return TRUE;
}

// Restores and stores the adapter's factory settings after a finished upload.
BOOL FinishVersionUp(HWND dialog) {
  SetStatus(dialog, kInitialising);
  if (!ReapplyLineSettings()) {
    ClosePort();
    return FALSE;
  }
  Sleep(1000);
  WaitTicks(20);
  RingReset();
  SendText("AAT&F&W\r", 8);
  Sleep(100);
  SetStatus(dialog, kVersionUpComplete);
  EnableWindow(GetDlgItem(dialog, IDC_VERSION_UP), FALSE);
  return TRUE;
}

}  // namespace

BOOL RunVersionUp(HWND dialog) {
  if (portOpen.load() == 0) {
    ReadPortSelection();
    if (!OpenPort()) return FALSE;
  }
  if (!ApplyLineSettings()) {
    ClosePort();
    return FALSE;
  }
  if (!StartReceiveThread()) return FALSE;
  WaitTicks(8);
  SetStatus(dialog, kCheckingPower);

  SendText("AATE\r", 5);
  WaitForLines(replyBuffer, sizeof replyBuffer, 4, 1);
  promptPending = ReplyHas(kLoaderPrompt) ? 1 : 0;
  if (!promptPending) {
    Sleep(1000);
    switch (Identify(dialog)) {
      case Identity::kNoAnswer: return Abandon(dialog, kNoAnswerText, kNoAnswerCaption);
      case Identity::kWrongAdapter: return Abandon(dialog, kWrongAdapterText, kWrongAdapterCaption);
      case Identity::kConfirmed:
      case Identity::kUnconfirmed: break;
    }
    Sleep(1000);
    if (!ReapplyLineSettings()) {
      ClosePort();
      return FALSE;
    }
  }

  SetStatus(dialog, kVersionUpRunning);
  RunProgressDialog(dialog);
  if (uploadState.load() != UPLOAD_CLOSING) return TRUE;  // abandoned or stopped short
  return FinishVersionUp(dialog);
}
