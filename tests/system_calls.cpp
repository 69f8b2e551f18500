// Recorders for the calls that Wine only stubs or can't show; see
// system_calls.h.
#include "tests/system_calls.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex g_lock;
// Written by the recorders on any thread, read by the tests.
std::vector<SystemCall> g_calls;
// Set by the tests, taken by the recorders.
std::string g_afterName;
std::function<void()> g_afterAction;

void Note(const char* name, std::uintptr_t a0 = 0, std::uintptr_t a1 = 0,
          std::uintptr_t a2 = 0, std::uintptr_t a3 = 0,
          const wchar_t* path = nullptr, DWORD error = 0) {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_calls.push_back({name,
                       GetCurrentThreadId(),
                       {a0, a1, a2, a3},
                       path != nullptr ? path : L"",
                       error});
    if (g_afterName == name) {
      action.swap(g_afterAction);
      g_afterName.clear();
    }
  }
  if (action) action();
}

std::uintptr_t N(HWND window) {
  return reinterpret_cast<std::uintptr_t>(window);
}
std::uintptr_t N(PVOID value) {
  return reinterpret_cast<std::uintptr_t>(value);
}

// The system's own entry points, taken from the import table.
decltype(&SetThreadExecutionState) RealSetThreadExecutionState;
decltype(&CreateFileW) RealCreateFileW;
decltype(&GetFileAttributesW) RealGetFileAttributesW;
decltype(&SetTimer) RealSetTimer;
decltype(&KillTimer) RealKillTimer;
decltype(&MessageBoxW) RealMessageBoxW;

EXECUTION_STATE WINAPI RecordSetThreadExecutionState(EXECUTION_STATE flags) {
  Note("SetThreadExecutionState", flags);
  return RealSetThreadExecutionState(flags);
}

HANDLE WINAPI RecordCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags,
                                HANDLE templateFile) {
  HANDLE file = RealCreateFileW(path, access, share, security, disposition,
                                flags, templateFile);
  const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  Note("CreateFileW", access, share, disposition, flags, path, error);
  SetLastError(error);
  return file;
}

DWORD WINAPI RecordGetFileAttributesW(LPCWSTR path) {
  const DWORD attributes = RealGetFileAttributesW(path);
  const DWORD error = GetLastError();
  Note("GetFileAttributesW", 0, 0, 0, 0, path);
  SetLastError(error);
  return attributes;
}

// A 32-bit prefix has no redirection to turn off: answered as 64-bit
// Windows answers, with a value to hand back.
BOOL WINAPI RecordWow64DisableWow64FsRedirection(PVOID* old) {
  *old = reinterpret_cast<PVOID>(0x5E5);
  Note("Wow64DisableWow64FsRedirection");
  return TRUE;
}

BOOL WINAPI RecordWow64RevertWow64FsRedirection(PVOID old) {
  Note("Wow64RevertWow64FsRedirection", N(old));
  return TRUE;
}

// Wine's are stubs that fail.
BOOL WINAPI RecordShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
  Note("ShutdownBlockReasonCreate", N(window), 0, 0, 0, reason);
  return TRUE;
}

BOOL WINAPI RecordShutdownBlockReasonDestroy(HWND window) {
  Note("ShutdownBlockReasonDestroy", N(window));
  return TRUE;
}

UINT_PTR WINAPI RecordSetTimer(HWND window, UINT_PTR id, UINT period,
                               TIMERPROC procedure) {
  Note("SetTimer", N(window), id, period);
  return RealSetTimer(window, id, period, procedure);
}

BOOL WINAPI RecordKillTimer(HWND window, UINT_PTR id) {
  Note("KillTimer", N(window), id);
  return RealKillTimer(window, id);
}

int WINAPI RecordMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption,
                             UINT flags) {
  Note("MessageBoxW", N(owner), 0, flags, 0, text);
  return RealMessageBoxW(owner, text, caption, flags);
}

