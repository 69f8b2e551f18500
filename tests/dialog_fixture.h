// The real main dialog on a thread of its own, as WinMain shows it, acted on
// from the test's thread as a user would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "resource.h"
#include "run/run_state.h"
#include "tests/dialog_driver.h"
#include "tests/reference.h"
#include "tests/system_calls.h"
#include "ui/main_dialog.h"
#include "version.h"

const std::string kProgramCaption =
    "Sestor - Generazione combinazioni SuperEnalotto v." SESTOR_VERSION_SHORT;
// Where the tests write; inside the test prefix's drive C.
const char kTestFolder[] = "C:\\sestor-tests";
// The one line that "Primo numero 85" writes, the shortest run of all.
const char kLastLine[] = "85;86;87;88;89;90\r\n";
// The program's boxes, by their first lines.
const char kQuestion[] = "Il file esiste gi\xE0. Vuoi sovrascrivere";
const char kDoesNotFit[] = "Il file non entra nel disco";
const char kCreateFailed[] = "Impossibile creare il file";
const char kWriteFailed[] = "Errore durante la scrittura del file";

inline std::string TestPath(const std::string& name) {
  return std::string(kTestFolder) + "\\" + name;
}

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Windows' own words for an error code, as a box gives them.
inline std::string SystemText(DWORD error) {
  wchar_t text[1024] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, text, 1024, nullptr);
  std::wstring words = text;
  return Narrow(words.erase(words.find_last_not_of(L" \r\n") + 1));
}

// A failure's box: first line, the path (if any), the cause.
inline std::string FailureText(const char* first, const std::string& shown,
                               const std::string& cause) {
  return first + (shown.empty() ? "" : "\n" + shown) + "\n\n" + cause;
}

// Removes everything below `folder`, the folder itself staying, at any
// length (std::filesystem::remove_all leaves the 511-character path).
inline void RemoveBelow(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more;
       more = FindNextFileW(search, &found)) {
    const std::wstring name = found.cFileName, path = folder + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveBelow(path);
    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        ? RemoveDirectoryW(path.c_str())
        : DeleteFileW(path.c_str());
  }
  FindClose(search);
}

// A file by its wide name, for paths beyond the code page.
inline void WriteFileBytes(const std::filesystem::path& path,
                           const std::string& bytes) {
  EXPECT_TRUE(std::ofstream(path, std::ios::binary) << bytes) << path;
}

