// The run button's start-or-stop decision and the worker that carries out
// one run: options, control locking, overwrite question, file, progress
// timer, enumeration and final count.
#pragma once

#include <windows.h>

// On the UI thread, for every press of the run button: starts a run when
// none is active, otherwise asks the active one to stop.
void OnRunCommand();

// The worker thread's procedure; one call is one run.
DWORD WINAPI GenerationThread(LPVOID parameter);

// Formats "Combinazione %d" with count into the progress text.
void SetProgressText(int count);

// Sent by the worker to the dialog once its file is open (wParam TRUE,
// lParam the lines the run will write in all) and once it is closed again
// (FALSE, lParam TRUE when every line reached the file); the dialog hands it
// to OnWritingNotice and shows it on the taskbar.
constexpr UINT kWritingMessage = WM_APP + 1;
// Posted by the worker once the run is over (lParam its thread's handle);
// for OnRunEndedNotice.
constexpr UINT kRunEndedMessage = WM_APP + 2;

// On the UI thread, which owns the dialog and so its timer: the progress
// timer and the reason on the shutdown screen last from the file's opening
// to its closing.
void OnWritingNotice(bool writing);
// Whether a file is being written now; on the UI thread.
bool WritingFile();

// On the UI thread: releases the ended run's thread handle. False when
// another run has started since.
bool OnRunEndedNotice(HANDLE worker);
