// Process-wide values of a run that the dialog and the worker share. The
// counter, the stop request and the output stream live with the enumerator
// (generation/combinations.h).
#pragma once

#include <windows.h>

#include <atomic>

// The main dialog: written at WM_INITDIALOG before any worker exists, read by
// the worker and the progress display to reach the controls.
extern HWND g_dialog;

// The running worker thread, null when no run is active: set by OnRunCommand,
// cleared by the worker as its last act (the dialog's thread then releases
// the handle); the only marker of an active run.
extern std::atomic<HANDLE> g_workerThread;
