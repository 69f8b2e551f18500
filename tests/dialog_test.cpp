// The main dialog driven as a user drives it: its start-up state, the
// commands it ignores, runs with their files and progress text, the
// overwrite question, the create failure, stopping, the end of the session,
// and leaving.
#include <oleacc.h>

#include <atomic>
#include <string>
#include <vector>

#include "generation/combinations.h"
#include "run/generation_run.h"
#include "tests/dialog_fixture.h"
#include "tests/reference.h"

namespace {

std::string ListEntry(HWND dialog, int index) {
  wchar_t text[64] = {};
  SendDlgItemMessageW(dialog, IDC_FIRST_NUMBER, CB_GETLBTEXT,
                      static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(text));
  return Narrow(text);
}

TEST_F(DialogTest, StartsWithDefaults) {
  EXPECT_EQ(WindowText(dialog_),
            "Sestor - Generazione combinazioni SuperEnalotto v.1.0");
  EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), "C:\\PROVA\\GENERATO.TXT");
  EXPECT_EQ(Progress(), "");
  EXPECT_EQ(ControlText(dialog_, IDC_EXIT), "Uscita");
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_THROUGH_LAST, BM_GETCHECK, 0, 0),
            BST_UNCHECKED);
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_FIRST_NUMBER, CB_GETCURSEL, 0, 0),
            0);
  ExpectControls(false);
  // The taskbar's object lives in a single-threaded apartment on the
  // dialog's thread, and Explorer's notice reaches a program started as
  // administrator.
  const std::vector<SystemCall> com = SystemCalls("CoInitializeEx");
  ASSERT_EQ(com.size(), 1u);
  EXPECT_EQ(com[0].thread, GetWindowThreadProcessId(dialog_, nullptr));
  EXPECT_EQ(com[0].args[1],
            (COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) + 0u);
  const std::vector<SystemCall> filter =
      SystemCalls("ChangeWindowMessageFilterEx");
  ASSERT_EQ(filter.size(), 1u);
  EXPECT_EQ(filter[0].args[0], reinterpret_cast<std::uintptr_t>(dialog_));
  EXPECT_EQ(filter[0].args[1],
            RegisterWindowMessageW(L"TaskbarButtonCreated") + 0u);
  EXPECT_EQ(filter[0].args[2], MSGFLT_ALLOW + 0u);
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
  const auto tryToLeave = [&](const char* when, bool running) {
    SCOPED_TRACE(when);
    const std::string progress = Progress();
    PressKey(edit, VK_ESCAPE);
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);  // close box, Alt+F4
    PostMessageW(dialog_, WM_CLOSE, 0, 0);
    PressKey(edit, VK_RETURN);
    PostMessageW(dialog_, WM_TIMER, IDT_PROGRESS + 1, 0);
    AllPostedHandled();
    EXPECT_TRUE(IsWindow(dialog_));
    EXPECT_TRUE(IsWindowVisible(dialog_));
    // No key started or stopped a run, or asked anything.
    EXPECT_EQ(Idle(), !running);
    EXPECT_EQ(FindOwnedMessageBox(dialog_), nullptr);
    if (!running) {
      EXPECT_EQ(Progress(), progress);
    }
  };
  tryToLeave("idle", false);

  StartTutte(TestPath("ignored.txt"));  // long enough to outlast them
  tryToLeave("running", true);
}

// The range rules, each checked against the file and the final count.
TEST_F(DialogTest, RangeFollowsListAndCheckBox) {
  ShowTaskbarButton();
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
  }
  EXPECT_EQ(Progress(), "Combinazione 8008");  // 75 through 85
}

// "Tutte" runs from 1 whatever the box says. The second of two quick
// presses is a stop request, and the run still writes its first line: the
// press is held here until the run has handled it, by the question (under
// which the dialog is disabled, so it comes as a command).
TEST_F(DialogTest, TwoQuickPressesWriteOneLine) {
  const std::string path = TestPath("twice.txt");
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  for (bool throughLast : {false, true}) {
    WriteFileBytes(path, "old\r\n");
    ChooseRange(dialog_, 0, throughLast);
    HWND box = ExpectOverwriteQuestion();
    ASSERT_NE(box, nullptr);
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_RUN)));
    Click(box, IDYES);
    ExpectRunOver(true);
    EXPECT_EQ(ReadFileBytes(path.c_str()), "1;2;3;4;5;6\r\n");
    EXPECT_EQ(Progress(), "Combinazione 1");
  }
}

