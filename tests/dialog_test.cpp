// The main dialog driven as a user drives it, from start-up to "Uscita".
#include <oleacc.h>
#include <shlwapi.h>

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "generation/combinations.h"
#include "run/generation_run.h"
#include "tests/dialog_fixture.h"
#include "tests/reference.h"

namespace {

// Completion from the file system; Explorer's notices and drops reach a
// program started as administrator.
TEST_F(DialogTest, StartsWithDefaults) {
  EXPECT_EQ(WindowText(dialog_), kProgramCaption);
  EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), "C:\\PROVA\\GENERATO.TXT");
  EXPECT_EQ(Progress(), "");
  EXPECT_EQ(ControlText(dialog_, IDC_EXIT), "Uscita");
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_THROUGH_LAST, BM_GETCHECK, 0, 0),
            BST_UNCHECKED);
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_FIRST_NUMBER, CB_GETCURSEL, 0, 0),
            0);
  ExpectControls(false);
  const std::uintptr_t ui = GetWindowThreadProcessId(dialog_, nullptr),
                       dialog = reinterpret_cast<std::uintptr_t>(dialog_),
                       allow = MSGFLT_ALLOW;
  EXPECT_EQ(
      Args("CoInitializeEx", 2),
      (Calls{{ui, 0, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE}}));
  EXPECT_EQ(Args("SHAutoComplete", 2),
            (Calls{{ui,
                    reinterpret_cast<std::uintptr_t>(
                        GetDlgItem(dialog_, IDC_OUTPUT_FILE)),
                    SHACF_FILESYS_ONLY}}));
  EXPECT_EQ(Args("ChangeWindowMessageFilterEx", 3),
            (Calls{{ui, dialog, WM_DROPFILES, allow},
                   {ui, dialog, WM_COPYDATA, allow},
                   {ui, dialog, 0x0049, allow},
                   {ui, dialog, RegisterWindowMessageW(L"TaskbarButtonCreated"),
                    allow}}));
  EXPECT_NE(GetWindowLongW(dialog_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
}

TEST_F(DialogTest, ListHoldsTutteThenEveryFirstNumberInOrder) {
  ASSERT_EQ(SendDlgItemMessageW(dialog_, IDC_FIRST_NUMBER, CB_GETCOUNT, 0, 0),
            86);
  for (int n = 0; n <= 85; ++n) {
    wchar_t text[64] = {};
    SendDlgItemMessageW(dialog_, IDC_FIRST_NUMBER, CB_GETLBTEXT, n,
                        reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(Narrow(text),
              n == 0 ? "Tutte" : "Primo numero " + std::to_string(n));
  }
}

// What the dialog procedure returned last, noted by one put before it.
INT_PTR g_returned = -1;
INT_PTR CALLBACK NoteReturned(HWND dialog, UINT message, WPARAM wParam,
                              LPARAM lParam) {
  return g_returned = MainDialogProc(dialog, message, wParam, lParam);
}

// Escape, the close box, Alt+F4, Enter and a foreign timer do nothing, nor
// a drop during a run; the dialog manager keeps what is its own (scaling to
// a new DPI, the keys).
TEST_F(DialogTest, CancelCloseEnterAndForeignTimerAreIgnored) {
  HWND edit = GetDlgItem(dialog_, IDC_OUTPUT_FILE);
  SetWindowLongPtrW(dialog_, DWLP_DLGPROC,
                    reinterpret_cast<LONG_PTR>(NoteReturned));
  RECT place;
  GetWindowRect(dialog_, &place);
  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    INT_PTR returned;
  } sent[] = {
      {WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&place), 0},
      {WM_TIMER, IDT_PROGRESS + 1, 0, FALSE},
      {WM_COMMAND, IDOK, 0, FALSE},
      {WM_COMMAND, IDCANCEL, 0, FALSE},
      {WM_QUERYENDSESSION, 0, 0, TRUE}};
  for (bool running : {false, true}) {
    SCOPED_TRACE(running);
    if (running) StartTutte(TestPath("ignored.txt"));  // outlasts them
    const std::string progress = Progress();
    const std::string path = ControlText(dialog_, IDC_OUTPUT_FILE);
    PressKey(edit, VK_ESCAPE);
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);  // close box, Alt+F4
    PostMessageW(dialog_, WM_CLOSE, 0, 0);
    PressKey(edit, VK_RETURN);
    PostMessageW(dialog_, WM_TIMER, IDT_PROGRESS + 1, 0);
    AllPostedHandled();
    for (const auto& message : sent) {
      SendMessageW(dialog_, message.message, message.wParam, message.lParam);
      EXPECT_EQ(g_returned, message.returned) << message.message;
    }
    if (running) Drop(dialog_, {L"C:\\dropped.txt"});
    EXPECT_TRUE(IsWindowVisible(dialog_) && Idle() == !running &&
                FindOwnedMessageBox(dialog_) == nullptr);  // nothing asked
    EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), path);
    EXPECT_TRUE(running || Progress() == progress);
  }
}

