// What the program asks of Windows where Wine can't show the effect (it
// stubs the call, applies a rule of its own, lets through what Windows would
// refuse) or can't be made to fail or answer otherwise. The test program's
// own import table is pointed at recorders, which note each call with its
// arguments and thread and pass it on to Wine, or answer as 64-bit Windows
// would where Wine has nothing to pass it to.
#pragma once

#include <shobjidl.h>
#include <windows.h>

#include <cstdint>
#include <functional>
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

// Points the import table at the recorders, once; false when the program
// does not import one of the calls. Edit boxes made from then on note each
// character their own procedure gets ("WM_CHAR", in args[0]).
bool RecordSystemCalls();
void ForgetSystemCalls();
// The calls since ForgetSystemCalls, in order; those of `name` if given.
std::vector<SystemCall> SystemCalls(const char* name = nullptr);

// Runs `action` once, inside the next recorded call of that name (any
// thread), after the system has answered and before the caller sees it:
// another program acting at that moment, or a system that answers otherwise
// (at the addresses SystemCalls(name).back() holds). One action a name.
void AfterNextCall(const char* name, std::function<void()> action);
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
void FailNextCall(const char* name, DWORD error, int skip = 0, int times = 1,
                  bool partly = false);

// Moves the clock the program's progress reads (GetTickCount64) on.
void MoveClockOn(ULONGLONG ms);

// The taskbar's object (CLSID_TaskbarList) notes HrInit,
// SetProgressState (window, state) and SetProgressValue (window, done,
// total), and keeps what the button shows as Windows documents it: a value
// turns it green unless it is red; a new object is a new button.
struct TaskbarButton {
  TBPFLAG state;
  ULONGLONG done, total;
};
TaskbarButton ShownOnTaskbar();
