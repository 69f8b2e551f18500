// The window's caption: the program's own, and during a run the share of
// it done and the time left before it, as Windows' own progress windows
// (Explorer's copies) show them, so that Alt+Tab and the taskbar's
// thumbnail show them too. All on the dialog's thread.
#pragma once

#include <windows.h>

// The program's own caption; a run's progress, if shown, ends.
void ShowProgramCaption(HWND dialog);
// A run's file is open, with `total` lines to come.
void StartCaptionProgress(HWND dialog, int total);
// So many of them have been handed to the file (the timer's ticks); nothing
// once the run's progress has ended.
void ShowCaptionProgress(HWND dialog, int done);