// The range rules, each checked against the file and the final count.
TEST_F(DialogTest, RangeFollowsListAndCheckBox) {
  ShowTaskbarButton();
  const std::string path = TestPath("range.txt");
  const struct {
    int index;
    bool throughLast;
    int first, last;
  } cases[] = {{84, true, 84, 85},
               {84, false, 84, 84},
               {85, true, 85, 85},
               {80, false, 80, 80},
               {75, true, 75, 85}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    DeleteFileA(path.c_str());
    Aim(dialog_, path, c.index, c.throughLast);
    RunToEnd();
    EXPECT_TRUE(ReadFileBytes(path) == ReferenceText(c.first, c.last));
    EXPECT_EQ(ProgressCount(dialog_), LinesInRange(c.first, c.last));
  }
  EXPECT_EQ(Progress(), "Combinazione 8008");  // 75 through 85
}

// "Tutte" runs from 1 whatever the box says; a second quick press (here
// while the question is up) is a stop, and the first line is still written.
TEST_F(DialogTest, TwoQuickPressesWriteOneLine) {
  const std::string path = TestPath("twice.txt");
  for (bool throughLast : {false, true}) {
    WriteFileBytes(path, "old\r\n");
    Aim(dialog_, path, 0, throughLast);
    HWND box = ExpectOverwriteQuestion();
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_RUN)));
    Click(box, IDYES);
    ExpectRunOver(true);
    EXPECT_EQ(ReadFileBytes(path) + Progress(),
              "1;2;3;4;5;6\r\nCombinazione 1");
  }
}

// Sizes as Explorer writes them, in the user's own format.
std::string SizeText(ULONGLONG bytes) {
  wchar_t size[64];
  return Narrow(StrFormatByteSizeW(static_cast<LONGLONG>(bytes), size, 64));
}

