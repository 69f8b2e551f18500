// The boxes of a run: the questions it asks before it writes, and what it
// tells when a file can't be created or written, with the path and the
// cause, as Windows' own programs tell it. All owned by the dialog, shown
// by the worker.
#pragma once

#include <windows.h>

// "Il file esiste già. Vuoi sovrascrivere": true for Yes.
bool AgreesToOverwrite();

// The run takes `need` bytes and the file at `full` can't hold them: the
// file system's largest file is `largest` (0: that is not the limit), or
// the user may fill only `usable` bytes there. True when the user wants
// what fits all the same; No is the default.
bool AgreesToWriteWhatFits(const wchar_t* full, ULONGLONG need,
                           ULONGLONG usable, ULONGLONG largest,
                           const wchar_t* fileSystem);

// "Impossibile creare il file", for what the path box holds (`typed`, as
// cleaned) when the path rule refuses it.
void ShowRefusal(const wchar_t* typed, DWORD cause);
// The same for the file at `full`, for Windows' error or a cause of the
// program's own (run/output_path.h).
void ShowCreateFailure(const wchar_t* full, DWORD cause);
// "Errore durante la scrittura del file", with Windows' error.
void ShowWriteFailure(const wchar_t* full, DWORD error);
