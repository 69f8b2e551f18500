// The main dialog driven as a user drives it: its start-up state, the
// commands it ignores, runs with their files and progress text, the
// overwrite question, the create failure, stopping, the end of the session,
// and leaving.
#include <string>

#include "tests/dialog_fixture.h"
#include "tests/reference.h"

namespace {

const int kOptionControls[] = {IDC_FIRST_NUMBER, IDC_THROUGH_LAST,
                               IDC_OUTPUT_FILE, IDC_EXIT};

std::string ListEntry(HWND dialog, int index) {
  wchar_t text[64] = {};
  SendDlgItemMessageW(dialog, IDC_FIRST_NUMBER, CB_GETLBTEXT,
                      static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(text));
  char ansi[64] = {};
  WideCharToMultiByte(1252, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
  return ansi;
}

TEST_F(DialogTest, StartsWithDefaults) {
  EXPECT_EQ(WindowText(dialog_),
            "Sestor - Generazione combinazioni SuperEnalotto v.1.0");
  EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), "C:\\PROVA\\GENERATO.TXT");
  EXPECT_EQ(Progress(), "");
  EXPECT_EQ(ControlText(dialog_, IDC_RUN), "Esegui");
  EXPECT_EQ(ControlText(dialog_, IDC_EXIT), "Uscita");
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_THROUGH_LAST, BM_GETCHECK, 0, 0),
            BST_UNCHECKED);
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_FIRST_NUMBER, CB_GETCURSEL, 0, 0),
            0);
  for (int id : kOptionControls) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_RUN));
}

TEST_F(DialogTest, ListHoldsTutteThenEveryFirstNumberInOrder) {
  ASSERT_EQ(SendDlgItemMessageW(dialog_, IDC_FIRST_NUMBER, CB_GETCOUNT, 0, 0),
            86);
  EXPECT_EQ(ListEntry(dialog_, 0), "Tutte");
  for (int n = 1; n <= 85; ++n)
    EXPECT_EQ(ListEntry(dialog_, n), "Primo numero " + std::to_string(n));
}

// Escape, the close box, Alt+F4, Enter and a foreign timer do nothing, idle
// or during a run (where the run's own timer moves the progress text, so it
// is compared only idle).
TEST_F(DialogTest, CancelCloseEnterAndForeignTimerAreIgnored) {
  HWND edit = GetDlgItem(dialog_, IDC_OUTPUT_FILE);
  // Posted messages are handled in order, and a close posts its cancel
  // command: once two markers posted after them have acted, all have.
  const auto allHandled = [&] {
    for (DWORD marker = 1; marker <= 2; ++marker) {
      PostMessageW(edit, EM_SETSEL, marker, marker + 1);
      ASSERT_TRUE(WaitUntil([&] {
        DWORD start = 0, end = 0;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return start == marker && end == marker + 1;
      }));
    }
  };
  const auto tryToLeave = [&](const char* when) {
    SCOPED_TRACE(when);
    const std::string progress = Progress();
    PressKey(edit, VK_ESCAPE);
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);  // close box, Alt+F4
    PostMessageW(dialog_, WM_CLOSE, 0, 0);
    PressKey(edit, VK_RETURN);
    PostMessageW(dialog_, WM_TIMER, IDT_PROGRESS + 1, 0);
    allHandled();
    EXPECT_TRUE(IsWindow(dialog_));
    EXPECT_TRUE(IsWindowVisible(dialog_));
    if (Idle()) {
      EXPECT_EQ(Progress(), progress);
    }
  };
  tryToLeave("idle");

  const std::string path = TestPath("ignored.txt");
  DeleteFileA(path.c_str());
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  ChooseRange(dialog_, 0, false);  // long enough to outlast the attempts
  Click(dialog_, IDC_RUN);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(path); }));
  tryToLeave("running");
  EXPECT_FALSE(Idle());
  Click(dialog_, IDC_RUN);
  ASSERT_TRUE(WaitUntil(Idle));
  DeleteFileA(path.c_str());
}