// The overwrite question (Enter: Yes), also for a file appearing after the
// check; then a run that can't fit (FAT's 4 GiB - 1, the space the user may
// fill with the file replaced) asked about, Enter: No, which changes nothing.
TEST_F(DialogTest, QuestionsGuardAnExistingFileAndTheDisk) {
  ShowTaskbarButton();
  Aim(dialog_, TestPath("first.txt"), 85);
  RunToEnd();
  const std::string path = TestPath("existing.txt");
  const std::string old = std::string(200, 'o') + "\r\n";  // longer than 84's
  WriteFileBytes(path, old);
  Aim(dialog_, path, 84);
  HWND box = ExpectOverwriteQuestion();
  EXPECT_TRUE(HasButton(box, IDYES) && HasButton(box, IDNO) &&
              !HasButton(box, IDCANCEL));
  ExpectControls(true);
  Click(box, IDNO);
  ExpectRunOver(false);
  EXPECT_EQ(ReadFileBytes(path) + Progress(), old + "Combinazione 1");
  PressKey(ExpectOverwriteQuestion(), VK_RETURN);
  ExpectRunOver(true);
  EXPECT_EQ(ReadFileBytes(path), ReferenceText(84, 84));
  DeleteFileA(path.c_str());
  AfterNextCall("GetFileAttributesExW", [&] { WriteFileBytes(path, old); });
  ExpectOverwriteQuestion(IDNO);
  ExpectRunOver(false);
  EXPECT_EQ(ReadFileBytes(path), old);

  const ULONGLONG small = BytesInRange(69, 85), tutte = BytesInRange(1, 85);
  const ULONGLONG kUnknown = ~0ull;
  const struct {
    int index;  // with the box ticked
    ULONGLONG free;
    std::array<wchar_t, 8> fileSystem;  // empty: the volume's own
    ULONGLONG existing;  // bytes there: `old`'s 202, or more past 4 GiB
    int answer;          // to the question, 0: none comes
  } rows[] = {{69, small - 1, {}, 0, IDNO},
              {69, small - 1, {}, 0, IDYES},
              {69, small, {}, 0, 0},
              {69, small - 202, {}, 202, 0},
              {69, small - 203, {}, 202, IDNO},
              {69, 0, {}, 202, IDYES},
              {69, 0, {}, (4ull << 30) + 202, 0},
              {69, kUnknown, {}, 0, 0},
              {0, tutte, {L"FAT32"}, 0, IDNO},
              {1, tutte, {L"FAT"}, 202, IDNO},
              {0, 5ull << 30, {L"exFAT"}, 0, IDNO},
              {69, small, {L"FAT32"}, 0, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.free) + " " + std::to_string(row.index));
    DeleteFileA(path.c_str());
    if (row.existing) WriteFileBytes(path, old);
    if (row.existing > 202) {  // stretched, sparse
      std::filesystem::resize_file(path, row.existing);
      ASSERT_EQ(std::filesystem::file_size(path), row.existing);
    }
    Aim(dialog_, path, row.index, true);
    row.free == kUnknown
        ? FailNextCall("GetDiskFreeSpaceExW", {ERROR_NOT_SUPPORTED})
        : AnswerNextCall("GetDiskFreeSpaceExW", 0, row.free);
    if (row.fileSystem[0] != 0)
      AnswerNextCall("GetVolumeInformationW", 5, row.fileSystem);
    Click(dialog_, IDC_RUN);
    const std::string fat = Narrow(row.fileSystem.data());
    if (row.answer != 0) {
      box = ExpectBox(
          dialog_,
          FailureText(kDoesNotFit, path,
                      "Il file sar\xE0 di " +
                          SizeText(row.index == 69 ? small : tutte) +
                          (fat[0] == 'F'
                               ? ", ma il disco \xE8 " + fat +
                                     " e non accetta file oltre i 4 GB."
                               : ", ma sul disco ne restano liberi " +
                                     SizeText(row.free + row.existing) + ".") +
                          "\n\nScrivere comunque? Il file conterr\xE0 solo le "
                          "combinazioni che ci stanno."),
          "Attenzione", IDI_WARNING);
      row.answer == IDNO ? PressKey(box, VK_RETURN) : Click(box, IDYES);
    }
    const bool writes = row.answer != IDNO;
    if (writes && row.existing)
      Click(ExpectBox(dialog_, kQuestion, "Attenzione"), IDYES);
    ExpectRunOver(writes);
    EXPECT_EQ(sequence_[0] == 'F', row.answer != 0) << sequence_;
    EXPECT_TRUE(ReadFileBytes(path) == (writes         ? ReferenceText(69, 85)
                                        : row.existing ? old
                                                       : ""));
  }
}