// Points this program's import of `name` from `dll` at `recorder`; returns
// what it pointed at before, or null when the program does not import it.
void* Redirect(const char* dll, const char* name, void* recorder) {
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* entry =
      reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; entry->Name != 0; ++entry) {
    if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll) != 0)
      continue;
    auto* names =
        reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
          base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
        continue;
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function,
                     PAGE_READWRITE, &protection);
      void* before = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(recorder);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                     &protection);
      return before;
    }
  }
  return nullptr;
}

template <typename F>
bool Take(const char* dll, const char* name, F recorder, F* real = nullptr) {
  void* before = Redirect(dll, name, reinterpret_cast<void*>(recorder));
  if (real != nullptr) *real = reinterpret_cast<F>(before);
  return before != nullptr;
}

}  // namespace

bool RecordSystemCalls() {
  static const bool all =
      Take("kernel32.dll", "SetThreadExecutionState",
           RecordSetThreadExecutionState, &RealSetThreadExecutionState) &
      Take("kernel32.dll", "CreateFileW", RecordCreateFileW, &RealCreateFileW) &
      Take("kernel32.dll", "GetFileAttributesW", RecordGetFileAttributesW,
           &RealGetFileAttributesW) &
      Take("kernel32.dll", "Wow64DisableWow64FsRedirection",
           RecordWow64DisableWow64FsRedirection) &
      Take("kernel32.dll", "Wow64RevertWow64FsRedirection",
           RecordWow64RevertWow64FsRedirection) &
      Take("user32.dll", "ShutdownBlockReasonCreate",
           RecordShutdownBlockReasonCreate) &
      Take("user32.dll", "ShutdownBlockReasonDestroy",
           RecordShutdownBlockReasonDestroy) &
      Take("user32.dll", "SetTimer", RecordSetTimer, &RealSetTimer) &
      Take("user32.dll", "KillTimer", RecordKillTimer, &RealKillTimer) &
      Take("user32.dll", "MessageBoxW", RecordMessageBoxW, &RealMessageBoxW);
  return all;
}

void ForgetSystemCalls() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_calls.clear();
}

std::vector<SystemCall> SystemCalls(const char* name) {
  std::lock_guard<std::mutex> hold(g_lock);
  std::vector<SystemCall> calls;
  for (const SystemCall& call : g_calls)
    if (name == nullptr || call.name == name) calls.push_back(call);
  return calls;
}

void AfterNextCall(const char* name, std::function<void()> action) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_afterName = name;
  g_afterAction = std::move(action);
}

namespace {

// Answers every call of the taskbar's interface, noting the three that show
// a run's progress. One object serves the whole process; COM's reference
// counts are kept only for form.
class TaskbarStandIn : public ITaskbarList3, public IClassFactory {
 public:
  // IUnknown, for both interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
    } else if (iid == IID_ITaskbarList || iid == IID_ITaskbarList2 ||
               iid == IID_ITaskbarList3) {
      *out = static_cast<ITaskbarList3*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IClassFactory.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                           void** out) override {
    return outer != nullptr ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  // What a run shows.
  HRESULT STDMETHODCALLTYPE HrInit() override {
    Note("HrInit");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressState(HWND window,
                                             TBPFLAG state) override {
    Note("SetProgressState", N(window), state);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG done,
                                             ULONGLONG total) override {
    Note("SetProgressValue", N(window), static_cast<std::uintptr_t>(done),
         static_cast<std::uintptr_t>(total));
    return S_OK;
  }

  // The rest of the taskbar's interface, unused by the program.
  HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT,
                                               LPTHUMBBUTTON) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT,
                                                  LPTHUMBBUTTON) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override {
    return S_OK;
  }
};

TaskbarStandIn g_taskbar;

}  // namespace

DWORD StandInForTaskbar() {
  DWORD registration = 0;
  CoRegisterClassObject(
      CLSID_TaskbarList, static_cast<IClassFactory*>(&g_taskbar),
      CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &registration);
  return registration;
}

void RevokeTaskbar(DWORD registration) { CoRevokeClassObject(registration); }
