// Serial port naming and line settings: the one port in use, how the ports are
// found, opened and given the adapter's fixed line settings.
#pragma once

#include <atomic>

#include "platform/serial_port.h"

constexpr int PORT_NAME_SIZE = 10;     // "\\.\COM99" and its NUL
constexpr int PORT_PROBE_COUNT = 100;  // COM0 to COM99

extern std::atomic<HANDLE> portHandle;  // the open port; meaningful only while portOpen is 1
extern char portName[PORT_NAME_SIZE];   // selected list text, or its device form once opened
extern std::atomic<int> portOpen;       // 1 exactly while portHandle is an open port
extern COMMCONFIG portConfig;           // read at open; its DCB carries the line settings

// Fills `list` with the names ("COMn") of the ports that can be opened now, in
// ascending port order, at most `capacity` of them; returns how many.
int ProbePorts(char list[][PORT_NAME_SIZE], int capacity);

// Copies the selected entry of the main dialog's port list into portName; 0 (portName
// unchanged) when no entry is selected.
int ReadPortSelection();

// Brings portName into its device form where needed, opens it and reads its configuration.
int OpenPort();

// Writes the fixed line settings into portConfig's DCB and applies it; 0 when refused.
int ApplyLineSettings();

// Applies portConfig's DCB again with BaudRate set to 115200; 0 when refused.
int ReapplyLineSettings();

// Closes portHandle and clears portOpen.
void ClosePort();

// Clears the port's error state.
void ClearPortErrors();