TEST_F(DialogTest, OverwriteQuestionGuardsAnExistingFile) {
  ShowTaskbarButton();
  const std::string path = TestPath("existing.txt");
  SetControlText(dialog_, IDC_OUTPUT_FILE, TestPath("first.txt"));
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
  ExpectControls(true);  // the run has started while it asks

  Click(box, IDNO);
  ExpectRunOver(false);
  EXPECT_EQ(ReadFileBytes(path.c_str()), old);
  EXPECT_EQ(Progress(), "Combinazione 1");

  // Yes is the default button: Enter overwrites.
  box = ExpectOverwriteQuestion();
  ASSERT_NE(box, nullptr);
  PressKey(box, VK_RETURN);
  ExpectRunOver(true);
  EXPECT_EQ(ReadFileBytes(path.c_str()), ReferenceText(84, 84));
  EXPECT_EQ(Progress(), "Combinazione 6");

  // A file that appears after the run has looked is not replaced unasked:
  // creating a new file finds it, and the question comes then.
  DeleteFileA(path.c_str());
  AfterNextCall("GetFileAttributesW", [&] { WriteFileBytes(path, old); });
  ExpectOverwriteQuestion(IDNO);
  ExpectRunOver(false);
  EXPECT_EQ(ReadFileBytes(path.c_str()), old);
}

TEST_F(DialogTest, DefaultPathNeedsItsFolder) {
  ShowTaskbarButton();
  DeleteFileA("C:\\PROVA\\GENERATO.TXT");
  RemoveDirectoryA("C:\\PROVA");
  ChooseRange(dialog_, 85, false);
  ExpectCreateFailure();
  EXPECT_FALSE(FileExists("C:\\PROVA"));
  EXPECT_EQ(Progress(), "");
}

// STOP mid-run: whole lines, the start of the full output, and the progress
// text gives their number. While the run goes the options stay locked, the
// count is shown and grows, and the end of the session is refused. The
// taskbar button, first announced mid-run, shows the run over its whole
// total. The stop ends that run only: the next one is whole.
TEST_F(DialogTest, StopKeepsWholeLinesAndShowsTheirCount) {
  const std::string path = TestPath("stopped.txt");
  StartTutte(path);
  ExpectControls(true);
  long long shown = 0;
  const auto countGrows = [&] {
    const long long before = shown;
    return WaitUntil([&] { return (shown = ProgressCount(dialog_)) > before; });
  };
  EXPECT_TRUE(countGrows());
  ShowTaskbarButton();
  EXPECT_EQ(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_TRUE(countGrows());
  EXPECT_FALSE(Idle());
  Click(dialog_, IDC_RUN);
  ExpectStartOfTutte(path);
  EXPECT_EQ(taskbarTotal_, 622614630);
  EXPECT_NE(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);

  DeleteFileA(path.c_str());
  ChooseRange(dialog_, 84, true);
  RunToEnd();
  EXPECT_EQ(ReadFileBytes(path.c_str()), ReferenceText(84, 85));
}

// The end of the session. Cancelled (another program refused it), the run
// goes on. Chosen by the user, the run stops and has closed its file by the
// time the answer comes: whole lines, as many as it shows. While a box
// holds the worker no file is open, so the session may end, and no reason
// is given; if it ends, the wait for the worker is bound by 2 s of the 5
// Windows gives; a critical end (a failing battery), alone or with other
// flags, gets its answer at once, without waiting for the run, which is
// asked to stop.
TEST_F(DialogTest, EndOfSessionClosesTheFileFirst) {
  const std::string path = TestPath("session.txt");
  StartTutte(path);
  ASSERT_TRUE(WaitUntil([&] { return ProgressCount(dialog_) > 0; }));
  SendMessageW(dialog_, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
  const long long before = ProgressCount(dialog_);
  EXPECT_TRUE(WaitUntil([&] { return ProgressCount(dialog_) > before; }));
  SendMessageW(dialog_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  ASSERT_TRUE(Idle());
  // Closed: while the run has it open nobody else may write it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ExpectStartOfTutte(path);
  EXPECT_GT(ProgressCount(dialog_), before);

  ChooseRange(dialog_, 85, false);
  for (DWORD how : {DWORD{ENDSESSION_LOGOFF}, DWORD{ENDSESSION_CRITICAL},
                    DWORD{ENDSESSION_CRITICAL | ENDSESSION_LOGOFF}}) {
    SCOPED_TRACE(how);
    HWND box = ExpectOverwriteQuestion();
    ASSERT_NE(box, nullptr);
    EXPECT_NE(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);
    EXPECT_TRUE(SystemCalls("ShutdownBlockReasonCreate").empty());
    // Messages that keep coming meanwhile do not stretch the bound.
    std::atomic<bool> answered{false};
    std::thread busy([&] {
      while (!answered) SendMessageW(dialog_, WM_NULL, 0, 0);
    });
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(dialog_, WM_ENDSESSION, TRUE, how,
                                  SMTO_NORMAL, 4000, &answer),
              0);
    answered = true;
    busy.join();
    EXPECT_FALSE(Idle());  // answered while the worker is still held
    const std::vector<SystemCall> waits =
        SystemCalls("MsgWaitForMultipleObjects");
    EXPECT_EQ(waits.empty(), (how & ENDSESSION_CRITICAL) != 0);
    for (const SystemCall& wait : waits) {  // on the worker alone
      EXPECT_EQ(wait.args[0], 1u);
      EXPECT_LE(wait.args[3], 2000u);
    }
    EXPECT_TRUE(waits.empty() || waits[0].args[3] == 2000u);  // 2 s at first
    EXPECT_TRUE(IsWindowVisible(box));
    Click(box, IDNO);
    ExpectRunOver(false);
  }
}

TEST_F(DialogTest, UscitaEndsTheDialogWithOne) {
  Click(dialog_, IDC_EXIT);
  ui_.join();
  EXPECT_EQ(result_, 1);
  dialog_ = nullptr;
  ui_ = std::thread([] {});
}

// Every control that Tab reaches is read out by the label the sighted user
// sees: its own text, or for the list and the path box, which have none,
// the static text just before it in the dialog's order. Wine's accessibility
// layer names the list by its entry instead, so there the rule itself is
// checked.
TEST_F(DialogTest, EveryTabStopIsNamedByItsLabel) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const struct {
    int id;
    const char* label;
    bool ownText;
  } stops[] = {
      {IDC_EXIT, "Uscita", true},
      {IDC_FIRST_NUMBER, "Tutte/Solo primo numero", false},
      {IDC_RUN, "Esegui", true},
      {IDC_THROUGH_LAST, "Dal primo numero selezionato fino all'ultimo", true},
      {IDC_OUTPUT_FILE, "File di output", false}};
  HWND control = GetNextDlgTabItem(dialog_, nullptr, FALSE);
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.label);
    ASSERT_EQ(GetDlgCtrlID(control), stop.id);
    if (!stop.ownText) {
      HWND label = GetWindow(control, GW_HWNDPREV);
      char kind[16] = {};
      GetClassNameA(label, kind, sizeof kind);
      EXPECT_STREQ(kind, "Static");
      EXPECT_EQ(WindowText(label), stop.label);
    }
    if (stop.id != IDC_FIRST_NUMBER) {
      IAccessible* accessible = nullptr;
      ASSERT_EQ(
          AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible,
                                     reinterpret_cast<void**>(&accessible)),
          S_OK);
      VARIANT self;
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      BSTR name = nullptr;
      EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
      EXPECT_EQ(Narrow(name != nullptr ? name : L""), stop.label);
      SysFreeString(name);
      accessible->Release();
    }
    control = GetNextDlgTabItem(dialog_, control, FALSE);
  }
  EXPECT_EQ(GetDlgCtrlID(control), IDC_EXIT);  // round again
  CoUninitialize();
}

