// The generation run. The worker reaches the dialog only through calls that
// the UI thread serves while the worker waits, so each is complete before the
// worker's next step; the message boxes are owned by the dialog and keep it
// disabled while they are open.
#include "run/generation_run.h"

#include <cstdio>

#include "generation/combinations.h"
#include "generation/output_file.h"
#include "resource.h"
#include "run/messages.h"
#include "run/output_path.h"
#include "run/run_state.h"
#include "run/window_text.h"

namespace {

const UINT kProgressPeriodMs = 500;
const wchar_t kShutdownReason[] = L"Sestor sta scrivendo il file";
// A full path in UTF-8: up to three bytes for each of its characters.
const int kUtf8PathCapacity = 3 * kFullPathCapacity;

// Whether the run's file is open: written by the writing notice, read by
// the question whether the session may end, both on the dialog's thread.
bool g_writing = false;

// The controls a run locks, in the order they are disabled and enabled again.
const int kOptionControls[] = {IDC_FIRST_NUMBER, IDC_THROUGH_LAST,
                               IDC_OUTPUT_FILE, IDC_EXIT};

struct FirstNumbers {
  int first;
  int last;
};

// The list's index is the first number itself; 0 is "Tutte".
FirstNumbers ReadFirstNumbers() {
  const LRESULT index =
      SendDlgItemMessageW(g_dialog, IDC_FIRST_NUMBER, CB_GETCURSEL, 0, 0);
  const bool throughLast =
      SendDlgItemMessageW(g_dialog, IDC_THROUGH_LAST, BM_GETCHECK, 0, 0) != 0;
  if (index < 1 || index > kLastFirstNumber) return {1, kLastFirstNumber};
  const int first = static_cast<int>(index);
  return {first, throughLast ? kLastFirstNumber : first};
}

void EnableOptions(BOOL enable) {
  for (int id : kOptionControls) EnableWindow(GetDlgItem(g_dialog, id), enable);
}

// While the file is open the system stays awake (the display may sleep):
// Windows does not count disk writes as use, and a USB or network file may
// not survive a sleep. The dialog is told too, for the progress it shows;
// see kWritingMessage for `detail`.
void KeepAwakeWhileWriting(bool writing, LPARAM detail) {
  SetThreadExecutionState(writing ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED
                                  : ES_CONTINUOUS);
  SendMessageW(g_dialog, kWritingMessage, writing, detail);
}

// The run's bytes against what the volume can take, as Explorer checks
// before a copy: the largest file of its file system, and the space the
// user may fill, the file being replaced included. A volume that does not
// say is not asked about.
bool FitsOrAgreed(FirstNumbers range, const wchar_t* full, PathHolds holds,
                  ULONGLONG existing) {
  const auto need =
      static_cast<ULONGLONG>(BytesInRange(range.first, range.last));
  const VolumeRoom room =
      WithoutRedirection([&] { return RoomOnVolume(full); });
  const ULONGLONG usable =
      room.freeBytes + (holds == PathHolds::kFile ? existing : 0);
  if (room.largestFile != 0 && need > room.largestFile)
    return AgreesToWriteWhatFits(full, need, usable, room.largestFile,
                                 room.fileSystem);
  if (room.freeKnown && need > usable)
    return AgreesToWriteWhatFits(full, need, usable, 0, room.fileSystem);
  return true;
}

std::FILE* OpenStream(const char* path, bool replace, bool* taken) {
  return WithoutRedirection(
      [&] { return OpenOutputStream(path, replace, taken); });
}

// Opens the output for the run. A file that the check saw is asked about,
// then replaced. Where the check could tell nothing, only a new file is
// created, which never replaces: the question comes if that finds something
// there after all (one that appeared since the check included), unless the
// folder's listing shows a folder there; and no question about a file that
// may not exist comes before a failure for another reason. Null after a No,
// and after the create-failure box.
std::FILE* OpenOutput(const char* path, const wchar_t* full, PathHolds holds) {
  bool taken = false;
  if (holds == PathHolds::kUnknown) {
    if (std::FILE* created = OpenStream(path, false, &taken)) return created;
    if (taken && WithoutRedirection([&] { return ListedAsFolder(full); })) {
      ShowCreateFailure(full, kCauseFolder);
      return nullptr;
    }
  }
  if (holds == PathHolds::kFile || taken) {
    if (!AgreesToOverwrite()) return nullptr;
    if (std::FILE* replaced = OpenStream(path, true, &taken)) return replaced;
  }
  ShowCreateFailure(full, g_storedOutput.error);
  return nullptr;
}

// Creates the file, enumerates the range into it and shows the final count.
// STOP can do nothing while the last lines go to the drive (seconds on a
// USB stick or a share), so it is disabled then.
void WriteCombinations(FirstNumbers range, const char* path,
                       const wchar_t* full, PathHolds holds) {
  g_outputStream = OpenOutput(path, full, holds);
  if (g_outputStream == nullptr) return;
  g_combinationCount = 0;
  KeepAwakeWhileWriting(true, LinesInRange(range.first, range.last));

  int combination[6];
  EnumerateRange(range.first, range.last, combination);
  HWND run = GetDlgItem(g_dialog, IDC_RUN);
  EnableWindow(run, FALSE);
  const bool stored = CloseOutputStream(g_outputStream);
  g_outputStream = nullptr;
  EnableWindow(run, TRUE);
  // After a failed write the count falls back to the lines known to be on
  // the drive, so no display claims lines that are not there.
  if (!stored) g_combinationCount = g_storedOutput.lines;
  KeepAwakeWhileWriting(false, stored);
  SetProgressText(g_combinationCount);
  if (!stored) ShowWriteFailure(full, g_storedOutput.error);
}

// The file that the path box names, in full. 0, or why it can't name a
// file: too long, or refused by the path rule (`full` then holds what to
// show).
DWORD ResolveOutputPath(wchar_t (&full)[kFullPathCapacity]) {
  wchar_t typed[kPathCapacity];
  full[0] = L'\0';
  if (!ReadOutputPath(g_dialog, typed)) return kCauseTooLong;
  return FullOutputPath(typed, full);
}

void RunOnce(FirstNumbers range) {
  wchar_t full[kFullPathCapacity];
  char path[kUtf8PathCapacity];  // for the output file's opening
  if (const DWORD cause = ResolveOutputPath(full)) {
    ShowRefusal(full, cause);
    return;
  }
  // A lone half of a pair, say, has no UTF-8 form.
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, full, -1, path,
                          kUtf8PathCapacity, nullptr, nullptr) == 0) {
    ShowCreateFailure(full, kCauseInvalid);
    return;
  }
  ULONGLONG existing = 0;
  const PathHolds holds =
      WithoutRedirection([&] { return WhatPathHolds(full, &existing); });
  if (holds == PathHolds::kFolder) {
    ShowCreateFailure(full, kCauseFolder);
  } else if (FitsOrAgreed(range, full, holds, existing)) {
    WriteCombinations(range, path, full, holds);
  }
}

}  // namespace