// STOP mid-run: whole lines, the start of the full output, as many as shown.
// Meanwhile the caption gives the share done, the session may not end, and
// a taskbar button announced mid-run shows the whole total.
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
  EXPECT_TRUE(std::regex_match(WindowText(dialog_),
                               std::regex("[0-9]+% - .*" + kProgramCaption)));
  ShowTaskbarButton();
  EXPECT_EQ(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_TRUE(countGrows());
  Click(dialog_, IDC_RUN);
  ExpectStartOfTutte(path);
  EXPECT_EQ(taskbarTotal_, 622614630);
  EXPECT_NE(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0), FALSE);
  DeleteFileA(path.c_str());
  ChooseRange(dialog_, 84, true);
  RunToEnd();
  EXPECT_EQ(ReadFileBytes(path), ReferenceText(84, 85));
}

// The end of the session: the run's file closed by the answer; with a box
// up (no file open) the answer waits 2 s, no less, no more, whatever comes;
// a critical end, and any once the run is over, answered at once.
TEST_F(DialogTest, EndOfSessionClosesTheFileFirst) {
  const std::string path = TestPath("session.txt");
  StartTutte(path);
  ASSERT_TRUE(WaitUntil([&] { return ProgressCount(dialog_) > 0; }));
  SendMessageW(dialog_, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
  const long long before = ProgressCount(dialog_);
  EXPECT_TRUE(WaitUntil([&] { return ProgressCount(dialog_) > before; }));
  SendMessageW(dialog_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  ASSERT_TRUE(Idle());
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);  // closed: nobody else may write it
  CloseHandle(file);
  ExpectStartOfTutte(path);
  EXPECT_GT(ProgressCount(dialog_), before);

  ChooseRange(dialog_, 85, false);
  const DWORD kLogoff = ENDSESSION_LOGOFF, kCritical = ENDSESSION_CRITICAL,
              kBoth = kCritical | kLogoff;
  const struct {
    DWORD how;
    int messages;  // -1: many, until the answer; 1: one, late
    bool held;     // by a box
  } rows[] = {{kLogoff, 0, 1},    {kLogoff, -1, 1}, {kLogoff, 1, 1},
              {kCritical, -1, 1}, {kBoth, 1, 1},    {kLogoff, 1, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.how) + " " + std::to_string(row.messages));
    HWND box = row.held ? ExpectOverwriteQuestion() : nullptr;
    EXPECT_TRUE(SendMessageW(dialog_, WM_QUERYENDSESSION, 0, 0) != FALSE &&
                SystemCalls("ShutdownBlockReasonCreate").empty());
    std::atomic<bool> answered{false};
    std::thread messages([&] {
      if (row.messages == 1) Sleep(1500);
      for (int sent = 0; sent < row.messages || (row.messages < 0 && !answered);
           ++sent)
        SendMessageW(dialog_, WM_NULL, 0, 0);
    });
    const DWORD start = GetTickCount();
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(dialog_, WM_ENDSESSION, TRUE, row.how,
                                  SMTO_NORMAL, 5000, &answer),
              0);
    const DWORD took = GetTickCount() - start;
    answered = true;
    messages.join();
    const bool waits = row.held && (row.how & ENDSESSION_CRITICAL) == 0;
    EXPECT_TRUE(took >= (waits ? 1900u : 0u) && took < (waits ? 3000u : 1000u))
        << took;
    const std::vector<SystemCall> calls =
        SystemCalls("MsgWaitForMultipleObjects");
    EXPECT_EQ(calls.empty(), !waits);
    for (const SystemCall& wait : calls)  // on the worker alone, 2 s at first
      EXPECT_TRUE(wait.args[0] == 1 && wait.args[3] <= 2000);
    EXPECT_TRUE(calls.empty() || calls[0].args[3] == 2000u);
    if (!row.held) continue;
    EXPECT_TRUE(!Idle() && IsWindowVisible(box));  // the worker still held
    Click(box, IDNO);
    ExpectRunOver(false);
  }
}

