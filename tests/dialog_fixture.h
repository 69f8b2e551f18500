// A fixture that shows the real main dialog on a thread of its own, as
// WinMain does, and acts on it from the test's thread as a user would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "run/run_state.h"
#include "tests/dialog_driver.h"
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

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RecordSystemCalls());
    ForgetSystemCalls();
    CreateDirectoryA(kTestFolder, nullptr);
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
    ui_.join();
  }

  static bool Idle() { return g_workerThread.load() == nullptr; }

  // Presses "Esegui" and waits until the run is over (no box expected).
  void RunToEnd(DWORD timeoutMs = 60000) {
    Click(dialog_, IDC_RUN);
    ASSERT_TRUE(WaitUntil(Idle, timeoutMs));
    ExpectWindowsContract(true);
  }

  // Starts a run whose file can't be written and expects the create-failure
  // box, which it closes.
  void ExpectCreateFailure() {
    Click(dialog_, IDC_RUN);
    ExpectCreateFailureBox();
  }

  void ExpectCreateFailureBox() {
    HWND box = WaitForOwnedMessageBox(dialog_);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Impossibile creare il file");
    EXPECT_EQ(WindowText(box), "Errore");
    EXPECT_TRUE(ShowsIcon(box, IDI_ERROR));
    Click(box, IDOK);
    ASSERT_TRUE(WaitUntil(Idle));
    ExpectWindowsContract(false);
  }

  // Starts a run on an existing file and expects the overwrite question.
  HWND ExpectOverwriteQuestion() {
    Click(dialog_, IDC_RUN);
    HWND box = WaitForOwnedMessageBox(dialog_);
    EXPECT_NE(box, nullptr);
    if (box != nullptr) {
      EXPECT_EQ(MessageBoxText(box),
                "Il file esiste gi\xE0. Vuoi sovrascrivere");
      EXPECT_EQ(WindowText(box), "Attenzione");
      EXPECT_TRUE(ShowsIcon(box, IDI_INFORMATION));
    }
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
    bool redirected = true, keptAwake = false;
    std::size_t timers = 0, writes = 0;
    checked_ = SystemCalls();
    for (const SystemCall& call : checked_) {
      SCOPED_TRACE(call.name);
      if (call.name == "ShutdownBlockReasonCreate") {
        EXPECT_EQ(call.path, L"Sestor sta scrivendo il file");
      }
      if (call.name.compare(0, 8, "Shutdown") == 0 ||
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
    ForgetSystemCalls();
  }

  bool Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(dialog_, id));
  }

  std::string Progress() const { return ControlText(dialog_, IDC_PROGRESS); }

  HWND dialog_ = nullptr;
  INT_PTR result_ = 0;
  // The calls that the last ExpectWindowsContract checked.
  std::vector<SystemCall> checked_;
  std::thread ui_;
};
