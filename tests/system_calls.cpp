// Recorders for the calls that Wine only stubs or can't show.
#include "tests/system_calls.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

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
    const auto after = g_after.find(name);
    if (after != g_after.end()) {
      action.swap(after->second);
      g_after.erase(after);
    }
  }
  if (action) action();
}

// How the next call of that name is to fail; error 0: it is not.
Failure TakeFailure(const char* name) {
  std::lock_guard<std::mutex> hold(g_lock);
  const auto found = g_failures.find(name);
  if (found == g_failures.end() || found->second.skip-- > 0) return {};
  const Failure failure = found->second;
  if (--found->second.times == 0) g_failures.erase(found);
  return failure;
}

// A failed call's answer: INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES...
template <typename R>
R Failed() {
  if constexpr (std::is_pointer_v<R>) {
    return reinterpret_cast<R>(~std::uintptr_t{0});
  } else {
    return std::is_same_v<R, DWORD> ? ~R{0} : R{0};
  }
}

// The recorder of import number I: passes the call on and notes the error
// it leaves; with nothing to pass to, answers TRUE, as 64-bit Windows does
// where Wine's stub fails or has nothing to do (redirection in 32 bits).
template <int I, typename F>
struct Recorder;
template <int I, typename R, typename... A>
struct Recorder<I, R(WINAPI*)(A...)> {
  static inline const char* name;
  static inline R(WINAPI* real)(A...);
  static R WINAPI Call(A... args) {
    if (const Failure failure = TakeFailure(name); failure.error != 0) {
      if (failure.partly) real(args...);
      Note(name, failure.error, args...);
      SetLastError(failure.error);
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
  const DWORD error = TakeFailure("fclose").error;
  Note("fclose", error, stream);
  if (error != 0) SetLastError(error);
  return error != 0 ? EOF : result;
}

decltype(&GetTickCount64) g_tickCount64 = nullptr;
ULONGLONG WINAPI RecordGetTickCount64() {
  return g_tickCount64() + g_clockAhead;
}

// Edit boxes' own procedure, from the class.
WNDPROC g_editProc = nullptr;
LRESULT CALLBACK RecordEditCharacters(HWND box, UINT message, WPARAM wParam,
                                      LPARAM lParam) {
  if (message == WM_CHAR) Note("WM_CHAR", 0, wParam);
  return CallWindowProcW(g_editProc, box, message, wParam, lParam);
}

// Turning redirection off hands back a value for turning it on again.
BOOL WINAPI RecordWow64DisableWow64FsRedirection(PVOID* old) {
  *old = reinterpret_cast<PVOID>(0x5E5);
  Note("Wow64DisableWow64FsRedirection", 0);
  return TRUE;
}

// Writes `value` into the code's own tables, which are kept read-only.
void* Patch(void* slot, void* value) {
  DWORD protection = 0;
  void* before = *static_cast<void**>(slot);
  VirtualProtect(slot, sizeof value, PAGE_READWRITE, &protection);
  *static_cast<void**>(slot) = value;
  VirtualProtect(slot, sizeof value, protection, &protection);
  return before;
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
      return Patch(&slot->u1.Function, recorder);
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

// The taskbar object's three calls that show a run's progress (Wine's do
// nothing): noted, and what the button shows kept.
HRESULT STDMETHODCALLTYPE RecordHrInit(ITaskbarList3*) {
  g_button = {TBPF_NOPROGRESS, 0, 0};
  Note("HrInit", 0);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE RecordSetProgressState(ITaskbarList3*, HWND window,
                                                 TBPFLAG state) {
  g_button.state = state;
  Note("SetProgressState", 0, window, state);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE RecordSetProgressValue(ITaskbarList3*, HWND window,
                                                 ULONGLONG done,
                                                 ULONGLONG total) {
  if (g_button.state != TBPF_ERROR) g_button.state = TBPF_NORMAL;
  g_button = {g_button.state, done, total};
  Note("SetProgressValue", 0, window, done, total);
  return S_OK;
}

decltype(&CoCreateInstance) g_coCreateInstance = nullptr;

// The taskbar's object that COM makes gets the calls above in its table (at
// their places in ITaskbarList3), shared until its library loads anew.
HRESULT WINAPI RecordCoCreateInstance(REFCLSID clsid, IUnknown* outer,
                                      DWORD context, REFIID iid, void** out) {
  const HRESULT result = g_coCreateInstance(clsid, outer, context, iid, out);
  void** table = clsid == CLSID_TaskbarList && SUCCEEDED(result)
                     ? *static_cast<void***>(*out)
                     : nullptr;
  if (table != nullptr && table[3] != reinterpret_cast<void*>(&RecordHrInit)) {
    Patch(&table[3], reinterpret_cast<void*>(&RecordHrInit));
    Patch(&table[9], reinterpret_cast<void*>(&RecordSetProgressValue));
    Patch(&table[10], reinterpret_cast<void*>(&RecordSetProgressState));
  }
  Note("CoCreateInstance", 0, context);
  return result;
}

// Points the import `name` at `recorder`, which passes calls on to `real`.
template <typename F>
bool Replace(const char* name, F& real, F recorder) {
  real = reinterpret_cast<F>(Redirect(name, reinterpret_cast<void*>(recorder)));
  return real != nullptr;
}

}  // namespace

// Each recorder is an instance of its own, by the counter.
#define TAKE(call, ...) Take<__COUNTER__>(#call, &call, ##__VA_ARGS__)

bool RecordSystemCalls() {
  static decltype(&Wow64DisableWow64FsRedirection) disable = nullptr;
  static const bool all =
      TAKE(SetThreadExecutionState) & TAKE(CreateFileW) & TAKE(SetTimer) &
      TAKE(GetFileAttributesW) & TAKE(GetFileAttributesExW) & TAKE(KillTimer) &
      TAKE(MessageBoxW) & TAKE(CoInitializeEx) &
      TAKE(ShutdownBlockReasonCreate, false) &
      TAKE(ShutdownBlockReasonDestroy, false) &
      TAKE(Wow64RevertWow64FsRedirection, false) &
      TAKE(ChangeWindowMessageFilterEx) & TAKE(MsgWaitForMultipleObjects) &
      TAKE(WriteFile) & TAKE(FlushFileBuffers) & TAKE(LoadImageW) &
      TAKE(DestroyIcon) & TAKE(GetDiskFreeSpaceExW) &
      TAKE(GetVolumeInformationW) & TAKE(SHAutoComplete) & TAKE(EnableWindow) &
      Replace("fclose", g_fclose, &RecordFclose) &
      Replace("GetTickCount64", g_tickCount64, &RecordGetTickCount64) &
      Replace("Wow64DisableWow64FsRedirection", disable,
              &RecordWow64DisableWow64FsRedirection) &
      Replace("CoCreateInstance", g_coCreateInstance, &RecordCoCreateInstance);
  static const bool edit = [] {
    HWND box = CreateWindowW(L"Edit", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                             nullptr, nullptr);
    g_editProc = reinterpret_cast<WNDPROC>(SetClassLongPtrW(
        box, GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordEditCharacters)));
    DestroyWindow(box);
    return g_editProc != nullptr;
  }();
  return all && edit;
}