// The program's icons where Windows shows a window's (Alt+Tab, the taskbar,
// the caption), at the system's sizes for the monitor's DPI, loaded again
// when the dialog moves to a monitor of another DPI (150 % here), the old
// ones destroyed. The icon lets the window show through around the ball, at
// its size and stretched further: on two backgrounds every pixel is either
// the same on both (the ball) or the background itself, and the corners
// are background.
TEST_F(DialogTest, IconsFollowTheDpiAndShowTheBackground) {
  // Both sizes of both icons, as loaded.
  const auto loaded = [] {
    std::vector<std::uintptr_t> sizes;
    for (const SystemCall& call : SystemCalls("LoadImageW"))
      if (call.args[1] == IDI_APP && call.args[2] == IMAGE_ICON)
        sizes.insert(sizes.end(), {call.args[3], call.args[4]});
    return sizes;
  };
  const auto icons = [&] {
    return std::vector<std::uintptr_t>{
        static_cast<std::uintptr_t>(
            SendMessageW(dialog_, WM_GETICON, ICON_BIG, 0)),
        static_cast<std::uintptr_t>(
            SendMessageW(dialog_, WM_GETICON, ICON_SMALL, 0))};
  };
  const std::uintptr_t big = GetSystemMetrics(SM_CXICON);
  const std::uintptr_t small = GetSystemMetrics(SM_CXSMICON);
  EXPECT_EQ(loaded(), (std::vector<std::uintptr_t>{big, big, small, small}));
  const std::vector<std::uintptr_t> before = icons();
  ForgetSystemCalls();
  RECT place;
  GetWindowRect(dialog_, &place);
  SendMessageW(dialog_, WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&place));
  EXPECT_EQ(loaded(), (std::vector<std::uintptr_t>{48, 48, 24, 24}));
  std::vector<std::uintptr_t> destroyed;
  for (const SystemCall& call : SystemCalls("DestroyIcon"))
    destroyed.push_back(call.args[0]);
  EXPECT_EQ(destroyed, before);
  EXPECT_NE(icons(), before);

  for (int size : {48, 72}) {
    SCOPED_TRACE(size);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(nullptr);
    const DWORD backgrounds[] = {0xF0F0F0, 0x0060A0};  // as pixels hold them
    std::vector<DWORD> drawn[2];
    for (int b = 0; b < 2; ++b) {
      DWORD* pixels = nullptr;
      HBITMAP bitmap =
          CreateDIBSection(dc, &info, DIB_RGB_COLORS,
                           reinterpret_cast<void**>(&pixels), nullptr, 0);
      std::fill(pixels, pixels + size * size, backgrounds[b]);
      HGDIOBJ kept = SelectObject(dc, bitmap);
      ASSERT_TRUE(DrawIconEx(dc, 0, 0, reinterpret_cast<HICON>(icons()[0]),
                             size, size, 0, nullptr, DI_NORMAL));
      GdiFlush();
      drawn[b].assign(pixels, pixels + size * size);
      SelectObject(dc, kept);
      DeleteObject(bitmap);
    }
    DeleteDC(dc);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < drawn[0].size(); ++i) {
      const DWORD a = drawn[0][i] & 0xFFFFFF, b = drawn[1][i] & 0xFFFFFF;
      wrong += a != b && (a != backgrounds[0] || b != backgrounds[1]);
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(drawn[0][0] & 0xFFFFFF, backgrounds[0]);
    EXPECT_EQ(drawn[1].back() & 0xFFFFFF, backgrounds[1]);
  }
}