// The range rules, each checked against the file and the final count.
TEST_F(DialogTest, RangeFollowsListAndCheckBox) {
  const std::string path = TestPath("range.txt");
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  struct Case {
    int index;
    bool throughLast;
    int first, last;
  } cases[] = {{84, true, 84, 85},
               {84, false, 84, 84},
               {85, true, 85, 85},
               {80, false, 80, 80},
               {75, true, 75, 85}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    DeleteFileA(path.c_str());
    ChooseRange(dialog_, c.index, c.throughLast);
    RunToEnd();
    const std::string expected = ReferenceText(c.first, c.last);
    EXPECT_TRUE(ReadFileBytes(path.c_str()) == expected);
    EXPECT_EQ(ProgressCount(dialog_),
              static_cast<long long>(
                  std::count(expected.begin(), expected.end(), '\n')));
    for (int id : kOptionControls) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_EQ(ControlText(dialog_, IDC_RUN), "Esegui");
  }
  EXPECT_EQ(Progress(), "Combinazione 8008");  // 75 through 85
  DeleteFileA(path.c_str());
}

// "Tutte" runs from 1 whatever the box says; a run stopped at once keeps its
// first line, and the second of two quick presses is that stop.
TEST_F(DialogTest, TwoQuickPressesWriteOneLine) {
  const std::string path = TestPath("twice.txt");
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  for (bool throughLast : {false, true}) {
    DeleteFileA(path.c_str());
    ChooseRange(dialog_, 0, throughLast);
    HWND run = GetDlgItem(dialog_, IDC_RUN);
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(run));
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(run));
    ASSERT_TRUE(WaitUntil(
        [&] { return Idle() && FileExists(path) && RunFinished(dialog_); }));
    EXPECT_EQ(ReadFileBytes(path.c_str()), "1;2;3;4;5;6\r\n");
    EXPECT_EQ(Progress(), "Combinazione 1");
  }
  DeleteFileA(path.c_str());
}

TEST_F(DialogTest, OverwriteQuestionGuardsAnExistingFile) {
  const std::string path = TestPath("existing.txt");
  SetControlText(dialog_, IDC_OUTPUT_FILE, TestPath("first.txt"));
  DeleteFileA(TestPath("first.txt").c_str());
  ChooseRange(dialog_, 85, false);
  RunToEnd();
  ASSERT_EQ(Progress(), "Combinazione 1");

  // Longer than what replaces it: none of it may be left at the end.
  const std::string old = std::string(200, 'o') + "\r\n";
  WriteFileBytes(path, old);
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  ChooseRange(dialog_, 84, false);
  HWND box = ExpectOverwriteQuestion();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(HasButton(box, IDYES));
  EXPECT_TRUE(HasButton(box, IDNO));
  EXPECT_FALSE(HasButton(box, IDCANCEL));
  // The run has started and locked the options while it asks.
  for (int id : kOptionControls) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_RUN));
  EXPECT_EQ(ControlText(dialog_, IDC_RUN), "STOP");

  Click(box, IDNO);
  ASSERT_TRUE(WaitUntil(Idle));
  EXPECT_EQ(ReadFileBytes(path.c_str()), old);
  EXPECT_EQ(Progress(), "Combinazione 1");
  for (int id : kOptionControls) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_EQ(ControlText(dialog_, IDC_RUN), "Esegui");

  // Yes is the default button: Enter overwrites.
  box = ExpectOverwriteQuestion();
  ASSERT_NE(box, nullptr);
  PressKey(box, VK_RETURN);
  ASSERT_TRUE(WaitUntil(Idle));
  EXPECT_EQ(ReadFileBytes(path.c_str()), ReferenceText(84, 84));
  EXPECT_EQ(Progress(), "Combinazione 6");
  DeleteFileA(path.c_str());
  DeleteFileA(TestPath("first.txt").c_str());
}

TEST_F(DialogTest, DefaultPathNeedsItsFolder) {
  DeleteFileA("C:\\PROVA\\GENERATO.TXT");
  RemoveDirectoryA("C:\\PROVA");
  ChooseRange(dialog_, 85, false);
  ExpectCreateFailure();
  EXPECT_FALSE(FileExists("C:\\PROVA"));
  EXPECT_EQ(Progress(), "");
  for (int id : kOptionControls) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_EQ(ControlText(dialog_, IDC_RUN), "Esegui");
}

