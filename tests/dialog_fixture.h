// A fixture that shows the real main dialog on a thread of its own, as
// WinMain does, and acts on it from the test's thread as a user would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
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

// Files by their wide names, for paths beyond the code page; plain ASCII
// names widen as they are.
inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::FILE* f = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  WriteFileBytes(std::wstring(path.begin(), path.end()), bytes);
}

inline std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  if (std::FILE* f = _wfopen(path.c_str(), L"rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
      bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
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

  // Waits for the run to end; then the controls are back, and Windows was
  // asked what a run that wrote its file (or not) asks.
  void ExpectRunOver(bool wrote, DWORD timeoutMs = 10000) {
    ASSERT_TRUE(WaitUntil(Idle, timeoutMs));
    ExpectControls(false);
    ExpectWindowsContract(wrote);
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

  // Starts a run whose file can't be written and expects the create-failure
  // box, which it closes.
  void ExpectCreateFailure() {
    Click(dialog_, IDC_RUN);
    ExpectCreateFailureBox();
  }

  void ExpectCreateFailureBox() {
    Click(ExpectBox(dialog_, "Impossibile creare il file", "Errore", IDI_ERROR),
          IDOK);
    ExpectRunOver(false);
  }

  // Starts a run on an existing file and expects the overwrite question,
  // answering it with `button` when one is given.
  HWND ExpectOverwriteQuestion(int button = 0) {
    Click(dialog_, IDC_RUN);
    HWND box = ExpectBox(dialog_, "Il file esiste gi\xE0. Vuoi sovrascrivere",
                         "Attenzione", IDI_INFORMATION);
    if (button != 0) Click(box, button);
    return box;
  }

  // What Windows is asked during the runs since the last check, which have
  // all ended, and that wrote their file when `wrote`. The shutdown reason
  // lasts from the press to the end of each run; the system is kept awake,
  // and the progress timer (1, 500 ms, on the dialog's own thread, which
  // alone may set it) runs, while a file is open; the worker's file calls
  // see System32 as the box names it, without redirection, and it shows no
  // box meanwhile.
  void ExpectWindowsContract(bool wrote) {
    const auto count = [](const char* name) {
      return SystemCalls(name).size();
    };
    ASSERT_TRUE(WaitUntil([&] {
      return count("ShutdownBlockReasonDestroy") ==
             count("ShutdownBlockReasonCreate");
    }));
    EXPECT_GT(count("ShutdownBlockReasonCreate"), 0u);
    const DWORD ui = GetWindowThreadProcessId(dialog_, nullptr);
    const auto dialog = reinterpret_cast<std::uintptr_t>(dialog_);
    bool redirected = true, keptAwake = false, lost = false;
    std::size_t timers = 0, writes = 0;
    checked_ = SystemCalls();
    for (const SystemCall& call : checked_) {
      SCOPED_TRACE(call.name);
      if (call.name == "ShutdownBlockReasonCreate") {
        EXPECT_EQ(call.path, L"Sestor sta scrivendo il file");
      }
      lost |= call.path == L"Errore durante la scrittura del file";
      if (call.name.compare(0, 8, "Shutdown") == 0 ||
          call.name.compare(0, 11, "SetProgress") == 0 ||
          call.name.find("Timer") != std::string::npos) {
        EXPECT_EQ(call.thread, ui);
        EXPECT_EQ(call.args[0], dialog);
      }
      if (call.name == "SetTimer") {
        EXPECT_EQ(call.args[1], IDT_PROGRESS + 0u);
        EXPECT_EQ(call.args[2], 500u);
        EXPECT_EQ(timers++, writes);
      } else if (call.name == "KillTimer") {
        EXPECT_EQ(call.args[1], IDT_PROGRESS + 0u);
        EXPECT_EQ(timers, ++writes);
      } else if (call.name == "SetThreadExecutionState") {
        EXPECT_EQ(call.args[0], keptAwake ? ES_CONTINUOUS
                                          : ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        keptAwake = !keptAwake;
      } else if (call.name == "Wow64DisableWow64FsRedirection") {
        EXPECT_TRUE(redirected);
        redirected = false;
      } else if (call.name == "Wow64RevertWow64FsRedirection") {
        EXPECT_FALSE(redirected);
        EXPECT_EQ(call.args[0], 0x5E5u);
        redirected = true;
      } else if (call.thread != ui && call.thread != GetCurrentThreadId()) {
        EXPECT_EQ(redirected, call.name == "MessageBoxW");
      }
    }
    EXPECT_EQ(writes, wrote ? 1u : 0u);
    EXPECT_EQ(timers, writes);
    EXPECT_FALSE(keptAwake);
    EXPECT_EQ(count("SetThreadExecutionState"), 2 * writes);
    EXPECT_TRUE(redirected);
    ExpectTaskbar(wrote, lost);
    ForgetSystemCalls();
  }

  // The taskbar button: nothing before it exists. Then a run that writes a
  // file shows the normal state and values of the run's total rising to the
  // count shown, both again on a button announced anew; the error state
  // only when lines were lost, and from then on; every run ends with no
  // progress on it, and none shows any while it asks.
  void ExpectTaskbar(bool wrote, bool lost) {
    std::vector<SystemCall> bar;
    for (const SystemCall& call : checked_)
      if (call.name.compare(0, 11, "SetProgress") == 0 || call.name == "HrInit")
        bar.push_back(call);
    if (!taskbar_) {
      EXPECT_TRUE(bar.empty());
      return;
    }
    const auto isState = [](const SystemCall& call, TBPFLAG state) {
      return call.name == "SetProgressState" && call.args[1] == state + 0u;
    };
    ASSERT_FALSE(bar.empty());
    EXPECT_TRUE(isState(bar.back(), TBPF_NOPROGRESS));
    if (!wrote) {
      EXPECT_EQ(std::count_if(bar.begin(), bar.end(),
                              [](auto& call) { return call.name != "HrInit"; }),
                1);
      return;
    }
    std::uintptr_t done = 0;
    bool fresh = true, red = false;  // no state shown yet on this button
    taskbarTotal_ = -1;
    for (std::size_t i = 0; i + 1 < bar.size(); ++i) {
      SCOPED_TRACE(i);
      if (bar[i].name == "HrInit") {
        fresh = true;
      } else if (bar[i].name == "SetProgressValue") {
        EXPECT_FALSE(fresh);
        // After a write error the last value falls back, as the count does,
        // to the lines that reached the file.
        if (!isState(bar[i + 1], TBPF_ERROR)) {
          EXPECT_GE(bar[i].args[1], done);
        }
        done = bar[i].args[1];
        if (taskbarTotal_ < 0) taskbarTotal_ = bar[i].args[2];
        EXPECT_EQ(bar[i].args[2] + 0ll, taskbarTotal_);
      } else if (isState(bar[i], TBPF_ERROR)) {
        EXPECT_TRUE(lost);
        red = true;
        fresh = false;
      } else {
        EXPECT_TRUE(isState(bar[i], TBPF_NORMAL) && fresh && !red);
        fresh = false;
      }
    }
    EXPECT_EQ(red, lost);
    EXPECT_EQ(done + 0ll, ProgressCount(dialog_));
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
