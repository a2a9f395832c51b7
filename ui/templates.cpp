// The dialog templates. This file is written in UTF-8 and compiled to CP932, so every text
// here is the CP932 byte string the user sees.
#include "ui/templates.h"

namespace {

constexpr WORD kJapanese = 1041;
constexpr DWORD kDialogStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kBarStyle = WS_CHILD | WS_VISIBLE | WS_BORDER;

const DialogItemTemplate mainItems[] = {
    {WC_BUTTONA, "バージョンアップ(&V)", IDC_VERSION_UP, kButtonStyle, WS_EX_RIGHT | WS_EX_TRANSPARENT, 81, 40, 69, 30},
    {WC_BUTTONA, "キャンセル(&C)", IDC_CANCEL_BUTTON, kButtonStyle, 0, 155, 40, 49, 30},
    {WC_STATICA, "", IDC_MAIN_STATUS, kLabelStyle, 0, 10, 15, 190, 10},
    {WC_COMBOBOXA, "", IDC_PORT_LIST,
     WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_NOINTEGRALHEIGHT, 0, 10, 48, 55, 80},
    {WC_BUTTONA, "状態", IDC_STATIC, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 5, 5, 200, 25},
    {WC_BUTTONA, "COMポート", IDC_STATIC, WS_CHILD | WS_VISIBLE | BS_GROUPBOX | BS_CENTER, 0, 5, 35, 65, 35},
};

const DialogItemTemplate progressItems[] = {
    {WC_STATICA, "", IDC_BYTES_TEXT, kLabelStyle, 0, 10, 42, 160, 8},
    {PROGRESS_CLASSA, "", IDC_TOTAL_PROGRESS, kBarStyle, 0, 10, 64, 160, 9},
    {PROGRESS_CLASSA, "", IDC_IMAGE_PROGRESS, kBarStyle, 0, 10, 30, 160, 9},
    {WC_STATICA, "進行状況", IDC_STATIC, kLabelStyle, 0, 10, 53, 28, 8},
    {WC_STATICA, "データ送信", IDC_STATIC, kLabelStyle, 0, 10, 19, 34, 8},
    {WC_STATICA, "", IDC_STATUS_TEXT, kLabelStyle, 0, 10, 7, 110, 10},
};

const char kFace[] = "ＭＳ Ｐゴシック";

}  // namespace

const DialogTemplate mainDialogTemplate = {
    IDD_MAIN, kJapanese, kDialogStyle, 0, 100, 100, 211, 79,
    "ＴＲ２０ＫＸ　ダウンローダー　ｖｅｒ１．２４ｖｔ", 9, 0, 0, 1, kFace,
    mainItems, static_cast<int>(sizeof mainItems / sizeof mainItems[0]),
};

const DialogTemplate progressDialogTemplate = {
    IDD_PROGRESS, kJapanese, kDialogStyle, 0, 0, 35, 187, 105,
    "バージョンアップ中", 9, 0, 0, 1, kFace,
    progressItems, static_cast<int>(sizeof progressItems / sizeof progressItems[0]),
};

namespace {

// Enters both templates into the dialog resources before main runs.
const bool registered = RegisterDialogTemplate(&mainDialogTemplate) && RegisterDialogTemplate(&progressDialogTemplate);

}  // namespace
