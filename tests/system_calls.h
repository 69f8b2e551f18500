// What the program asks of Windows where Wine can't show the effect: it only
// stubs the call (keeping the system awake, the shutdown screen's reason,
// file system redirection), applies a rule of its own (the attributes of a
// replaced file), or lets a call through that Windows would refuse (a timer
// set from a thread that does not own the window), and a few that show the
// program's own set-up and waits (COM, the message filter). The test program's
// own import table is pointed at recorders, which note each call with its
// arguments and thread and then pass it on to Wine, or answer as 64-bit
// Windows would where Wine has nothing to pass it to.
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
  // The call's arguments as numbers, in order; its first text (a path, the
  // reason, a box's message) is in `path` instead, and takes no place here.
  std::uintptr_t args[6];
  std::wstring path;
  // What GetLastError says after the call (0: nothing).
  DWORD error;
  // When it was made (GetTickCount).
  DWORD time;
};

// Points the import table at the recorders, once; false when the program
// does not import one of the calls.
bool RecordSystemCalls();
void ForgetSystemCalls();
// The calls made since the last ForgetSystemCalls, in order; only those
// of one name when it is given.
std::vector<SystemCall> SystemCalls(const char* name = nullptr);

// Runs `action` once, inside the next recorded call of that name (from any
// thread) once the system has answered it, before the caller sees the
// answer: another program acting at that very moment.
void AfterNextCall(const char* name, std::function<void()> action);

// Fails `times` recorded calls of that name with `error`, after letting
// `skip` of them through, without passing them on, as Windows fails them
// where Wine can't (a server that does not answer, a drive pulled out). A
// close (fclose) is passed on all the same, and then fails.
void FailNextCall(const char* name, DWORD error, int skip = 0, int times = 1);

// The taskbar's own object (CLSID_TaskbarList), once COM has made one, is a
// stand-in that notes HrInit, SetProgressState (window, state) and
// SetProgressValue (window, done, total); Wine's does nothing. It also keeps
// what the button shows, as Windows documents it: a value turns it green
// unless it is red, and a new object (Explorer restarted) is a new button.
struct TaskbarButton {
  TBPFLAG state;
  ULONGLONG done, total;
};
TaskbarButton ShownOnTaskbar();
