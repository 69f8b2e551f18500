// The path box's own ways; see path_box.h.
#include "ui/path_box.h"

#include <shlwapi.h>

#include <cwchar>
#include <initializer_list>

#include "resource.h"
#include "run/output_path.h"
#include "run/run_state.h"

namespace {

// Ctrl+A as the keyboard types it.
const WPARAM kSelectAllKey = 0x01;
// Shown for a folder that is dropped, as for the path box at start.
const wchar_t kFileInFolder[] = L"GENERATO.TXT";
// The message by which Explorer hands a drop across the integrity levels.
const UINT kCopyGlobalData = 0x0049;

// The path box's own window procedure, which PathBoxProc hands the rest to:
// written at WM_INITDIALOG, read by PathBoxProc, both on the dialog's thread.
WNDPROC g_pathBoxProc = nullptr;

// The guide says to press Ctrl+A in the path box before pasting: Windows'
// edit box selects all on it by itself only since Windows 10 1809, and
// before that beeps.
LRESULT CALLBACK PathBoxProc(HWND box, UINT message, WPARAM wParam,
                             LPARAM lParam) {
  if (message == WM_CHAR && wParam == kSelectAllKey) {
    SendMessageW(box, EM_SETSEL, 0, -1);
    return 0;
  }
  return CallWindowProcW(g_pathBoxProc, box, message, wParam, lParam);
}

}  // namespace

// The drops of an Explorer that runs at a lower integrity level (Sestor
// started as administrator) reach it too.
void SetUpPathBox(HWND dialog) {
  HWND box = GetDlgItem(dialog, IDC_OUTPUT_FILE);
  g_pathBoxProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PathBoxProc)));
  SHAutoComplete(box, SHACF_FILESYS_ONLY);
  for (UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, kCopyGlobalData})
    ChangeWindowMessageFilterEx(dialog, message, MSGFLT_ALLOW, nullptr);
  DragAcceptFiles(dialog, TRUE);
}

void OnDropFiles(HWND dialog, HDROP drop) {
  wchar_t path[kFullPathCapacity];
  const UINT room = kFullPathCapacity - 1 - std::wcslen(kFileInFolder);
  const UINT length = g_workerThread.load() == nullptr
                          ? DragQueryFileW(drop, 0, path, room)
                          : 0;
  DragFinish(drop);
  if (length == 0) return;
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (path[length - 1] != L'\\') std::wcscat(path, L"\\");
    std::wcscat(path, kFileInFolder);
  }
  SetDlgItemTextW(dialog, IDC_OUTPUT_FILE, path);
}
