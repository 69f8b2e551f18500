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
#include "ui/taskbar_progress.h"
#include "version.h"

namespace {

const char kCaption[] =
    "Sestor - Generazione combinazioni SuperEnalotto v." SESTOR_VERSION_SHORT;
const char kDefaultPath[] = "C:\\PROVA\\GENERATO.TXT";
// How long the end of the session waits for a stopped run to end; Windows
// gives an application about 5 s.
const DWORD kRunEndWaitMs = 2000;
// How often it looks whether the run has ended.
const DWORD kRunEndPollMs = 10;

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

// The program's icon where Windows shows a window's (Alt+Tab, the taskbar,
// the caption), at the sizes the system draws there: a dialog's class has
// none of its own.
void SetDialogIcons(HWND dialog) {
  const HINSTANCE instance =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
  const struct {
    WPARAM which;
    int width, height;
  } icons[] = {{ICON_BIG, SM_CXICON, SM_CYICON},
               {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
  for (const auto& icon : icons) {
    const HANDLE image = LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP),
                                    IMAGE_ICON, GetSystemMetrics(icon.width),
                                    GetSystemMetrics(icon.height), 0);
    SendMessageW(dialog, WM_SETICON, icon.which,
                 reinterpret_cast<LPARAM>(image));
  }
}

// Icons set with WM_SETICON stay the program's to destroy.
void DestroyDialogIcons(HWND dialog) {
  for (WPARAM which : {ICON_BIG, ICON_SMALL}) {
    DestroyIcon(
        reinterpret_cast<HICON>(SendMessageW(dialog, WM_SETICON, which, 0)));
  }
}

void OnInitDialog(HWND dialog) {
  g_dialog = dialog;  // first: the worker and the progress display need it
  SetWindowText1252(dialog, kCaption);
  SetDialogIcons(dialog);
  FillFirstNumberList(dialog);
  SetControlText1252(dialog, IDC_OUTPUT_FILE, kDefaultPath);
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
// the progress on the taskbar button.
void OnWritingMessage(HWND dialog, bool writing, LPARAM detail) {
  OnWritingNotice(writing);
  if (writing) {
    ShowRunOnTaskbar(dialog, static_cast<int>(detail));
  } else {
    ShowFileClosedOnTaskbar(dialog, g_combinationCount.load(), detail != FALSE);
  }
}

// A run started since the notice was posted keeps its button.
void OnRunEnded(HWND dialog) {
  if (OnRunEndedNotice()) ClearTaskbar(dialog);
}

void OnDestroy(HWND dialog) {
  ReleaseTaskbar();
  DestroyDialogIcons(dialog);
}

// Logging off, shutting down or restarting during a run would end it in
// the middle: refused while a run is active (its reason is on the shutdown
// screen), allowed otherwise.
INT_PTR OnQueryEndSession(HWND dialog) {
  const bool running = g_workerThread.load() != nullptr;
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, running ? FALSE : TRUE);
  return TRUE;
}

// The session ends all the same. The run stops; when the user chose to end
// it, the run also ends with its file closed before the process goes, so
// the file holds whole lines. The worker's last steps are calls that this
// thread serves, so it takes them as they come while it waits; a message
// box could hold the worker up, hence the bound, well within the time
// Windows gives. A critical end (a failing battery, say) gives no time at
// all: each block went out in one write, so the file ends in a whole line.
void OnEndSession(WPARAM ending, LPARAM how) {
  if (!ending || g_workerThread.load() == nullptr) return;
  g_stopRequest = 1;
  if (how & ENDSESSION_CRITICAL) return;
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (g_workerThread.load() == nullptr ||
        GetTickCount() - start >= kRunEndWaitMs) {
      return;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kRunEndPollMs, QS_SENDMESSAGE);
  }
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
      OnRunEnded(dialog);
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
