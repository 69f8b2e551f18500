// Acting on the main dialog as a user would, from another thread or another
// process: finding it and the message boxes it owns, reading and setting
// texts, pressing buttons and keys. Texts cross as Windows-1252 bytes, read
// through the wide calls so that they survive the trip between processes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Starts the program at `relative` (to this program's own folder), e.g.
// "..\\Sestor.exe"; false when it can't be started.
bool StartBeside(const char* relative, PROCESS_INFORMATION* process);

// Polls cond every few milliseconds until it holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs = 10000);

// The main dialog of the given process (0: of any process), by its caption.
HWND FindMainDialog(DWORD processId = 0);
HWND WaitForMainDialog(DWORD processId = 0, DWORD timeoutMs = 15000);

// A message box owned by the dialog, or null.
HWND FindOwnedMessageBox(HWND dialog);
HWND WaitForOwnedMessageBox(HWND dialog, DWORD timeoutMs = 10000);

// Text between the wide calls and bytes: Windows-1252, as the program keeps
// its own, or another code page (CP_UTF8 for a test's own messages).
std::string Narrow(const std::wstring& wide, UINT codePage = 1252);
std::wstring Widen(const std::string& text, UINT codePage = 1252);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);
// The same for any characters, as a user types or pastes them.
void SetControlText(HWND dialog, int id, const std::wstring& text);

// The text of a message box, its caption and whether it has a button.
std::string MessageBoxText(HWND box);
bool HasButton(HWND box, int id);
// Whether a message box of this process shows the system's icon `id`
// (IDI_INFORMATION, IDI_ERROR, ...).
bool ShowsIcon(HWND box, LPCSTR id);

void Click(HWND dialog, int id);
// Posts a key press to a window as the keyboard would.
void PressKey(HWND window, UINT key);

// Selects an entry of the first-number list, and clicks the check box if it
// is not as wanted.
void ChooseRange(HWND dialog, int index, bool throughLast);

// A run is over, as another program sees it, when the run button reads
// "Esegui" and the exit button is enabled again.
bool RunFinished(HWND dialog);

// The number in a "Combinazione N" progress text, or -1.
long long ProgressCount(HWND dialog);
