// The version-up command: port, adapter check, the upload through the progress
// dialog, and the final command that restores the adapter's factory settings.
#pragma once

#include "platform/win_types.h"

constexpr int REPLY_BUFFER_SIZE = 96;

extern char replyBuffer[REPLY_BUFFER_SIZE];  // the adapter check's replies; never cleared
extern int promptPending;                    // 1 when the first reply showed the loader's "Y or N"

// Runs the whole command from the main dialog `dialog`; FALSE only when the port could
// not be opened or configured, or the receive thread not started.
BOOL RunVersionUp(HWND dialog);
