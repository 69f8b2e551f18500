// A fixture that shows the real main dialog on a thread of its own, as
// WinMain does, and acts on it from the test's thread as a user would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "run/run_state.h"
#include "tests/dialog_driver.h"
#include "tests/reference.h"
#include "tests/system_calls.h"
#include "ui/main_dialog.h"

// Where the tests write; inside the test prefix's drive C.
const char kTestFolder[] = "C:\\sestor-tests";

inline std::string TestPath(const std::string& name) {
  return std::string(kTestFolder) + "\\" + name;
}

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The one line that "Primo numero 85" writes, the shortest run of all.
const char kLastLine[] = "85;86;87;88;89;90\r\n";
// The program's boxes.
const char kQuestion[] = "Il file esiste gi\xE0. Vuoi sovrascrivere";
const char kCreateFailed[] = "Impossibile creare il file";
const char kWriteFailed[] = "Errore durante la scrittura del file";

// Removes everything below `folder`, the folder itself staying.
inline void RemoveBelow(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveBelow(path);
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A file by its wide name, for paths beyond the code page.
inline void WriteFileBytes(const std::filesystem::path& path,
                           const std::string& bytes) {
  std::FILE* f = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Waits for a message box that `owner` owns, with this text and caption,
// and the system's icon `icon` (only for a box of this process).
inline HWND ExpectBox(HWND owner, const char* text, const char* caption,
                      LPCSTR icon = nullptr, DWORD timeoutMs = 10000) {
  HWND box = WaitForOwnedMessageBox(owner, timeoutMs);
  EXPECT_NE(box, nullptr) << text;
  if (box != nullptr) {
    EXPECT_EQ(MessageBoxText(box), text);
    EXPECT_EQ(WindowText(box), caption);
    if (icon != nullptr) {
      EXPECT_TRUE(ShowsIcon(box, icon));
    }
  }
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
        if (HWND box = FindOwnedMessageBox(dialog_)) {
          Click(box, HasButton(box, IDNO) ? IDNO : IDOK);
        }
        return Idle();
      });
      Click(dialog_, IDC_EXIT);
    }
    if (ui_.joinable()) ui_.join();
    RemoveBelow(L"\\\\?\\C:\\sestor-tests");
  }

  static bool Idle() { return g_workerThread.load() == nullptr; }

  // The options locked and the run button "STOP" during a run; all
  // enabled and "Esegui" otherwise.
  void ExpectControls(bool running) {
    for (int id :
         {IDC_FIRST_NUMBER, IDC_THROUGH_LAST, IDC_OUTPUT_FILE, IDC_EXIT})
      EXPECT_EQ(Enabled(id), !running) << id;
    EXPECT_TRUE(Enabled(IDC_RUN));
    EXPECT_EQ(ControlText(dialog_, IDC_RUN), running ? "STOP" : "Esegui");
  }

  // Waits for the run to end and its posted notice to be handled; then the
  // controls are back, and Windows was asked what a run that wrote its file
  // (or not) asks.
  void ExpectRunOver(bool wrote, DWORD timeoutMs = 10000) {
    ASSERT_TRUE(WaitUntil(Idle, timeoutMs));
    AllPostedHandled();
    ExpectControls(false);
    ExpectWindowsContract(wrote);
  }

  // Messages posted to the dialog's thread are handled in order, and some
  // post others (a close its cancel command): once two markers posted after
  // them have acted, all have. The marker is the path box's "modified" flag,
  // which the program never reads.
  void AllPostedHandled() {
    HWND edit = GetDlgItem(dialog_, IDC_OUTPUT_FILE);
    for (int marker = 0; marker < 2; ++marker) {
      SendMessageW(edit, EM_SETMODIFY, FALSE, 0);
      PostMessageW(edit, EM_SETMODIFY, TRUE, 0);
      ASSERT_TRUE(WaitUntil(
          [&] { return SendMessageW(edit, EM_GETMODIFY, 0, 0) != FALSE; }));
    }
  }

  // Presses "Esegui" and waits until the run is over (no box expected); on
  // the taskbar it went all the way.
  void RunToEnd() {
    Click(dialog_, IDC_RUN);
    ExpectRunOver(true, 60000);
    if (taskbar_) {
      EXPECT_EQ(ProgressCount(dialog_), taskbarTotal_);
    }
  }

  // Explorer's notice that the program's taskbar button exists, again
  // after Explorer restarts.
  void ShowTaskbarButton() {
    const std::size_t before = SystemCalls("HrInit").size();
    taskbar_ = true;
    SendMessageW(dialog_, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0,
                 0);
    ASSERT_EQ(SystemCalls("HrInit").size(), before + 1);  // taken afresh
  }

  // Starts "Tutte" on path; returns once its file is there.
  void StartTutte(const std::string& path) {
    SetControlText(dialog_, IDC_OUTPUT_FILE, path);
    ChooseRange(dialog_, 0, false);
    Click(dialog_, IDC_RUN);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(path); }));
  }

  // A "Tutte" run that has ended early: the file holds whole lines, the
  // start of the whole output, as many as the count shows.
  void ExpectStartOfTutte(const std::string& path) {
    ExpectRunOver(true);
    const long long count = ProgressCount(dialog_);
    EXPECT_GT(count, 0);
    EXPECT_LT(count, 622614630);
    EXPECT_TRUE(FileHoldsReferenceLines(path.c_str(), 1, 85, count)) << count;
  }

  // Presses "Esegui"; when `asks`, the overwrite question comes and is
  // answered Yes.
  void PressRun(bool asks) {
    if (asks) {
      ExpectOverwriteQuestion(IDYES);
    } else {
      Click(dialog_, IDC_RUN);
    }
  }

  // Starts a run whose file can't be written (after Yes to the question
  // when `asked`) and expects the create-failure box, which it closes.
  void ExpectCreateFailure(bool asked = false) {
    PressRun(asked);
    Click(ExpectBox(dialog_, kCreateFailed, "Errore", IDI_ERROR), IDOK);
    ExpectRunOver(false);
  }

  // Starts a run on an existing file and expects the overwrite question,
  // answering it with `button` when one is given.
  HWND ExpectOverwriteQuestion(int button = 0) {
    Click(dialog_, IDC_RUN);
    HWND box = ExpectBox(dialog_, kQuestion, "Attenzione", IDI_INFORMATION);
    if (button != 0) Click(box, button);
    return box;
  }

  // What Windows is asked during the run since the last check, which has
  // ended, and that wrote its file when `wrote`. While the file is open, and
  // only then, the system is kept awake, the progress timer runs (1, 500 ms)
  // and the shutdown screen gives the reason, these two on the dialog's own
  // thread, which alone may set them; the worker's calls that name the file
  // see System32 as the box names it, without redirection, and a pipe there
  // could only identify the user; it shows no box meanwhile.
  void ExpectWindowsContract(bool wrote) {
    const DWORD ui = GetWindowThreadProcessId(dialog_, nullptr);
    const auto dialog = reinterpret_cast<std::uintptr_t>(dialog_);
    bool redirected = true;
    std::string phases;  // + as the file opens, - as it closes
    checked_ = SystemCalls();
    for (const SystemCall& call : checked_) {
      SCOPED_TRACE(call.name);
      const bool worker =
          call.thread != ui && call.thread != GetCurrentThreadId();
      if (call.name.compare(0, 8, "Shutdown") == 0 ||
          call.name.compare(0, 11, "SetProgress") == 0 ||
          call.name.find("Timer") != std::string::npos) {
        EXPECT_EQ(call.thread, ui);
        EXPECT_EQ(call.args[0], dialog);
      }
      if (call.name == "SetTimer") {
        EXPECT_EQ(call.args[1], IDT_PROGRESS + 0u);
        EXPECT_EQ(call.args[2], 500u);
        phases += '+';
      } else if (call.name == "KillTimer") {
        EXPECT_EQ(call.args[1], IDT_PROGRESS + 0u);
        phases += '-';
      } else if (call.name == "ShutdownBlockReasonCreate") {
        EXPECT_EQ(call.path, L"Sestor sta scrivendo il file");
        phases += '+';
      } else if (call.name == "ShutdownBlockReasonDestroy") {
        phases += '-';
      } else if (call.name == "SetThreadExecutionState") {
        phases += call.args[0] == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) ? '+'
                  : call.args[0] == ES_CONTINUOUS                      ? '-'
                                                                       : '?';
      } else if (call.name == "Wow64DisableWow64FsRedirection") {
        EXPECT_TRUE(redirected);
        redirected = false;
      } else if (call.name == "Wow64RevertWow64FsRedirection") {
        EXPECT_FALSE(redirected);
        EXPECT_EQ(call.args[0], 0x5E5u);
        redirected = true;
      } else if (worker && call.name == "CreateFileW") {
        EXPECT_EQ(call.args[4] & 0xFFFF0000u,
                  (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION) + 0u);
      }
      if (worker &&
          (call.name == "CreateFileW" || call.name == "GetFileAttributesW" ||
           call.name == "MessageBoxW")) {
        EXPECT_EQ(redirected, call.name == "MessageBoxW");
      }
    }
    EXPECT_EQ(phases, wrote ? "+++---" : "");
    EXPECT_TRUE(redirected);
    ExpectTaskbar(wrote, std::any_of(checked_.begin(), checked_.end(),
                                     [](const SystemCall& call) {
                                       return call.path == Widen(kWriteFailed);
                                     }));
    ForgetSystemCalls();
  }

  // The taskbar button, once announced: green over a run that writes its
  // file (again on a button announced anew), red only where lines were
  // lost, and nothing once the run is over, its last value the count shown
  // of the run's total. Without a button, nothing.
  void ExpectTaskbar(bool wrote, bool lost) {
    std::string states;  // N normal, E error, - nothing, in the order set
    for (const SystemCall& call : checked_) {
      EXPECT_TRUE(taskbar_ || call.name.compare(0, 11, "SetProgress") != 0);
      if (call.name == "SetProgressState")
        states += call.args[1] == TBPF_NORMAL  ? 'N'
                  : call.args[1] == TBPF_ERROR ? 'E'
                                               : "-?"[call.args[1] != 0];
    }
    if (!taskbar_) return;
    EXPECT_TRUE(std::regex_match(states, std::regex(!wrote ? "-"
                                                    : lost ? "N+E+-"
                                                           : "N+-")))
        << states;
    const TaskbarButton shown = ShownOnTaskbar();
    EXPECT_EQ(shown.state, TBPF_NOPROGRESS);
    if (wrote) {
      EXPECT_EQ(shown.done + 0ll, ProgressCount(dialog_));
      taskbarTotal_ = static_cast<long long>(shown.total);
    }
  }

  bool Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(dialog_, id));
  }

  std::string Progress() const { return ControlText(dialog_, IDC_PROGRESS); }

  HWND dialog_ = nullptr;
  INT_PTR result_ = 0;
  // The calls that the last ExpectWindowsContract checked.
  std::vector<SystemCall> checked_;
  // Whether the taskbar button has been announced, and the total that the
  // last run showed on it.
  bool taskbar_ = false;
  long long taskbarTotal_ = -1;
  std::thread ui_;
};
