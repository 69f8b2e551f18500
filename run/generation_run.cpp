// The generation run. The worker reaches the dialog only through calls that
// the UI thread serves while the worker waits, so each is complete before the
// worker's next step; the message boxes are owned by the dialog and keep it
// disabled while they are open.
#include "run/generation_run.h"

#include <cstdio>

#include "generation/combinations.h"
#include "generation/output_file.h"
#include "resource.h"
#include "run/output_path.h"
#include "run/run_state.h"
#include "run/window_text.h"

namespace {

const char kOverwriteQuestion[] = "Il file esiste gi\xE0. Vuoi sovrascrivere";
const char kCreateFailed[] = "Impossibile creare il file";
const char kWriteFailed[] = "Errore durante la scrittura del file";
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

void ShowError(const char* text) {
  MessageBox1252(g_dialog, text, "Errore", MB_ICONERROR);
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

// 64-bit Windows sends a 32-bit program's paths under System32 to SysWOW64:
// the file asked about and created must be the one the box names. Only
// around the file calls: a library loaded meanwhile (a message box may load
// some) would come from the wrong folder.
template <typename FileCall>
auto WithoutRedirection(FileCall call) -> decltype(call()) {
  PVOID redirection = nullptr;
  const bool off = Wow64DisableWow64FsRedirection(&redirection) != FALSE;
  const auto result = call();
  if (off) Wow64RevertWow64FsRedirection(redirection);
  return result;
}

bool AgreesToOverwrite() {
  return MessageBox1252(g_dialog, kOverwriteQuestion, "Attenzione",
                        MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

// Opens the output for the run. A file that the check saw is asked about,
// then replaced. Where the check could tell nothing, only a new file is
// created, which never replaces: the question comes if that finds something
// there after all (one that appeared since the check included), and no
// question about a file that may not exist comes before a failure for
// another reason. Null after a No, and after the create-failure box.
std::FILE* OpenOutput(const char* path, PathHolds holds) {
  bool taken = false;
  if (holds == PathHolds::kUnknown) {
    std::FILE* created = WithoutRedirection(
        [&] { return OpenOutputStream(path, false, &taken); });
    if (created != nullptr) return created;
  }
  if (holds == PathHolds::kFile || taken) {
    if (!AgreesToOverwrite()) return nullptr;
    std::FILE* replaced = WithoutRedirection(
        [&] { return OpenOutputStream(path, true, &taken); });
    if (replaced != nullptr) return replaced;
  }
  ShowError(kCreateFailed);
  return nullptr;
}

// Creates the file, enumerates the range into it and shows the final count.
void WriteCombinations(FirstNumbers range, const char* path, PathHolds holds) {
  g_outputStream = OpenOutput(path, holds);
  if (g_outputStream == nullptr) return;
  g_combinationCount = 0;
  KeepAwakeWhileWriting(true, LinesInRange(range.first, range.last));

  int combination[6];
  EnumerateRange(range.first, range.last, combination);
  const bool stored = CloseOutputStream(g_outputStream);
  g_outputStream = nullptr;
  // After a failed write the count falls back to the lines known to be on
  // the drive, so no display claims lines that are not there.
  if (!stored) g_combinationCount = g_storedOutput.lines;
  KeepAwakeWhileWriting(false, stored);
  SetProgressText(g_combinationCount);
  if (!stored) ShowError(kWriteFailed);
}

// The file that the path box names, in UTF-8 for the output file's opening.
// False when it can't name a file (too long, nothing there to resolve, or
// characters that have no UTF-8 form, such as a lone half of a pair).
bool ResolveOutputPath(wchar_t (&full)[kFullPathCapacity],
                       char (&utf8)[kUtf8PathCapacity]) {
  wchar_t typed[kPathCapacity];
  return ReadOutputPath(g_dialog, typed) && FullOutputPath(typed, full) &&
         WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, full, -1, utf8,
                             kUtf8PathCapacity, nullptr, nullptr) != 0;
}

void RunOnce(FirstNumbers range) {
  wchar_t full[kFullPathCapacity];
  char path[kUtf8PathCapacity];
  if (!ResolveOutputPath(full, path)) {
    ShowError(kCreateFailed);
    return;
  }
  WriteCombinations(range, path,
                    WithoutRedirection([&] { return WhatPathHolds(full); }));
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
