// What the program asks of Windows where Wine can't show the effect, fail,
// or answer otherwise: the test program's own import table points at
// recorders, which note each call with its arguments and thread and pass it
// on to Wine, or answer as 64-bit Windows would where Wine has nothing.
#pragma once

#include <shobjidl.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct SystemCall {
  std::string name;
  DWORD thread;
  // The arguments as numbers, but the first text (a path, a box's message).
  std::uintptr_t args[8];
  std::wstring path;
  // What GetLastError says after the call (0: nothing).
  DWORD error;
  // When it was made (GetTickCount).
  DWORD time;
};

// The taskbar's object (CLSID_TaskbarList) notes HrInit,
// SetProgressState (window, state) and SetProgressValue (window, done,
// total), and keeps what the button shows as Windows documents it: a value
// turns it green unless it is red; a new object is a new button.
struct TaskbarButton {
  TBPFLAG state;
  ULONGLONG done, total;
};
struct Failure {
  DWORD error;
  int skip = 0, times = 1;
  bool partly = false;
};

// Under g_lock: the calls, and what the tests set for the recorders to take.
inline std::mutex g_lock;
inline std::vector<SystemCall> g_calls;
inline std::map<std::string, std::function<void()>> g_after;
inline std::map<std::string, Failure> g_failures;
inline TaskbarButton g_button{TBPF_NOPROGRESS, 0, 0};
inline std::atomic<ULONGLONG> g_clockAhead{0};

// Points the import table at the recorders, once; false when the program
// does not import one of the calls. Edit boxes made from then on note each
// character their own procedure gets ("WM_CHAR", in args[0]).
bool RecordSystemCalls();
inline void ForgetSystemCalls() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_calls.clear();
}
// The calls since ForgetSystemCalls, in order; those of `name` if given.
inline std::vector<SystemCall> SystemCalls(const char* name = nullptr) {
  std::lock_guard<std::mutex> hold(g_lock);
  std::vector<SystemCall> calls;
  for (const SystemCall& call : g_calls)
    if (name == nullptr || call.name == name) calls.push_back(call);
  return calls;
}

// Runs `action` once, inside the next recorded call of that name (any
// thread), after the system has answered and before the caller sees it:
// another program acting at that moment, or a system that answers otherwise
// (at the addresses SystemCalls(name).back() holds). One action a name.
inline void AfterNextCall(const char* name, std::function<void()> action) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_after[name] = std::move(action);
}
// So: the next call of that name hands back `value` at its argument `at`.
template <typename T>
void AnswerNextCall(const char* name, int at, T value) {
  AfterNextCall(name, [=] {
    *reinterpret_cast<T*>(SystemCalls(name).back().args[at]) = value;
  });
}

// Fails `times` calls of that name with `error`, after letting `skip`
// through, as Windows fails them where Wine can't (a share that does not
// answer, a drive pulled out), without passing them on; but a close
// (fclose), and a call `partly` (a write the drive took before it failed),
// are passed on, and then fail. One failure a name.
inline void FailNextCall(const char* name, Failure failure) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_failures[name] = failure;
}

// Moves the clock the program's progress reads (GetTickCount64) on.
inline void MoveClockOn(ULONGLONG ms) { g_clockAhead += ms; }
inline TaskbarButton ShownOnTaskbar() { return g_button; }
