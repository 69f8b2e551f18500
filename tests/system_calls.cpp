// Recorders for the calls that Wine only stubs or can't show; see
// system_calls.h.
#include "tests/system_calls.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace {

std::mutex g_lock;
// Written by the recorders on any thread, read by the tests.
std::vector<SystemCall> g_calls;
// Set by the tests, taken by the recorders.
std::string g_afterName;
std::function<void()> g_afterAction;
std::string g_failName;
DWORD g_failError = 0;
int g_failSkip = 0, g_failTimes = 0;
TaskbarButton g_button{TBPF_NOPROGRESS, 0, 0};

template <typename T>
void Put(SystemCall& call, std::size_t& n, T value) {
  if constexpr (std::is_same_v<T, LPCWSTR>) {
    if (IS_INTRESOURCE(value)) {  // a resource by its number
      call.args[n++] = reinterpret_cast<std::uintptr_t>(value);
    } else if (call.path.empty()) {
      call.path = value;
    }
  } else if constexpr (std::is_pointer_v<T>) {
    call.args[n++] = reinterpret_cast<std::uintptr_t>(value);
  } else {
    call.args[n++] = static_cast<std::uintptr_t>(value);
  }
}

// Notes the call, then runs the action that waits for it, if any.
template <typename... A>
void Note(const char* name, DWORD error, A... args) {
  SystemCall call{name, GetCurrentThreadId(), {}, L"", error, GetTickCount()};
  [[maybe_unused]] std::size_t n = 0;
  (Put(call, n, args), ...);
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_calls.push_back(call);
    if (g_afterName == name) {
      action.swap(g_afterAction);
      g_afterName.clear();
    }
  }
  if (action) action();
}

// The error the next call of that name is to fail with, or 0.
DWORD TakeFailure(const char* name) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_failName != name || g_failSkip-- > 0) return 0;
  if (--g_failTimes == 0) g_failName.clear();
  return g_failError;
}

// A failed call's answer: INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES,
// FALSE.
template <typename R>
R Failed() {
  if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<R>(~std::uintptr_t{0});
  } else {
    return std::is_same_v<R, DWORD> ? ~R{0} : R{0};
  }
}

// The recorder of import number I: it passes the call on to the system and
// notes the error the call leaves; with no system entry to pass to, it
// answers TRUE, as 64-bit Windows does where Wine's stub fails (the
// shutdown reason) or has nothing to do (no redirection in a 32-bit prefix).
template <int I, typename F>
struct Recorder;
template <int I, typename R, typename... A>
struct Recorder<I, R(WINAPI*)(A...)> {
  static inline const char* name;
  static inline R(WINAPI* real)(A...);
  static R WINAPI Call(A... args) {
    if (const DWORD error = TakeFailure(name)) {
      Note(name, error, args...);
      SetLastError(error);
      return Failed<R>();
    }
    if constexpr (std::is_same_v<R, BOOL>) {
      if (real == nullptr) {
        Note(name, 0, args...);
        return TRUE;
      }
    }
    SetLastError(0);
    const R result = real(args...);
    const DWORD error = GetLastError();
    Note(name, error, args...);
    SetLastError(error);
    return result;
  }
};

// The C runtime's close, which releases the file whatever it answers.
decltype(&std::fclose) g_fclose = nullptr;
int __cdecl RecordFclose(std::FILE* stream) {
  const int result = g_fclose(stream);
  const DWORD error = TakeFailure("fclose");
  Note("fclose", error, stream);
  return error != 0 ? EOF : result;
}

// Turning redirection off hands back a value for turning it on again.
BOOL WINAPI RecordWow64DisableWow64FsRedirection(PVOID* old) {
  *old = reinterpret_cast<PVOID>(0x5E5);
  Note("Wow64DisableWow64FsRedirection", 0);
  return TRUE;
}

// Points this program's import of `name` at `recorder`; returns what it
// pointed at before, or null when the program does not import it.
void* Redirect(const char* name, void* recorder) {
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
                 .VirtualAddress);
  for (; entry->Name != 0; ++entry) {
    auto* names =
        reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
          std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                          base + names->u1.AddressOfData)
                          ->Name,
                      name) != 0)
        continue;
      DWORD protection = 0;
      void* before = reinterpret_cast<void*>(slot->u1.Function);
      VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(recorder);
      VirtualProtect(slot, sizeof *slot, protection, &protection);
      return before;
    }
  }
  return nullptr;
}

// Records the import `name`, whose declaration is `system`; `passOn` false
// answers it instead.
template <int I, typename F>
bool Take(const char* name, F system, bool passOn = true) {
  using Record = Recorder<I, F>;
  static_cast<void>(system);
  Record::name = name;
  void* before = Redirect(name, reinterpret_cast<void*>(&Record::Call));
  if (passOn) Record::real = reinterpret_cast<F>(before);
  return before != nullptr;
}

#define ANSWER(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return S_OK; }

