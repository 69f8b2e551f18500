// Storage for the run state shared by the dialog and the worker.
#include "run/run_state.h"

HWND g_dialog = nullptr;
std::atomic<HANDLE> g_workerThread{nullptr};
