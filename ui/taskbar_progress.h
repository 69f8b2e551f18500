// The run's progress on the program's taskbar button (Windows 7 and later),
// as Windows' own file copies show theirs: green while a file is written,
// red while a write error is reported, nothing otherwise. All on the
// dialog's thread, which owns the taskbar object; where there is no taskbar
// (or it refuses), nothing is shown and nothing else changes.
#pragma once

#include <windows.h>

// The message Explorer sends once the button exists, and again to every
// window after Explorer restarts, its old button gone.
UINT TaskbarButtonCreatedMessage();

// On that message: takes a taskbar object afresh and shows on it what the
// button should show now.
void ConnectTaskbar(HWND dialog);

// The file is open and `total` lines are to come.
void ShowRunOnTaskbar(HWND dialog, int total);
// So many of them have been handed to the file.
void ShowLinesOnTaskbar(HWND dialog, int done);
// The file is closed: red when its lines did not all reach it.
void ShowFileClosedOnTaskbar(HWND dialog, int done, bool stored);
// The run is over: nothing on the button.
void ClearTaskbar(HWND dialog);

// Gives the taskbar object back, before the dialog ends.
void ReleaseTaskbar();
