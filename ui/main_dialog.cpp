// The main dialog: set-up, the exit and run buttons, and the progress timer.
// Everything else, Escape, the close box and Enter included, is ignored, so
// the dialog can only be left through "Uscita", which a run keeps disabled.
#include "ui/main_dialog.h"

#include <cstdio>

#include "generation/combinations.h"
#include "resource.h"
#include "run/generation_run.h"
#include "run/run_state.h"
#include "version.h"

namespace {

const char kCaption[] =
    "Sestor - Generazione combinazioni SuperEnalotto v." SESTOR_VERSION_SHORT;
const char kDefaultPath[] = "C:\\PROVA\\GENERATO.TXT";

// Index n of the list is first number n; index 0 is "Tutte". The list is not
// sorted, so "Primo numero 10" follows "Primo numero 9".
void FillFirstNumberList(HWND dialog) {
  SendDlgItemMessageA(dialog, IDC_FIRST_NUMBER, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>("Tutte"));
  for (int n = 1; n <= kLastFirstNumber; ++n) {
    char entry[80];
    std::snprintf(entry, sizeof entry, "Primo numero %i", n);
    SendDlgItemMessageA(dialog, IDC_FIRST_NUMBER, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(entry));
  }
  SendDlgItemMessageA(dialog, IDC_FIRST_NUMBER, CB_SETCURSEL, 0, 0);
}

void OnInitDialog(HWND dialog) {
  g_dialog = dialog;  // first: the worker and the progress display need it
  SetWindowTextA(dialog, kCaption);
  FillFirstNumberList(dialog);
  SetDlgItemTextA(dialog, IDC_OUTPUT_FILE, kDefaultPath);
  SetDlgItemTextA(dialog, IDC_PROGRESS, "");
  g_workerThread = nullptr;
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

}  // namespace

INT_PTR ShowMainDialog(HINSTANCE instance) {
  // A Unicode dialog, so that the path box keeps every character typed or
  // pasted into it: a box made by the byte-string call folds them into the
  // code page as they arrive. The texts the code sets still go in through
  // the byte-string calls, as Windows-1252.
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                         MainDialogProc, 0);
}

void ShowCombinationCount() { SetProgressText(g_combinationCount.load()); }

// Returns 0 for every message: no initial focus, and the dialog manager's
// defaults for everything else.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                LPARAM) {
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
  }
  return 0;
}