// STOP mid-run: whole lines, the start of the full output, and the progress
// text gives their number. While the run goes the options stay locked, the
// count is shown and grows, and the end of the session is refused. The stop
// ends that run only: the next one is whole.
TEST_F(DialogTest, StopKeepsWholeLinesAndShowsTheirCount) {
  const std::string path = TestPath("stopped.txt");
  DeleteFileA(path.c_str());
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  Click(dialog_, IDC_RUN);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(path); }));
  EXPECT_EQ(ControlText(dialog_, IDC_RUN), "STOP");
  for (int id : kOptionControls) EXPECT_FALSE(Enabled(id)) << id;
  long long shown = 0;
  const auto countGrows = [&] {
    const long long before = shown;
    return WaitUntil([&] { return (shown = ProgressCount(dialog_)) > before; });
  };
  EXPECT_TRUE(countGrows());
  EXPECT_EQ(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_TRUE(countGrows());
  EXPECT_FALSE(Idle());
  Click(dialog_, IDC_RUN);
  ASSERT_TRUE(WaitUntil(Idle));

  const long long count = ProgressCount(dialog_);
  EXPECT_GT(count, 0);
  EXPECT_LT(count, 300000000);
  EXPECT_TRUE(FileHoldsReferenceLines(path.c_str(), 1, 85, count)) << count;
  for (int id : kOptionControls) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_NE(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);

  DeleteFileA(path.c_str());
  ChooseRange(dialog_, 84, true);
  RunToEnd();
  EXPECT_EQ(ReadFileBytes(path.c_str()), ReferenceText(84, 85));
  DeleteFileA(path.c_str());
}

// The session ends all the same (the user chose to end it): the run stops
// and closes its file before the answer, whole lines, as many as it shows.
TEST_F(DialogTest, EndOfSessionClosesTheFileFirst) {
  const std::string path = TestPath("session.txt");
  DeleteFileA(path.c_str());
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  Click(dialog_, IDC_RUN);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(path); }));
  SendMessageW(dialog_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  // Closed: while the run has it open nobody else may write it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_TRUE(WaitUntil(Idle));
  const long long count = ProgressCount(dialog_);
  EXPECT_TRUE(FileHoldsReferenceLines(path.c_str(), 1, 85, count)) << count;
  DeleteFileA(path.c_str());
}

TEST_F(DialogTest, UscitaEndsTheDialogWithOne) {
  Click(dialog_, IDC_EXIT);
  ui_.join();
  EXPECT_EQ(result_, 1);
  dialog_ = nullptr;
  ui_ = std::thread([] {});
}

// The real program, from another process: a run, then "Uscita", exit 1.
TEST(ProgramTest, RealExeRunsAndExitsWithOne) {
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(StartBeside("..\\Sestor.exe", &process));
  HWND dialog = WaitForMainDialog(process.dwProcessId);
  ASSERT_NE(dialog, nullptr);
  const std::string output = TestPath("real.txt");
  CreateDirectoryA(kTestFolder, nullptr);
  DeleteFileA(output.c_str());
  // The program's own path box takes any characters (see failure_test.cpp).
  EXPECT_TRUE(IsWindowUnicode(GetDlgItem(dialog, IDC_OUTPUT_FILE)));
  SetControlText(dialog, IDC_OUTPUT_FILE, output);
  EXPECT_EQ(ControlText(dialog, IDC_OUTPUT_FILE), output);
  ChooseRange(dialog, 84, true);
  Click(dialog, IDC_RUN);
  EXPECT_TRUE(WaitUntil(
      [&] { return ProgressCount(dialog) == 7 && RunFinished(dialog); }));
  EXPECT_EQ(ReadFileBytes(output.c_str()), ReferenceText(84, 85));
  Click(dialog, IDC_EXIT);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  EXPECT_EQ(status, 1u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  DeleteFileA(output.c_str());
}

}  // namespace
