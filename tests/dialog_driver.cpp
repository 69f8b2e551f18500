// Acting on the main dialog as a user would; see dialog_driver.h.
#include "tests/dialog_driver.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "resource.h"

namespace {

const int kMessageBoxText = 0xFFFF;

bool IsDialogClass(HWND window) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  return std::strcmp(name, "#32770") == 0;
}

BOOL CALLBACK MatchIconStatic(HWND child, LPARAM param) {
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  *reinterpret_cast<HICON*>(param) =
      reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
  return FALSE;
}

struct Search {
  const std::function<bool(HWND)>& match;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  if (!IsDialogClass(window) || !search->match(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// The first dialog-class top-level window that `match` takes, or null.
HWND FindDialogWhere(const std::function<bool(HWND)>& match) {
  Search search{match, nullptr};
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The window `find` finds, once it does, or null when none comes in time.
HWND WaitForWindow(const std::function<HWND()>& find, DWORD timeoutMs) {
  HWND window = nullptr;
  WaitUntil([&] { return (window = find()) != nullptr; }, timeoutMs);
  return window;
}

}  // namespace

std::string Narrow(const std::wstring& wide, UINT codePage) {
  std::string text(4 * wide.size(), '\0');  // room for any code page
  text.resize(WideCharToMultiByte(codePage, 0, wide.data(), wide.size(),
                                  &text[0], text.size(), nullptr, nullptr));
  return text;
}

std::wstring Widen(const std::string& text, UINT codePage) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(codePage, 0, text.data(), text.size(),
                                  &wide[0], wide.size()));
  return wide;
}

bool StartBeside(const char* relative, PROCESS_INFORMATION* process) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path = exe;
  path = path.substr(0, path.find_last_of("\\/") + 1) + relative;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  return CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, process) != FALSE;
}

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!cond()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(5);
  }
  return true;
}

// The dialog with the run button (its caption changes; no box has one), once
// shown, which is after WM_INITDIALOG.
HWND FindMainDialog(DWORD processId) {
  return FindDialogWhere([=](HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return (processId == 0 || pid == processId) && IsWindowVisible(window) &&
           GetDlgItem(window, IDC_RUN) != nullptr;
  });
}

HWND WaitForMainDialog(DWORD processId, DWORD timeoutMs) {
  return WaitForWindow([=] { return FindMainDialog(processId); }, timeoutMs);
}

HWND FindOwnedMessageBox(HWND dialog) {
  return FindDialogWhere([=](HWND window) {
    return GetWindow(window, GW_OWNER) == dialog && IsWindowVisible(window);
  });
}

HWND WaitForOwnedMessageBox(HWND dialog, DWORD timeoutMs) {
  return WaitForWindow([=] { return FindOwnedMessageBox(dialog); }, timeoutMs);
}

std::string WindowText(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(window, WM_GETTEXT, text.size(),
               reinterpret_cast<LPARAM>(text.data()));
  return Narrow(text.data());
}

std::string ControlText(HWND dialog, int id) {
  return WindowText(GetDlgItem(dialog, id));
}

void SetControlText(HWND dialog, int id, const std::string& text) {
  SetControlText(dialog, id, Widen(text));
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(text.c_str()));
}

std::string MessageBoxText(HWND box) {
  return ControlText(box, kMessageBoxText);
}

bool HasButton(HWND box, int id) { return GetDlgItem(box, id) != nullptr; }

bool ShowsIcon(HWND box, LPCSTR id) {
  HICON shown = nullptr;
  EnumChildWindows(box, MatchIconStatic, reinterpret_cast<LPARAM>(&shown));
  return shown != nullptr && shown == LoadIconA(nullptr, id);
}

void Click(HWND dialog, int id) {
  SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressKey(HWND window, UINT key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

void Drop(HWND window, const std::vector<std::wstring>& paths) {
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

void ChooseRange(HWND dialog, int index, bool throughLast) {
  SendDlgItemMessageW(dialog, IDC_FIRST_NUMBER, CB_SETCURSEL,
                      static_cast<WPARAM>(index), 0);
  const bool ticked = SendDlgItemMessageW(dialog, IDC_THROUGH_LAST, BM_GETCHECK,
                                          0, 0) == BST_CHECKED;
  if (ticked != throughLast) Click(dialog, IDC_THROUGH_LAST);
}

bool RunFinished(HWND dialog) {
  return ControlText(dialog, IDC_RUN) == "Esegui" &&
         IsWindowEnabled(GetDlgItem(dialog, IDC_EXIT));
}

long long ProgressCount(HWND dialog) {
  const std::string text = ControlText(dialog, IDC_PROGRESS);
  const char prefix[] = "Combinazione ";
  if (text.compare(0, sizeof prefix - 1, prefix) != 0) return -1;
  return std::atoll(text.c_str() + sizeof prefix - 1);
}
