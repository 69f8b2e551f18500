// A fixture that shows the real main dialog on a thread of its own, as
// WinMain does, and acts on it from the test's thread as a user would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "resource.h"
#include "run/run_state.h"
#include "tests/dialog_driver.h"
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

  bool Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(dialog_, id));
  }

  std::string Progress() const { return ControlText(dialog_, IDC_PROGRESS); }

  HWND dialog_ = nullptr;
  INT_PTR result_ = 0;
  std::thread ui_;
};