// The taskbar button through each event in each state it can be in, as
// Windows would show it (a value turns it green unless it is red) and as a
// restarted Explorer's new button shows it at once. The events are the
// messages the worker, the timer and Explorer send, with 7 lines to a run
// and 3 of them counted so far.
TEST_F(DialogTest, TaskbarFollowsEveryEventInEveryState) {
  ShowTaskbarButton();
  g_combinationCount = 3;
  enum { kOpen, kTick, kClosed, kLost, kOver, kLateOver, kRestart };
  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int running;  // whether a run is on as it comes; -1: as before
  } events[] = {{kWritingMessage, TRUE, 7, 1},
                {WM_TIMER, IDT_PROGRESS, 0, -1},
                {kWritingMessage, FALSE, TRUE, -1},   // every line stored
                {kWritingMessage, FALSE, FALSE, -1},  // lines lost, the box up
                {kRunEndedMessage, 0, 0, 0},
                {kRunEndedMessage, 0, 0, -1},  // an earlier run's, late
                {RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0, -1}};
  const auto happen = [&](int event) {
    if (events[event].running >= 0)  // a stand-in for the worker's handle
      g_workerThread = events[event].running ? GetCurrentThread() : nullptr;
    SendMessageW(dialog_, events[event].message, events[event].wParam,
                 events[event].lParam);
  };
  const std::vector<int> idle, writing = {kOpen, kTick},
                               closed = {kOpen, kTick, kClosed},
                               telling = {kOpen, kTick, kLost};
  const struct {
    const std::vector<int>& state;
    int event;
    TBPFLAG shown;
  } rows[] = {
      {idle, kOpen, TBPF_NORMAL},         {idle, kTick, TBPF_NOPROGRESS},
      {idle, kLateOver, TBPF_NOPROGRESS}, {idle, kRestart, TBPF_NOPROGRESS},
      {writing, kTick, TBPF_NORMAL},      {writing, kClosed, TBPF_NORMAL},
      {writing, kLost, TBPF_ERROR},       {writing, kLateOver, TBPF_NORMAL},
      {writing, kRestart, TBPF_NORMAL},   {closed, kOver, TBPF_NOPROGRESS},
      {closed, kLateOver, TBPF_NORMAL},   {closed, kRestart, TBPF_NORMAL},
      {telling, kTick, TBPF_ERROR},       {telling, kOver, TBPF_NOPROGRESS},
      {telling, kLateOver, TBPF_ERROR},   {telling, kRestart, TBPF_ERROR}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.state.size()) + " then " +
                 std::to_string(row.event));
    for (int event : {kClosed, kOver}) happen(event);  // idle again
    for (int event : row.state) happen(event);
    happen(row.event);
    const TaskbarButton button = ShownOnTaskbar();
    EXPECT_EQ(button.state, row.shown);
    if (row.shown != TBPF_NOPROGRESS) {
      EXPECT_EQ(button.total, 7u);
      // A tick of the real timer may already have shown the count.
      EXPECT_EQ(button.done, row.event == kOpen ? button.done : 3u);
    }
  }
  for (int event : {kClosed, kOver}) happen(event);
}

}  // namespace
