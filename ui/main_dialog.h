// The main dialog, its procedure and the progress display.
#pragma once

#include <windows.h>

// Shows the main dialog modally until "Uscita"; returns what it ended with.
INT_PTR ShowMainDialog(HINSTANCE instance);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                LPARAM lParam);

// Shows the combination counter in the progress text (timer ticks).
void ShowCombinationCount();
