// The main dialog: set-up, the exit and run buttons, the progress timer and
// the end of the session. Everything else, Escape, the close box and Enter
// included, is ignored, so the dialog can only be left through "Uscita",
// which a run keeps disabled.
#include "ui/main_dialog.h"

#include <cstdio>
#include <initializer_list>

#include "generation/combinations.h"
#include "resource.h"
#include "run/generation_run.h"
#include "run/run_state.h"
#include "run/window_text.h"
#include "ui/path_box.h"
#include "ui/run_caption.h"
#include "ui/taskbar_progress.h"

namespace {

const char kDefaultPath[] = "C:\\PROVA\\GENERATO.TXT";
// How long the end of the session waits for a stopped run to end; Windows
// gives an application about 5 s.
const DWORD kRunEndWaitMs = 2000;
// Index n of the list is first number n; index 0 is "Tutte". The list is not
// sorted, so "Primo numero 10" follows "Primo numero 9".
void FillFirstNumberList(HWND dialog) {
  AddListEntry1252(dialog, IDC_FIRST_NUMBER, "Tutte");
  for (int n = 1; n <= kLastFirstNumber; ++n) {
    char entry[80];
    std::snprintf(entry, sizeof entry, "Primo numero %i", n);
    AddListEntry1252(dialog, IDC_FIRST_NUMBER, entry);
  }
  SendDlgItemMessageW(dialog, IDC_FIRST_NUMBER, CB_SETCURSEL, 0, 0);
}

// A user32 call of Windows 10 1607 and later, or null where there is none.
template <typename Call>
Call NewerUserCall(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The dialog's DPI, which follows its monitor; 0 where Windows tells only
// its own.
UINT DialogDpi(HWND dialog) {
  static const auto forWindow =
      NewerUserCall<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  return forWindow != nullptr ? forWindow(dialog) : 0;
}

int IconMetric(int metric, UINT dpi) {
  static const auto forDpi =
      NewerUserCall<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return dpi != 0 && forDpi != nullptr ? forDpi(metric, dpi)
                                       : GetSystemMetrics(metric);
}

// Icons set with WM_SETICON stay the program's to destroy, once replaced.
void ReplaceIcon(HWND dialog, WPARAM which, HANDLE icon) {
  const LRESULT old =
      SendMessageW(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  if (old != 0) DestroyIcon(reinterpret_cast<HICON>(old));
}

// The program's icon where Windows shows a window's (Alt+Tab, the taskbar,
// the caption), at the sizes the system draws there at the monitor's DPI:
// a dialog's class has none of its own.
void SetDialogIcons(HWND dialog, UINT dpi) {
  const HINSTANCE instance =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
  const struct {
    WPARAM which;
    int width, height;
  } icons[] = {{ICON_BIG, SM_CXICON, SM_CYICON},
               {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
  for (const auto& icon : icons) {
    ReplaceIcon(dialog, icon.which,
                LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                           IconMetric(icon.width, dpi),
                           IconMetric(icon.height, dpi), 0));
  }
}

void OnInitDialog(HWND dialog) {
  g_dialog = dialog;  // first: the worker and the progress display need it
  ShowProgramCaption(dialog);
  SetDialogIcons(dialog, DialogDpi(dialog));
  FillFirstNumberList(dialog);
  SetControlText1252(dialog, IDC_OUTPUT_FILE, kDefaultPath);
  SetUpPathBox(dialog);
  SetControlText1252(dialog, IDC_PROGRESS, "");
  g_workerThread = nullptr;
  // Explorer's notice still reaches a program started as administrator.
  ChangeWindowMessageFilterEx(dialog, TaskbarButtonCreatedMessage(),
                              MSGFLT_ALLOW, nullptr);
}

void OnCommand(HWND dialog, WORD id) {
  switch (id) {
    case IDC_EXIT:
      EndDialog(dialog, 1);
      break;
    case IDC_RUN:
      OnRunCommand();
      break;
    default:  // IDOK (Enter) and IDCANCEL (Escape, close box) included
      break;
  }
}

// The file opened or closed (see kWritingMessage): the progress timer, and
// the progress on the taskbar button and in the caption.
void OnWritingMessage(HWND dialog, bool writing, LPARAM detail) {
  OnWritingNotice(writing);
  if (writing) {
    ShowRunOnTaskbar(dialog, static_cast<int>(detail));
    StartCaptionProgress(dialog, static_cast<int>(detail));
  } else {
    ShowFileClosedOnTaskbar(dialog, g_combinationCount.load(), detail != FALSE);
    ShowProgramCaption(dialog);
  }
}

// A run started since the notice was posted keeps its button.
void OnRunEnded(HWND dialog, LPARAM worker) {
  if (OnRunEndedNotice(reinterpret_cast<HANDLE>(worker))) ClearTaskbar(dialog);
}

void OnDestroy(HWND dialog) {
  ReleaseTaskbar();
  for (WPARAM which : {ICON_BIG, ICON_SMALL}) ReplaceIcon(dialog, which, 0);
}

// Logging off, shutting down or restarting while a file is written would
// end it in the middle: refused then (its reason is on the shutdown
// screen), allowed otherwise.
INT_PTR OnQueryEndSession(HWND dialog) {
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, WritingFile() ? FALSE : TRUE);
  return TRUE;
}

// The session ends all the same. The run stops; when the user chose to end
// it, the run also ends with its file closed before the process goes, so
// the file holds whole lines. The worker's last steps are calls that this
// thread serves, so it takes them as they come while it waits; a message
// box could hold the worker up, hence the bound, well within the time
// Windows gives. A critical end (a failing battery, say) gives no time at
// all: each block went out in one write, so the file ends in a whole line.
// The worker's handle stays valid meanwhile: this thread releases it.
void OnEndSession(WPARAM ending, LPARAM how) {
  const HANDLE worker = g_workerThread.load();
  if (!ending || worker == nullptr) return;
  g_stopRequest = 1;
  if (how & ENDSESSION_CRITICAL) return;
  const DWORD deadline = GetTickCount() + kRunEndWaitMs;
  DWORD left = kRunEndWaitMs;
  do {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (MsgWaitForMultipleObjects(1, &worker, FALSE, left, QS_SENDMESSAGE) !=
        WAIT_OBJECT_0 + 1) {
      return;  // the run has ended, or the time is up
    }
    left = deadline - GetTickCount();
  } while (left <= kRunEndWaitMs);  // past the deadline it wraps round
}

}  // namespace

INT_PTR ShowMainDialog(HINSTANCE instance) {
  // COM for the taskbar button, on this thread, which owns it.
  const HRESULT com = CoInitializeEx(
      nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // A Unicode dialog, so that the path box keeps every character typed or
  // pasted into it: a box made by the byte-string call folds them into the
  // code page as they arrive.
  const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN),
                                         nullptr, MainDialogProc, 0);
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

void ShowCombinationCount() {
  const int count = g_combinationCount.load();
  SetProgressText(count);
  ShowLinesOnTaskbar(g_dialog, count);
  ShowCaptionProgress(g_dialog, count);
}

// Returns 0 (no initial focus, the dialog manager's defaults) for every
// message but the question whether the session may end.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      break;
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam));
      break;
    case WM_TIMER:
      if (wParam == IDT_PROGRESS) ShowCombinationCount();
      break;
    case kWritingMessage:
      OnWritingMessage(dialog, wParam != FALSE, lParam);
      break;
    case kRunEndedMessage:
      OnRunEnded(dialog, lParam);
      break;
    case WM_DPICHANGED:  // the dialog itself is scaled by Windows
      SetDialogIcons(dialog, LOWORD(wParam));
      break;
    case WM_DROPFILES:
      OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
      break;
    case WM_DESTROY:
      OnDestroy(dialog);
      break;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession(dialog);
    case WM_ENDSESSION:
      OnEndSession(wParam, lParam);
      break;
    default:
      if (message == TaskbarButtonCreatedMessage()) ConnectTaskbar(dialog);
      break;
  }
  return 0;
}
