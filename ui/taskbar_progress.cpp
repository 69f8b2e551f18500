// The run's progress on the taskbar button; see taskbar_progress.h.
#include "ui/taskbar_progress.h"

#include <shobjidl.h>

namespace {

// The taskbar object: taken and released by the dialog's thread, which
// alone uses it; null where there is no taskbar.
ITaskbarList3* g_taskbar = nullptr;
// What the button should show, kept whether or not there is a taskbar, so
// that one that appears (or comes back) mid-run shows the run: written and
// read by the dialog's thread.
TBPFLAG g_taskbarState = TBPF_NOPROGRESS;
ULONGLONG g_taskbarDone = 0;
ULONGLONG g_taskbarTotal = 0;

void ShowState(HWND dialog, TBPFLAG state) {
  g_taskbarState = state;
  if (g_taskbar != nullptr) g_taskbar->SetProgressState(dialog, state);
}

}  // namespace

UINT TaskbarButtonCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

void ConnectTaskbar(HWND dialog) {
  ReleaseTaskbar();
  ITaskbarList3* taskbar = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ITaskbarList3,
                              reinterpret_cast<void**>(&taskbar)))) {
    return;
  }
  if (FAILED(taskbar->HrInit())) {
    taskbar->Release();
    return;
  }
  g_taskbar = taskbar;
  if (g_taskbarState == TBPF_NOPROGRESS) return;
  ShowState(dialog, g_taskbarState);
  ShowLinesOnTaskbar(dialog, static_cast<int>(g_taskbarDone));
}

void ShowRunOnTaskbar(HWND dialog, int total) {
  g_taskbarTotal = static_cast<ULONGLONG>(total);
  ShowState(dialog, TBPF_NORMAL);
  ShowLinesOnTaskbar(dialog, 0);
}

void ShowLinesOnTaskbar(HWND dialog, int done) {
  g_taskbarDone = static_cast<ULONGLONG>(done);
  // Windows takes a value as the normal state unless the button is red, so
  // a tick that comes after the run's end would turn it green again.
  if (g_taskbar != nullptr && g_taskbarState != TBPF_NOPROGRESS)
    g_taskbar->SetProgressValue(dialog, g_taskbarDone, g_taskbarTotal);
}

void ShowFileClosedOnTaskbar(HWND dialog, int done, bool stored) {
  ShowLinesOnTaskbar(dialog, done);
  if (!stored) ShowState(dialog, TBPF_ERROR);
}

void ClearTaskbar(HWND dialog) { ShowState(dialog, TBPF_NOPROGRESS); }

void ReleaseTaskbar() {
  if (g_taskbar == nullptr) return;
  g_taskbar->Release();
  g_taskbar = nullptr;
}