// Answers every call of the taskbar's interface, noting the three that show
// a run's progress. One object serves the whole process; COM's reference
// counts are kept only for form.
struct TaskbarStandIn : ITaskbarList3 {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    const bool known = iid == IID_IUnknown || iid == IID_ITaskbarList ||
                       iid == IID_ITaskbarList2 || iid == IID_ITaskbarList3;
    *out = known ? this : nullptr;
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // What a run shows.
  HRESULT STDMETHODCALLTYPE HrInit() override {
    g_button = {TBPF_NOPROGRESS, 0, 0};
    Note("HrInit", 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressState(HWND window,
                                             TBPFLAG state) override {
    g_button.state = state;
    Note("SetProgressState", 0, window, state);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG done,
                                             ULONGLONG total) override {
    if (g_button.state != TBPF_ERROR) g_button.state = TBPF_NORMAL;
    g_button.done = done;
    g_button.total = total;
    Note("SetProgressValue", 0, window, done, total);
    return S_OK;
  }

  // The rest, unused by the program.
  ANSWER(AddTab, HWND)
  ANSWER(DeleteTab, HWND)
  ANSWER(ActivateTab, HWND)
  ANSWER(SetActiveAlt, HWND)
  ANSWER(MarkFullscreenWindow, HWND, BOOL)
  ANSWER(RegisterTab, HWND, HWND)
  ANSWER(UnregisterTab, HWND)
  ANSWER(SetTabOrder, HWND, HWND)
  ANSWER(SetTabActive, HWND, HWND, DWORD)
  ANSWER(ThumbBarAddButtons, HWND, UINT, LPTHUMBBUTTON)
  ANSWER(ThumbBarUpdateButtons, HWND, UINT, LPTHUMBBUTTON)
  ANSWER(ThumbBarSetImageList, HWND, HIMAGELIST)
  ANSWER(SetOverlayIcon, HWND, HICON, LPCWSTR)
  ANSWER(SetThumbnailTooltip, HWND, LPCWSTR)
  ANSWER(SetThumbnailClip, HWND, RECT*)
};

TaskbarStandIn g_taskbar;
decltype(&CoCreateInstance) g_coCreateInstance = nullptr;

// COM is asked first, so that a thread without COM gets its refusal; the
// taskbar's object it makes is then swapped for the stand-in.
HRESULT WINAPI RecordCoCreateInstance(REFCLSID clsid, IUnknown* outer,
                                      DWORD context, REFIID iid, void** out) {
  HRESULT result = g_coCreateInstance(clsid, outer, context, iid, out);
  if (clsid == CLSID_TaskbarList && result != CO_E_NOTINITIALIZED) {
    if (SUCCEEDED(result)) static_cast<IUnknown*>(*out)->Release();
    result = g_taskbar.QueryInterface(iid, out);
  }
  Note("CoCreateInstance", 0, context);
  return result;
}

}  // namespace

bool RecordSystemCalls() {
  static const bool all =
      Take<0>("SetThreadExecutionState", &SetThreadExecutionState) &
      Take<1>("CreateFileW", &CreateFileW) &
      Take<2>("GetFileAttributesW", &GetFileAttributesW) &
      Take<3>("SetTimer", &SetTimer) & Take<4>("KillTimer", &KillTimer) &
      Take<5>("MessageBoxW", &MessageBoxW) &
      Take<6>("ShutdownBlockReasonCreate", &ShutdownBlockReasonCreate, false) &
      Take<7>("ShutdownBlockReasonDestroy", &ShutdownBlockReasonDestroy,
              false) &
      Take<8>("Wow64RevertWow64FsRedirection", &Wow64RevertWow64FsRedirection,
              false) &
      Take<9>("CoInitializeEx", &CoInitializeEx) &
      Take<10>("ChangeWindowMessageFilterEx", &ChangeWindowMessageFilterEx) &
      Take<11>("MsgWaitForMultipleObjects", &MsgWaitForMultipleObjects) &
      Take<12>("WriteFile", &WriteFile) &
      Take<13>("FlushFileBuffers", &FlushFileBuffers) &
      Take<14>("LoadImageW", &LoadImageW) &
      Take<15>("DestroyIcon", &DestroyIcon) &
      ((g_fclose = reinterpret_cast<decltype(&std::fclose)>(Redirect(
            "fclose", reinterpret_cast<void*>(&RecordFclose)))) != nullptr) &
      (Redirect("Wow64DisableWow64FsRedirection",
                reinterpret_cast<void*>(
                    &RecordWow64DisableWow64FsRedirection)) != nullptr) &
      ((g_coCreateInstance = reinterpret_cast<decltype(&CoCreateInstance)>(
            Redirect("CoCreateInstance",
                     reinterpret_cast<void*>(&RecordCoCreateInstance)))) !=
       nullptr);
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

void FailNextCall(const char* name, DWORD error, int skip, int times) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_failName = name;
  g_failError = error;
  g_failSkip = skip;
  g_failTimes = times;
}

TaskbarButton ShownOnTaskbar() { return g_button; }