void SetProgressText(int count) {
  char text[80];
  std::snprintf(text, sizeof text, "Combinazione %d", count);
  SetControlText1252(g_dialog, IDC_PROGRESS, text);
}

void OnRunCommand() {
  if (g_workerThread.load() != nullptr) {
    g_stopRequest = 1;
    return;
  }
  g_stopRequest = 0;
  // The worker's first step waits for this thread to serve a control query,
  // so the handle is stored before the worker can clear it.
  g_workerThread =
      CreateThread(nullptr, 0, GenerationThread, nullptr, 0, nullptr);
}

void OnWritingNotice(bool writing) {
  g_writing = writing;
  // Windows names the program on its shutdown screen, with this reason, for
  // as long as there is a file to lose, and not while a box asks or tells.
  if (writing) {
    SetTimer(g_dialog, IDT_PROGRESS, kProgressPeriodMs, nullptr);
    ShutdownBlockReasonCreate(g_dialog, kShutdownReason);
  } else {
    KillTimer(g_dialog, IDT_PROGRESS);
    ShutdownBlockReasonDestroy(g_dialog);
  }
}

bool WritingFile() { return g_writing; }

bool OnRunEndedNotice(HANDLE worker) {
  if (worker != nullptr) CloseHandle(worker);
  // False when a run has started since.
  return g_workerThread.load() == nullptr;
}

DWORD WINAPI GenerationThread(LPVOID) {
  const FirstNumbers range = ReadFirstNumbers();
  EnableOptions(FALSE);
  SetControlText1252(g_dialog, IDC_RUN, "STOP");
  Sleep(1);
  RunOnce(range);
  EnableOptions(TRUE);
  SetControlText1252(g_dialog, IDC_RUN, "Esegui");
  // Last act: the run is over once the marker is clear. The dialog's thread
  // releases the handle, so it can wait on it meanwhile; the notice is
  // posted, so the dialog may end before it arrives.
  PostMessageW(g_dialog, kRunEndedMessage, 0,
               reinterpret_cast<LPARAM>(g_workerThread.exchange(nullptr)));
  return 0;
}