// Screen readers name each tab stop by its label: its own text, or the
// static just before it (Wine names the list by its entry: the rule, then).
TEST_F(DialogTest, EveryTabStopIsNamedByItsLabel) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::pair<int, const char*> stops[] = {
      {IDC_EXIT, "Uscita"},
      {IDC_FIRST_NUMBER, "Tutte/Solo primo numero"},
      {IDC_RUN, "Esegui"},
      {IDC_THROUGH_LAST, "Dal primo numero selezionato fino all'ultimo"},
      {IDC_OUTPUT_FILE, "File di output"}};
  HWND control = GetNextDlgTabItem(dialog_, nullptr, FALSE);
  for (const auto& [id, label] : stops) {
    SCOPED_TRACE(label);
    ASSERT_EQ(GetDlgCtrlID(control), id);
    if (id == IDC_FIRST_NUMBER ||
        id == IDC_OUTPUT_FILE) {  // no text of its own
      HWND before = GetWindow(control, GW_HWNDPREV);
      char kind[16] = {};
      GetClassNameA(before, kind, sizeof kind);
      EXPECT_EQ(kind + (": " + WindowText(before)),
                std::string("Static: ") + label);
    }
    IAccessible* accessible = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible,
                                         reinterpret_cast<void**>(&accessible)),
              S_OK);
    VARIANT self{};
    self.vt = VT_I4;
    BSTR name = nullptr;  // CHILDID_SELF is 0
    EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
    EXPECT_TRUE(id == IDC_FIRST_NUMBER ||
                Narrow(name != nullptr ? name : L"") == label);
    SysFreeString(name);
    accessible->Release();
    control = GetNextDlgTabItem(dialog_, control, FALSE);
  }
  EXPECT_EQ(GetDlgCtrlID(control), IDC_EXIT);  // round again
  CoUninitialize();
}

// The icons at the system's sizes for the DPI, again at 150 %, the old ones
// destroyed; drawn on two backgrounds, the ball (red) or the background.
TEST_F(DialogTest, IconsFollowTheDpiAndShowTheBackground) {
  const auto icons = [&] {
    return std::vector<std::uintptr_t>{
        static_cast<std::uintptr_t>(
            SendMessageW(dialog_, WM_GETICON, ICON_BIG, 0)),
        static_cast<std::uintptr_t>(
            SendMessageW(dialog_, WM_GETICON, ICON_SMALL, 0))};
  };
  const std::uintptr_t ui = GetWindowThreadProcessId(dialog_, nullptr),
                       self = reinterpret_cast<std::uintptr_t>(
                           GetModuleHandleW(nullptr));
  const auto loaded = [&](std::uintptr_t big, std::uintptr_t small) {
    return Calls{{ui, self, IDI_APP, IMAGE_ICON, big, big},
                 {ui, self, IDI_APP, IMAGE_ICON, small, small}};
  };
  EXPECT_EQ(Args("LoadImageW", 5),
            loaded(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON)));
  const std::vector<std::uintptr_t> before = icons();
  ForgetSystemCalls();
  RECT place;
  GetWindowRect(dialog_, &place);
  SendMessageW(dialog_, WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&place));
  EXPECT_EQ(Args("LoadImageW", 5), loaded(48, 24));
  EXPECT_EQ(Args("DestroyIcon", 1), (Calls{{ui, before[0]}, {ui, before[1]}}));
  EXPECT_NE(icons(), before);

  for (int size : {48, 72}) {
    SCOPED_TRACE(size);
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof info.bmiHeader, size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    DWORD* pixels = nullptr;
    HGDIOBJ kept = SelectObject(
        dc, CreateDIBSection(dc, &info, DIB_RGB_COLORS,
                             reinterpret_cast<void**>(&pixels), nullptr, 0));
    const DWORD backgrounds[] = {0xF0F0F0, 0x0060A0};  // as pixels hold them
    std::vector<DWORD> drawn[2];
    for (int b = 0; b < 2; ++b) {
      std::fill(pixels, pixels + size * size, backgrounds[b]);
      ASSERT_TRUE(DrawIconEx(dc, 0, 0, reinterpret_cast<HICON>(icons()[0]),
                             size, size, 0, nullptr, DI_NORMAL));
      GdiFlush();
      for (int i = 0; i < size * size; ++i)
        drawn[b].push_back(pixels[i] & 0xFFFFFF);
    }
    DeleteObject(SelectObject(dc, kept));
    DeleteDC(dc);
    std::size_t wrong = 0, red = 0;
    for (std::size_t i = 0; i < drawn[0].size(); ++i) {
      const DWORD a = drawn[0][i], b = drawn[1][i];
      wrong += a != b && (a != backgrounds[0] || b != backgrounds[1]);
      red += a == b && (a >> 16) > (a & 0xFF) + 40;
    }
    EXPECT_TRUE(wrong == 0 && red > drawn[0].size() / 10)
        << wrong << " " << red;
    EXPECT_TRUE(drawn[0][0] == backgrounds[0] &&
                drawn[1].back() == backgrounds[1]);
  }
}

