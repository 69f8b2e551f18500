// The main dialog's procedure and the progress display.
#pragma once

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                LPARAM lParam);

// Shows the combination counter in the progress text (timer ticks).
void ShowCombinationCount();
