// Acting on the main dialog as a user would, from another thread or
// process. Texts cross as Windows-1252 bytes, through the wide calls so that
// they survive the trip between processes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "resource.h"

// Starts the program at `relative` to this one's folder ("..\\Sestor.exe").
bool StartBeside(const char* relative, PROCESS_INFORMATION* process);

// Polls cond every few milliseconds until it holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs = 10000);

// The main dialog of the process (0: any), a message box the dialog owns.
HWND FindMainDialog(DWORD processId = 0);
HWND WaitForMainDialog(DWORD processId = 0, DWORD timeoutMs = 15000);
HWND FindOwnedMessageBox(HWND dialog);
HWND WaitForOwnedMessageBox(HWND dialog, DWORD timeoutMs = 10000);

// Between the wide calls' text and bytes: Windows-1252, as the program
// keeps its own, or another code page (CP_UTF8 for a test's messages).
std::string Narrow(const std::wstring& wide, UINT codePage = 1252);
std::wstring Widen(const std::string& text, UINT codePage = 1252);
inline std::wstring Widen(const std::wstring& text) { return text; }

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);
void SetControlText(HWND dialog, int id, const std::wstring& text);

// A message box's text, its buttons, the system's icon it shows (IDI_ERROR
// ...; in this process).
std::string MessageBoxText(HWND box);
bool HasButton(HWND box, int id);
bool ShowsIcon(HWND box, LPCSTR id);

void Click(HWND dialog, int id);
// Posts a key press to a window as the keyboard would.
void PressKey(HWND window, UINT key);

// Drops `paths` on the window as Explorer does; the window frees the drop.
void Drop(HWND window, const std::vector<std::wstring>& paths);

// Selects a list entry and ticks the box or not; Aim types a path too.
void ChooseRange(HWND dialog, int index, bool throughLast);
template <typename Path>
void Aim(HWND dialog, const Path& path, int index = -1, bool through = false) {
  SetControlText(dialog, IDC_OUTPUT_FILE, path);
  if (index >= 0) ChooseRange(dialog, index, through);
}

// A run is over, seen from outside: "Esegui" again, "Uscita" enabled.
bool RunFinished(HWND dialog);

// The number in a "Combinazione N" progress text, or -1.
long long ProgressCount(HWND dialog);