// The taskbar button and the caption through each event in each state, 3
// of 7 lines counted; then the time left, from the last ten seconds' rate
// once it spans five, through a run's phases.
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
      {closed, kTick, TBPF_NORMAL},       {telling, kTick, TBPF_ERROR},
      {telling, kOver, TBPF_NOPROGRESS},  {telling, kLateOver, TBPF_ERROR},
      {telling, kRestart, TBPF_ERROR}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.state.size()) + " then " +
                 std::to_string(row.event));
    for (int event : {kClosed, kOver}) happen(event);  // idle again
    for (int event : row.state) happen(event);
    happen(row.event);
    const TaskbarButton button = ShownOnTaskbar();
    EXPECT_EQ(button.state, row.shown);
    // A tick of the real timer may already have shown the count.
    const bool opened = row.event == kOpen, counted = button.done == 3u;
    EXPECT_TRUE(row.shown == TBPF_NOPROGRESS ||
                (button.total == 7u && (counted || opened)));
    const bool open = opened || (&row.state == &writing &&
                                 row.event != kClosed && row.event != kLost);
    EXPECT_EQ(WindowText(dialog_),
              !open ? kProgramCaption
                    : (counted ? "42% - " : "0% - ") + kProgramCaption);
  }
  for (int event : {kClosed, kOver}) happen(event);

  const int total = 6000000;
  SendMessageW(dialog_, kWritingMessage, TRUE, total);
  g_combinationCount = 0;
  const struct {
    int ticks, lines;  // a tick every 500 ms, each with so many more lines
    const char* left;
  } phases[] = {{9, 1000, ""},  // 4.5 s: not measured yet
                {1, 1000, "circa 50 minuti - "},
                {30, 100, "circa 8 ore - "},  // the last ten seconds' rate
                {21, 0, ""},                  // nothing moves
                {21, 20000, "circa 2 minuti - "},
                {23, 100000, "meno di un minuto - "},  // 105 ticks: wrapped
                {1, -2733000, ""}};  // the count back to 0: 45 % stays
  int percent = 0;
  for (const auto& phase : phases) {
    for (int tick = 0; tick < phase.ticks; ++tick) {
      MoveClockOn(500);
      g_combinationCount += phase.lines;
      SendMessageW(dialog_, WM_TIMER, IDT_PROGRESS, 0);
    }
    percent =
        std::max(percent, static_cast<int>(g_combinationCount * 100ll / total));
    EXPECT_EQ(WindowText(dialog_),
              std::to_string(percent) + "% - " + phase.left + kProgramCaption);
  }
  for (int event : {kClosed, kTick, kOver}) happen(event);
  EXPECT_EQ(WindowText(dialog_), kProgramCaption);
}

}  // namespace