// Waits for a box `owner` owns, with this text, caption and system icon.
inline HWND ExpectBox(HWND owner, const std::string& text, const char* caption,
                      LPCSTR icon = nullptr, DWORD timeoutMs = 10000) {
  HWND box = WaitForOwnedMessageBox(owner, timeoutMs);
  EXPECT_NE(box, nullptr) << text;
  if (box == nullptr) return box;
  EXPECT_EQ(std::pair(MessageBoxText(box), WindowText(box)),
            std::pair(text, std::string(caption)));
  EXPECT_TRUE(icon == nullptr || ShowsIcon(box, icon));
  return box;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The texts are checked under the code page asked for, or none at all.
    const char* codePage = std::getenv("SESTOR_EXPECT_ACP");
    ASSERT_EQ(GetACP(), codePage != nullptr ? std::atoi(codePage) : 1252u);
    ASSERT_TRUE(RecordSystemCalls());
    ForgetSystemCalls();
    // Whatever an earlier test left, stopped half-way or not.
    CreateDirectoryA(kTestFolder, nullptr);
    RemoveBelow(L"\\\\?\\C:\\sestor-tests");
    // COM on the dialog's thread is the program's own to set up.
    ui_ = std::thread(
        [this] { result_ = ShowMainDialog(GetModuleHandleA(nullptr)); });
    dialog_ = WaitForMainDialog(GetCurrentProcessId());
    ASSERT_NE(dialog_, nullptr);
  }

  // Leaves as a user would: stop a run, answer any box, press "Uscita".
  void TearDown() override {
    if (dialog_ != nullptr) {
      if (!Idle()) Click(dialog_, IDC_RUN);
      WaitUntil([this] {
        if (HWND box = FindOwnedMessageBox(dialog_))
          Click(box, HasButton(box, IDNO) ? IDNO : IDOK);
        return Idle();
      });
      Click(dialog_, IDC_EXIT);
    }
    if (ui_.joinable()) ui_.join();
    RemoveBelow(L"\\\\?\\C:\\sestor-tests");
  }

  static bool Idle() { return g_workerThread.load() == nullptr; }

  // During a run the options locked and the button "STOP"; else "Esegui".
  void ExpectControls(bool running) {
    for (int id :
         {IDC_FIRST_NUMBER, IDC_THROUGH_LAST, IDC_OUTPUT_FILE, IDC_EXIT})
      EXPECT_EQ(Enabled(id), !running) << id;
    EXPECT_TRUE(Enabled(IDC_RUN));
    EXPECT_EQ(ControlText(dialog_, IDC_RUN), running ? "STOP" : "Esegui");
  }

  // Waits for the run's end and its notice; then the controls and caption
  // are back, and Windows was asked what a run that `wrote` asks.
  void ExpectRunOver(bool wrote, DWORD timeoutMs = 10000) {
    ASSERT_TRUE(WaitUntil(Idle, timeoutMs));
    AllPostedHandled();
    ExpectControls(false);
    EXPECT_EQ(WindowText(dialog_), kProgramCaption);
    ExpectWindowsContract(wrote);
  }

  // Posted messages are handled in order, and some post others: once two
  // markers (the path box's "modified" flag) have acted, all have.
  void AllPostedHandled() {
    HWND edit = GetDlgItem(dialog_, IDC_OUTPUT_FILE);
    for (int marker = 0; marker < 2; ++marker) {
      SendMessageW(edit, EM_SETMODIFY, FALSE, 0);
      PostMessageW(edit, EM_SETMODIFY, TRUE, 0);
      ASSERT_TRUE(WaitUntil(
          [&] { return SendMessageW(edit, EM_GETMODIFY, 0, 0) != FALSE; }));
    }
  }

  // A whole run, no box; the taskbar went all the way.
  void RunToEnd() {
    Click(dialog_, IDC_RUN);
    ExpectRunOver(true, 60000);
    EXPECT_TRUE(!taskbar_ || ProgressCount(dialog_) == taskbarTotal_);
  }

  // Explorer's notice of the taskbar button: the object is taken afresh.
  void ShowTaskbarButton() {
    const std::size_t before = SystemCalls("HrInit").size();
    taskbar_ = true;
    SendMessageW(dialog_, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0,
                 0);
    ASSERT_EQ(SystemCalls("HrInit").size(), before + 1);
  }

  // Starts "Tutte" on path (Yes if it `fits` not); returns once the file is.
  void StartTutte(const std::string& path, bool fits = true) {
    Aim(dialog_, path, 0);
    Click(dialog_, IDC_RUN);
    if (!fits) Click(WaitForOwnedMessageBox(dialog_), IDYES);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(path); }));
  }

  // A "Tutte" ended early: the start of the output, as many lines as shown.
  void ExpectStartOfTutte(const std::string& path) {
    ExpectRunOver(true);
    const long long count = ProgressCount(dialog_);
    EXPECT_GT(count, 0);
    EXPECT_LT(count, 622614630);
    EXPECT_TRUE(FileHoldsReferenceLines(path.c_str(), 1, 85, count)) << count;
  }

  // Presses "Esegui"; when `asks`, Yes to the overwrite question.
  void PressRun(bool asks) {
    asks ? void(ExpectOverwriteQuestion(IDYES)) : Click(dialog_, IDC_RUN);
  }

  // A run that meets the create failure with `text` (after Yes if `asked`).
  void ExpectCreateFailure(const std::string& text, bool asked = false) {
    PressRun(asked);
    Click(ExpectBox(dialog_, text, "Errore", IDI_ERROR), IDOK);
    ExpectRunOver(false);
  }

  // Starts a run on a file there, expects the question, answers `button`.
  HWND ExpectOverwriteQuestion(int button = 0) {
    Click(dialog_, IDC_RUN);
    HWND box = ExpectBox(dialog_, kQuestion, "Attenzione", IDI_INFORMATION);
    if (button != 0) Click(box, button);
    return box;
  }

  // A run's effect as a letter, or 0: boxes F (fits), Q (overwrite), C, W
  // (failures); K k kept awake or not; s S the run button off and on; D the
  // flush; T t the timer; R r the shutdown reason; N E - the taskbar.
  char Effect(const SystemCall& call) const {
    if (call.name == "MessageBoxW") {
      const std::string first =
          Narrow(call.path.substr(0, call.path.find('\n')));
      for (const auto& [box, letter] : {std::pair{kDoesNotFit, 'F'},
                                        {kQuestion, 'Q'},
                                        {kCreateFailed, 'C'},
                                        {kWriteFailed, 'W'}})
        if (first == box) return letter;
      return '?';
    }
    if (call.name == "EnableWindow")
      return call.args[0] == reinterpret_cast<std::uintptr_t>(
                                 GetDlgItem(dialog_, IDC_RUN))
                 ? "sS"[call.args[1] != 0]
                 : 0;
    const std::tuple<const char*, int, std::uintptr_t, char> effects[] = {
        {"SetThreadExecutionState", 0, ES_CONTINUOUS | ES_SYSTEM_REQUIRED, 'K'},
        {"SetThreadExecutionState", 0, ES_CONTINUOUS, 'k'},
        {"SetProgressState", 1, TBPF_NORMAL, 'N'},
        {"SetProgressState", 1, TBPF_ERROR, 'E'},
        {"SetProgressState", 1, TBPF_NOPROGRESS, '-'},
        {"FlushFileBuffers", -1, 0, 'D'},
        {"SetTimer", -1, 0, 'T'},
        {"KillTimer", -1, 0, 't'},
        {"ShutdownBlockReasonCreate", -1, 0, 'R'},
        {"ShutdownBlockReasonDestroy", -1, 0, 'r'}};  // -1: no argument tells
    for (const auto& [name, at, value, letter] : effects)
      if (call.name == name && (at < 0 || call.args[at] == value))
        return letter;
    return call.name == "SetThreadExecutionState" ||
                   call.name == "SetProgressState"
               ? '?'
               : 0;
  }

  // What the run since the last check asked of Windows: its effects in the
  // README's order (K T R N as the file opens, s D S k t r as it closes, E W
  // if lines were lost, - at the end), T t R r N E - from the dialog's
  // thread; the worker's file calls unredirected, identifying only.
  void ExpectWindowsContract(bool wrote) {
    const DWORD ui = GetWindowThreadProcessId(dialog_, nullptr);
    bool redirected = true;
    sequence_.clear();
    checked_ = SystemCalls();
    for (const SystemCall& call : checked_) {
      SCOPED_TRACE(call.name);
      const bool worker =
          call.thread != ui && call.thread != GetCurrentThreadId();
      if (const char letter = Effect(call)) {
        sequence_ += letter;
        EXPECT_EQ(call.thread == ui, std::strchr("TtRrNE-", letter) != nullptr);
      }
      if (call.name.find("Timer") != std::string::npos) {
        EXPECT_EQ(call.args[0], reinterpret_cast<std::uintptr_t>(dialog_));
        EXPECT_EQ(call.args[1], IDT_PROGRESS + 0u);
        EXPECT_TRUE(call.name != "SetTimer" || call.args[2] == 500u);
      } else if (call.name.compare(0, 5, "Wow64") == 0) {
        EXPECT_EQ(redirected, call.name[5] == 'D');
        EXPECT_TRUE(call.name[5] == 'D' || call.args[0] == 0x5E5u);
        redirected = call.name[5] != 'D';
      } else if (worker && call.name == "CreateFileW") {
        EXPECT_EQ(call.args[4] & 0xFFFF0000u,
                  (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION) + 0u);
      }
      const bool namesFile =
          worker && (call.name.compare(0, 10, "CreateFile") == 0 ||
                     call.name.compare(0, 17, "GetFileAttributes") == 0 ||
                     call.name == "MessageBoxW");
      EXPECT_TRUE(!namesFile || redirected == (call.name == "MessageBoxW"));
    }
    EXPECT_TRUE(redirected);
    std::string expected = wrote ? "[FQ]*KTRNsDSktr(EW)?-" : "[FQ]*C?-";
    if (!taskbar_)
      expected = std::regex_replace(expected, std::regex("[NE-]"), "");
    EXPECT_TRUE(std::regex_match(sequence_, std::regex(expected))) << sequence_;
    // The button at the end: plain, its last value the count shown.
    const TaskbarButton shown = ShownOnTaskbar();
    EXPECT_TRUE(!taskbar_ || shown.state == TBPF_NOPROGRESS);
    if (taskbar_ && wrote) {
      EXPECT_EQ(shown.done + 0ll, ProgressCount(dialog_));
      taskbarTotal_ = static_cast<long long>(shown.total);
    }
    ForgetSystemCalls();
  }

  // The thread and the first `count` arguments of each call of `name`.
  using Calls = std::vector<std::vector<std::uintptr_t>>;
  static Calls Args(const char* name, std::size_t count) {
    Calls all;
    for (const SystemCall& call : SystemCalls(name)) {
      all.push_back({call.thread});
      all.back().insert(all.back().end(), call.args, call.args + count);
    }
    return all;
  }

  bool Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(dialog_, id));
  }

  std::string Progress() const { return ControlText(dialog_, IDC_PROGRESS); }

  HWND dialog_ = nullptr;
  INT_PTR result_ = 0;
  // The calls the last ExpectWindowsContract checked, and their effects.
  std::vector<SystemCall> checked_;
  std::string sequence_;
  // Whether the taskbar button is announced; the last run's total there.
  bool taskbar_ = false;
  long long taskbarTotal_ = -1;
  std::thread ui_;
};
