// The run's progress on the taskbar button; see taskbar_progress.h.
#include "ui/taskbar_progress.h"

#include <shobjidl.h>

namespace {

// The taskbar object: taken and released by the dialog's thread, which
// alone uses it; null where there is no taskbar.
ITaskbarList3* g_taskbar = nullptr;
// The run's total lines: set and read by the dialog's thread.
ULONGLONG g_taskbarTotal = 0;

}  // namespace

UINT TaskbarButtonCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

void ConnectTaskbar() {
  if (g_taskbar != nullptr) return;
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
}

void ShowRunOnTaskbar(HWND dialog, int total) {
  if (g_taskbar == nullptr) return;
  g_taskbarTotal = static_cast<ULONGLONG>(total);
  g_taskbar->SetProgressState(dialog, TBPF_NORMAL);
  g_taskbar->SetProgressValue(dialog, 0, g_taskbarTotal);
}

void ShowLinesOnTaskbar(HWND dialog, int done) {
  if (g_taskbar == nullptr) return;
  g_taskbar->SetProgressValue(dialog, static_cast<ULONGLONG>(done),
                              g_taskbarTotal);
}

void ShowFileClosedOnTaskbar(HWND dialog, int done, bool stored) {
  ShowLinesOnTaskbar(dialog, done);
  if (g_taskbar != nullptr && !stored)
    g_taskbar->SetProgressState(dialog, TBPF_ERROR);
}

void ClearTaskbar(HWND dialog) {
  if (g_taskbar != nullptr)
    g_taskbar->SetProgressState(dialog, TBPF_NOPROGRESS);
}

void ReleaseTaskbar() {
  if (g_taskbar == nullptr) return;
  g_taskbar->Release();
  g_taskbar = nullptr;
}
