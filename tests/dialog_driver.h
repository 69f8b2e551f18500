// Acting on the main dialog as a user would, from another thread or
// process. Texts cross as Windows-1252 bytes, through the wide calls so that
// they survive the trip between processes.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "resource.h"

// Between the wide calls' text and bytes: Windows-1252, as the program
// keeps its own, or another code page (CP_UTF8 for a test's messages).
inline std::string Narrow(const std::wstring& wide, UINT codePage = 1252) {
  std::string text(4 * wide.size(), '\0');  // room for any code page
  text.resize(WideCharToMultiByte(codePage, 0, wide.data(), wide.size(),
                                  &text[0], text.size(), nullptr, nullptr));
  return text;
}
inline std::wstring Widen(const std::string& text, UINT codePage = 1252) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(codePage, 0, text.data(), text.size(),
                                  &wide[0], wide.size()));
  return wide;
}
inline std::wstring Widen(const std::wstring& text) { return text; }

// Starts the program at `relative` to this one's folder ("..\\Sestor.exe").
inline bool StartBeside(const char* relative, PROCESS_INFORMATION* process) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path = exe;
  path = path.substr(0, path.find_last_of("\\/") + 1) + relative;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  return CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, process) != FALSE;
}

// Polls cond every few milliseconds until it holds or timeoutMs passes.
inline bool WaitUntil(const std::function<bool()>& cond,
                      DWORD timeoutMs = 10000) {
  const DWORD start = GetTickCount();
  while (!cond()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(5);
  }
  return true;
}

// The first dialog-class top-level window that `match` takes, or null; the
// window `find` finds once it does, or null when none comes in time.
inline HWND FindDialogWhere(const std::function<bool(HWND)>& match) {
  struct Search {
    const std::function<bool(HWND)>& match;
    HWND found;
  } search{match, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) __attribute__((stdcall))->BOOL {
        Search* s = reinterpret_cast<Search*>(param);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (std::strcmp(name, "#32770") != 0 || !s->match(window)) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}
inline HWND WaitForWindow(const std::function<HWND()>& find, DWORD timeoutMs) {
  HWND window = nullptr;
  WaitUntil([&] { return (window = find()) != nullptr; }, timeoutMs);
  return window;
}

// The main dialog of the process (0: any): the one with the run button (its
// caption changes; no box has one), once shown, after WM_INITDIALOG.
inline HWND FindMainDialog(DWORD processId = 0) {
  return FindDialogWhere([=](HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return (processId == 0 || pid == processId) && IsWindowVisible(window) &&
           GetDlgItem(window, IDC_RUN) != nullptr;
  });
}
inline HWND WaitForMainDialog(DWORD processId = 0, DWORD timeoutMs = 15000) {
  return WaitForWindow([=] { return FindMainDialog(processId); }, timeoutMs);
}

// A message box that the dialog owns, or null.
inline HWND FindOwnedMessageBox(HWND dialog) {
  return FindDialogWhere([=](HWND window) {
    return GetWindow(window, GW_OWNER) == dialog && IsWindowVisible(window);
  });
}
inline HWND WaitForOwnedMessageBox(HWND dialog, DWORD timeoutMs = 10000) {
  return WaitForWindow([=] { return FindOwnedMessageBox(dialog); }, timeoutMs);
}

inline std::string WindowText(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(window, WM_GETTEXT, text.size(),
               reinterpret_cast<LPARAM>(text.data()));
  return Narrow(text.data());
}
inline std::string ControlText(HWND dialog, int id) {
  return WindowText(GetDlgItem(dialog, id));
}
inline void SetControlText(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(text.c_str()));
}
inline void SetControlText(HWND dialog, int id, const std::string& text) {
  SetControlText(dialog, id, Widen(text));
}

// A message box's text, its buttons, the system's icon it shows (IDI_ERROR
// ...; in this process).
inline std::string MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }
inline bool HasButton(HWND box, int id) {
  return GetDlgItem(box, id) != nullptr;
}
inline bool ShowsIcon(HWND box, LPCSTR id) {
  HICON shown = nullptr;
  EnumChildWindows(
      box, [](HWND child, LPARAM param) __attribute__((stdcall))->BOOL {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
          return TRUE;
        *reinterpret_cast<HICON*>(param) =
            reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&shown));
  return shown != nullptr && shown == LoadIconA(nullptr, id);
}

inline void Click(HWND dialog, int id) {
  SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Posts a key press to a window as the keyboard would.
inline void PressKey(HWND window, UINT key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// Drops `paths` on the window as Explorer does; the window frees the drop.
inline void Drop(HWND window, const std::vector<std::wstring>& paths) {
  std::wstring names;
  for (const std::wstring& path : paths) names += path + L'\0';
  names += L'\0';
  HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + 2 * names.size());
  auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  std::memcpy(files + 1, names.data(), 2 * names.size());
  GlobalUnlock(drop);
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

// Selects a list entry and ticks the box or not; Aim types a path too.
inline void ChooseRange(HWND dialog, int index, bool throughLast) {
  SendDlgItemMessageW(dialog, IDC_FIRST_NUMBER, CB_SETCURSEL,
                      static_cast<WPARAM>(index), 0);
  const bool ticked = SendDlgItemMessageW(dialog, IDC_THROUGH_LAST, BM_GETCHECK,
                                          0, 0) == BST_CHECKED;
  if (ticked != throughLast) Click(dialog, IDC_THROUGH_LAST);
}
template <typename Path>
void Aim(HWND dialog, const Path& path, int index = -1, bool through = false) {
  SetControlText(dialog, IDC_OUTPUT_FILE, path);
  if (index >= 0) ChooseRange(dialog, index, through);
}

// A run is over, seen from outside: "Esegui" again, "Uscita" enabled.
inline bool RunFinished(HWND dialog) {
  return ControlText(dialog, IDC_RUN) == "Esegui" &&
         IsWindowEnabled(GetDlgItem(dialog, IDC_EXIT));
}

// The number in a "Combinazione N" progress text, or -1.
inline long long ProgressCount(HWND dialog) {
  const std::string text = ControlText(dialog, IDC_PROGRESS);
  const char prefix[] = "Combinazione ";
  if (text.compare(0, sizeof prefix - 1, prefix) != 0) return -1;
  return std::atoll(text.c_str() + sizeof prefix - 1);
}
