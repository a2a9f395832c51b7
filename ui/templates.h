// Dialog resources and control identifiers.
#pragma once

constexpr int IDD_MAIN = 106;
constexpr int IDD_PROGRESS = 107;

constexpr int IDC_VERSION_UP = 1003;
constexpr int IDC_CANCEL_BUTTON = 1004;
constexpr int IDC_MAIN_STATUS = 1010;
constexpr int IDC_PORT_LIST = 1017;

constexpr int IDC_STATUS_TEXT = 1033;
constexpr int IDC_IMAGE_PROGRESS = 1022;
constexpr int IDC_BYTES_TEXT = 1026;
constexpr int IDC_TOTAL_PROGRESS = 1031;
