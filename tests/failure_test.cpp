// Paths that can't be written, files that must not be lost, a disk that
// fills up mid-run, and many runs in a row: each driven through the dialog,
// checked by what the user sees and by the bytes on disk.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "run/output_path.h"
#include "tests/dialog_fixture.h"
#include "tests/reference.h"

namespace {

const char kFaults[] = "C:\\sestor-faults";

// Names in the test folder, to show that a refused path created nothing.
std::vector<std::string> FolderEntries() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(TestPath("*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// Why the fault set-up could not make something, if it could not.
std::string SkipReason(const char* note) {
  const std::string text =
      ReadFileBytes((std::string(kFaults) + "\\" + note).c_str());
  return text.empty() ? "not prepared: run through ctest (tests/faults.sh)"
                      : text;
}

// A test without what it needs is skipped, and CTest shows it so; where the
// gate lands code (CI=true) it must have run, and fails instead.
#define SKIP_OUTSIDE_CI(reason)                                       \
  do {                                                                \
    const char* ci = std::getenv("CI");                               \
    if (ci != nullptr && std::string(ci) == "true") FAIL() << reason; \
    GTEST_SKIP() << reason;                                           \
  } while (false)

class FailureTest : public DialogTest {
 protected:
  // A run on a path that must be refused with the create failure, before
  // any question, leaving the folder as it was and the progress text
  // untouched. Only a path that may be a disk file (`asked`) reaches the
  // system's file calls; any other is refused before anything is opened.
  void ExpectRefused(const std::wstring& path, bool asked = false) {
    SCOPED_TRACE(Narrow(path, CP_UTF8));
    const std::vector<std::string> before = FolderEntries();
    const std::string progress = Progress();
    SetControlText(dialog_, IDC_OUTPUT_FILE, path);
    ExpectCreateFailure();
    EXPECT_EQ(FolderEntries(), before);
    EXPECT_EQ(Progress(), progress);
    EXPECT_TRUE(Enabled(IDC_EXIT));
    EXPECT_EQ(std::any_of(checked_.begin(), checked_.end(),
                          [](const SystemCall& call) {
                            return call.thread != GetCurrentThreadId() &&
                                   call.name.find("File") != std::string::npos;
                          }),
              asked);
  }
  void ExpectRefused(const std::string& path, bool asked = false) {
    ExpectRefused(Widen(path), asked);
  }

  // Something is at the path but can't be replaced: the question comes, and
  // Yes meets the create failure.
  void ExpectAskedThenRefused(const std::string& path) {
    SetControlText(dialog_, IDC_OUTPUT_FILE, path);
    ChooseRange(dialog_, 85, false);
    ExpectCreateFailure(true);
  }

  // Expects the write-error box, then checks that the progress text and the
  // file agree: N whole lines, the start of the real output.
  void ExpectWriteError(const std::string& path) {
    HWND box = ExpectBox(dialog_, kWriteFailed, "Errore", IDI_ERROR, 60000);
    ASSERT_NE(box, nullptr);
    const std::string shown = Progress();
    Click(box, IDOK);
    ExpectStartOfTutte(path);
    EXPECT_EQ(Progress(), shown);  // the count was final when it asked
  }

  // A drive that fills up during a "Tutte" run, with or without a taskbar.
  void ExpectDiskFull(const char* drive, const char* name, bool taskbar) {
    if (GetDriveTypeA(drive) == DRIVE_NO_ROOT_DIR) {
      SKIP_OUTSIDE_CI(
          "no drive " + std::string(drive) + " " +
          SkipReason(("no-" + std::string(name) + "-drive.txt").c_str()));
    }
    const std::string path = std::string(drive) + "full.txt";
    DeleteFileA(path.c_str());
    if (taskbar) ShowTaskbarButton();
    StartTutte(path);
    ExpectWriteError(path);
    DeleteFileA(path.c_str());
    // The next run starts afresh, not from what the failed one stored.
    SetControlText(dialog_, IDC_OUTPUT_FILE, TestPath("after-full.txt"));
    ChooseRange(dialog_, 84, true);
    RunToEnd();
    EXPECT_EQ(ReadFileBytes(TestPath("after-full.txt").c_str()),
              ReferenceText(84, 85));
  }
};

// Refused before any question, nothing written anywhere: what can't be a
// file, and what Windows would not make a plain file of: a device by its
// name (the rules of Windows 7 to 10, in any folder and with any
// extension), the device namespace, a colon that would name an NTFS stream,
// a lone half of a surrogate pair.
TEST_F(FailureTest, PathsThatCantBeCreatedAreRefused) {
  ChooseRange(dialog_, 85, false);
  ExpectRefused("");
  ExpectRefused("\"");
  ExpectRefused(" \" \"\" ");
  ExpectRefused(TestPath("no-such-folder\\out.txt"), true);
  for (char c : std::string("<>|?*"))
    ExpectRefused(TestPath(std::string("bad") + c + "name.txt"), true);
  // Nothing to ask about where the server or the share is not there.
  ExpectRefused("\\\\sestor-nowhere\\share\\out.txt", true);
  ExpectRefused("\\\\sestor-server\\no-such-share\\out.txt", true);
  for (const char* name : {"nul.txt", "NUL", "con", "Com1.log", "lpt9.txt",
                           "aux .txt", "prn.a.b", "COM0"})
    ExpectRefused(TestPath(name));
  ExpectRefused(L"C:\\sestor-tests\\COM\u00B9");
  ExpectRefused(L"C:\\sestor-tests\\LPT\u00B2.txt");
  // The device namespaces, in either spelling, name no disk file: a pipe
  // (whose server could act as the user, so it must not even be opened), a
  // volume, a disk, a device, even where Wine would reach a file through it;
  // nor do a server's pipes and mailslots, this machine's included.
  HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\sestor-test",
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  OVERLAPPED client{};
  client.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_FALSE(ConnectNamedPipe(pipe, &client));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  for (const char* path :
       {"\\\\.\\nul", "\\\\?\\pipe\\sestor-test", "//?/pipe/sestor-test",
        "\\\\.\\pipe\\sestor-test", "\\\\?\\C:", "\\\\?\\PhysicalDrive0",
        "\\\\?\\GLOBALROOT\\Device\\Null",
        "\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\a.txt",
        "\\\\.\\C:\\sestor-tests\\dot.txt", "//./C:/sestor-tests/dot.txt",
        "\\\\localhost\\pipe\\sestor-test",
        "\\\\?\\unc\\localhost\\PIPE\\sestor-test",
        "\\\\server\\pipe\\sestor-test", "\\\\server\\mailslot\\x",
        "//*/MailSlot/x", "\\\\server\\ipc$\\x", "\\\\server\\pipe\\sql\\query",
        // a network provider by name reaches the pipes all the same
        "\\\\;LanmanRedirector\\server\\pipe\\x",
        "\\\\?\\UNC\\;LanmanRedirector\\server\\IPC$\\x",
        "//;LanmanRedirector/localhost/pipe/sestor-test",
        "\\\\;LanmanRedirector\\;abc\\server\\pipe\\x",
        "\\\\;WebDavRedirector\\host\\mailslot\\x"})
    ExpectRefused(path);
  EXPECT_EQ(WaitForSingleObject(client.hEvent, 0),
            static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(client.hEvent);
  CloseHandle(pipe);
  ExpectRefused(TestPath("ore 12:30.txt"));
  ExpectRefused(TestPath("out.txt:stream"));
  ExpectRefused(L"C:\\sestor-tests\\half-\xD800.txt");

  // One character more than the 511 that are read must not be cut off:
  // here the cut would name another file in the test folder, "cc...c"
  // without its last letter.
  std::string overlong = TestPath("");
  while (overlong.size() + 5 <= 509) overlong += "x\\..\\";
  overlong += std::string(511 - overlong.size(), 'c') + "d";
  ASSERT_EQ(overlong.size(), 512u);
  ExpectRefused(overlong);

  const std::string folder = TestPath("a-folder");
  CreateDirectoryA(folder.c_str(), nullptr);
  ExpectRefused(folder, true);
  EXPECT_EQ(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// The file asked about, created or replaced is the one the path box names:
// any characters, up to 511 of them, pasted with quotes and blanks, written
// with '/', ".." and a trailing dot. Wine keeps Unicode text even in a box
// made by the byte-string call, which on Windows folds what the code page
// lacks as it is typed; so the box's own Unicode-ness is checked as well.
TEST_F(FailureTest, PathNamesExactlyTheFileWritten) {
  EXPECT_TRUE(IsWindowUnicode(GetDlgItem(dialog_, IDC_OUTPUT_FILE)));
  ChooseRange(dialog_, 85, false);
  const std::string line = kLastLine;
  const std::wstring base = L"C:\\sestor-tests\\";
  // A run on what is typed writes the line to `written`, which then goes;
  // `asks`: a file is there, and replaced after the question.
  const auto runOn = [&](const std::wstring& typed, const std::wstring& written,
                         bool asks = false) {
    SetControlText(dialog_, IDC_OUTPUT_FILE, typed);
    PressRun(asks);
    ExpectRunOver(true);
    EXPECT_EQ(ReadFileBytes(written), line);
    DeleteFileW(written.c_str());
  };

  // Outside Windows-1252: a Polish folder with an emoji; 1252 names, an
  // apostrophe in a folder and a name, a no-break space inside a name.
  const std::wstring polish = base + L"\u0141\u00f3d\u017a \xD83D\xDCCA";
  const std::wstring apostrophe = base + L"Dell'Acqua";
  ASSERT_TRUE(CreateDirectoryW(polish.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(apostrophe.c_str(), nullptr));
  for (const std::wstring& name :
       {polish + L"\\out.txt", base + L"citt\u00e0.txt",
        apostrophe + L"\\l'estrazione.txt", base + L"a\u00A0b.txt"})
    runOn(name, name);

  // Fullwidth letters that a code page would fold into "out.txt", which
  // must be neither asked about nor replaced.
  const std::wstring plain = base + L"out.txt";
  const std::wstring wide = base + L"\uFF4F\uFF55\uFF54.txt";
  WriteFileBytes(plain, "precious\r\n");
  runOn(wide, wide);
  WriteFileBytes(wide, "old\r\n");
  runOn(wide, wide, true);
  EXPECT_EQ(ReadFileBytes(plain), "precious\r\n");
  DeleteFileW(plain.c_str());

  // Pasted as Explorer, mail and chat give it; written the other ways
  // Windows takes; and a hidden or system file after the question, which
  // Windows replaces only when asked with its attributes (Wine always does).
  for (const std::wstring& typed :
       {L"\"" + plain + L"\"", L" \"" + plain + L"\" ",
        std::wstring(L"\"C:\\sestor-tests\"\\out.txt"), plain + L" ",
        L"\t" + plain, L"\\\\?\\" + plain, L"c" + plain.substr(1),
        std::wstring(L"C:/sestor-tests/not-there/../out.txt."),
        plain + L"\u00A0", L"\u202A" + plain + L"\u202C",
        L"\uFEFF" + plain + L"\u200B", L"\u3000\u2060" + plain + L"\u2029"}) {
    SCOPED_TRACE(Narrow(typed, CP_UTF8));
    runOn(typed, plain);
  }
  for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    WriteFileBytes(plain, "hidden\r\n");
    SetFileAttributesW(plain.c_str(), attribute);
    runOn(plain, plain, true);
    const auto created = std::find_if(
        checked_.rbegin(), checked_.rend(),
        [](const SystemCall& call) { return call.name == "CreateFileW"; });
    ASSERT_NE(created, checked_.rend());
    EXPECT_EQ(created->args[3], static_cast<std::uintptr_t>(CREATE_ALWAYS));
    EXPECT_EQ(created->args[4] & 0xFFFF,
              static_cast<std::uintptr_t>(attribute));
  }

  // Shares that only look like a server's pipes (tests/faults.sh makes
  // them) are written.
  for (const wchar_t* share :
       {L"\\\\sestor-server\\pipes\\x.txt",
        L"\\\\sestor-server\\dati\\pipe\\x.txt",
        L"\\\\sestor-server\\mail\\x.txt", L"\\\\sestor-server\\IPC\\x.txt",
        L"\\\\sestor-server\\p\\x.txt"})
    runOn(share, share);

  // Ctrl+A in the box selects the whole path (on every Windows), and what
  // is typed next replaces it.
  HWND box = GetDlgItem(dialog_, IDC_OUTPUT_FILE);
  SendMessageW(box, EM_SETSEL, 3, 3);
  SendMessageW(box, WM_CHAR, 0x01, 0);  // Ctrl+A, as the keyboard types it
  for (wchar_t c : plain) SendMessageW(box, WM_CHAR, c, 0);
  EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), Narrow(plain));

  // Names that only look like devices are plain files; relative paths
  // resolve from the current folder, drive-relative ones from the drive's.
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(SetCurrentDirectoryW(base.c_str()));
  for (const wchar_t* name : {L"com10.txt", L"lpt12.log", L"conto.txt",
                              L"nullo.txt", L"nul1.txt", L"relative.txt"}) {
    SCOPED_TRACE(Narrow(name, CP_UTF8));
    runOn(name, base + name);
  }
  runOn(L"C:relative.txt", base + L"relative.txt");
  runOn(L"x\\..\\relative.txt", base + L"relative.txt");
  SetCurrentDirectoryW(current);

  // Wine takes any of these; Windows wants the \\?\ forms past 260
  // characters and for network paths, so the resolved form itself is checked.
  wchar_t resolved[kFullPathCapacity];
  ASSERT_TRUE(FullOutputPath(L"C:\\x\\..\\a.txt", resolved));
  EXPECT_STREQ(resolved, L"\\\\?\\C:\\a.txt");
  for (const wchar_t* share :
       {L"\\\\server\\share\\a.txt", L"//server/share/a.txt",
        L"\\\\?\\UNC\\server\\share\\a.txt",
        L"\\\\?\\unc\\server\\share\\a.txt"}) {
    ASSERT_TRUE(FullOutputPath(share, resolved)) << Narrow(share, CP_UTF8);
    EXPECT_STREQ(resolved, L"\\\\?\\UNC\\server\\share\\a.txt");
  }
  for (const wchar_t* notAFile : {L"\\\\server\\share", L"\\\\server\\\\a.txt",
                                  L"\\\\?\\UNC\\server", L"\\\\?\\C:a.txt"})
    EXPECT_FALSE(FullOutputPath(notAFile, resolved))
        << Narrow(notAFile, CP_UTF8);

  // 511 characters, the most the box takes, in folders of 60.
  std::wstring folder = L"\\\\?\\C:\\sestor-tests";
  while (folder.size() < 400) {
    folder += L"\\" + std::wstring(59, L'd');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  }
  const std::wstring full = folder + L"\\" +
                            std::wstring(511 - 5 - (folder.size() - 4), L'f') +
                            L".txt";
  ASSERT_EQ(full.size() - 4, 511u);
  runOn(full.substr(4), full);
}

// Something there that can't be replaced: a device behind a plain name (a
// link to /dev/full, made by tests/faults.sh: Wine gives it no attributes,
// but creating a new file finds it) and a file that can't be written. Each
// is asked about, then refused, nothing counted, the file's bytes kept.
TEST_F(FailureTest, WhatCantBeReplacedIsAskedAboutThenKept) {
  if (!FileExists(kFaults)) SKIP_OUTSIDE_CI(SkipReason("none"));
  ExpectAskedThenRefused(std::string(kFaults) + "\\full.txt");
  EXPECT_EQ(Progress(), "");
  const std::string path = std::string(kFaults) + "\\readonly.txt";
  if (FileExists(std::string(kFaults) + "\\no-readonly.txt"))
    SKIP_OUTSIDE_CI(SkipReason("no-readonly.txt"));
  ExpectAskedThenRefused(path);
  EXPECT_EQ(ReadFileBytes(path), "read-only contents\r\n");
}

// Every file call of a run failing in turn, as Windows fails them where
// Wine can't. Each ends in its own box, or in a whole run where the program
// can do without the call; never in a count that claims lines the drive
// did not take. A file that the check could not see is asked about only
// when creating a new one finds it there. Only a file that another program
// holds (a virus scan, the indexer, a preview pane) is tried again: for
// about a second, 10 times, 100 ms apart, then kept whole.
TEST_F(FailureTest, EveryFileCallCanFail) {
  const long long kLines = 74613;  // binomial(22, 6): 69 to the last, 2 writes
  const char *attributes = "GetFileAttributesW", *create = "CreateFileW";
  // What the count shows at the end: as before (no file), all the lines,
  // none, or some.
  enum Shown { kSame, kAll, kNone, kSome };
  const struct {
    const char* call;  // fails with `error` `times` times, after `skip`
    DWORD error;
    int skip, times;
    bool existing, asks;  // a file is there; the question comes
    const char* box;      // that ends the run, if any
    std::size_t creates;  // how many times the file is opened
    Shown shown;
  } rows[] = {
      {attributes, ERROR_ACCESS_DENIED, 0, 1, 0, 0, nullptr, 1, kAll},
      {attributes, ERROR_LOGON_FAILURE, 0, 1, 1, 1, nullptr, 2, kAll},
      {create, ERROR_NETWORK_UNREACHABLE, 0, 1, 0, 0, kCreateFailed, 1, kSame},
      {create, ERROR_ACCESS_DENIED, 0, 1, 1, 1, kCreateFailed, 1, kSame},
      {create, ERROR_PATH_NOT_FOUND, 0, 1, 0, 0, kCreateFailed, 1, kSame},
      {create, ERROR_SHARING_VIOLATION, 0, 1, 1, 1, nullptr, 2, kAll},
      {create, ERROR_SHARING_VIOLATION, 0, 10, 1, 1, kCreateFailed, 10, kSame},
      {create, ERROR_FILE_EXISTS, 0, 1, 0, 1, nullptr, 2, kAll},
      {"WriteFile", ERROR_DISK_FULL, 0, 1, 0, 0, kWriteFailed, 1, kNone},
      {"WriteFile", ERROR_DISK_FULL, 1, 1, 0, 0, kWriteFailed, 1, kSome},
      {"FlushFileBuffers", ERROR_NETNAME_DELETED, 0, 1, 0, 0, kWriteFailed, 1,
       kNone},
      {"fclose", ERROR_NETNAME_DELETED, 0, 1, 0, 0, kWriteFailed, 1, kAll}};
  const std::string path = TestPath("calls.txt");
  ShowTaskbarButton();
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  ChooseRange(dialog_, 69, true);
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.call) + " " + std::to_string(row.error));
    DeleteFileA(path.c_str());
    if (row.existing) WriteFileBytes(path, "old\r\n");
    const std::string before = Progress();
    FailNextCall(row.call, row.error, row.skip, row.times);
    PressRun(row.asks);
    if (row.box) Click(ExpectBox(dialog_, row.box, "Errore", IDI_ERROR), IDOK);
    ExpectRunOver(row.shown != kSame);
    std::vector<std::string> boxes, expected;
    std::size_t creates = 0;
    DWORD last = 0, lastError = 0;
    for (const SystemCall& call : checked_) {
      if (call.name == "MessageBoxW") boxes.push_back(Narrow(call.path));
      if (call.name != "CreateFileW") continue;
      if (creates++ > 0 && lastError == ERROR_SHARING_VIOLATION) {
        EXPECT_GE(call.time - last, 90u);
        EXPECT_LT(call.time - last, 1000u);
      }
      last = call.time;
      lastError = call.error;
    }
    if (row.asks) expected.push_back(kQuestion);
    if (row.box) expected.push_back(row.box);
    EXPECT_EQ(boxes, expected);
    EXPECT_EQ(creates, row.creates);
    const long long shown = ProgressCount(dialog_);
    if (row.shown == kSame) {
      EXPECT_EQ(Progress(), before);
      EXPECT_EQ(ReadFileBytes(path), row.existing ? "old\r\n" : "");
    } else if (row.shown == kNone) {
      EXPECT_EQ(shown, 0);
    } else {  // the file holds just the lines claimed
      EXPECT_EQ(shown == kLines, row.shown == kAll) << shown;
      EXPECT_GT(shown, 0);
      EXPECT_TRUE(FileHoldsReferenceLines(path.c_str(), 69, 85, shown));
    }
  }
}

// One writer per file. During a run nobody else may open the file for
// writing, a second copy of the program included (the real Sestor.exe: it
// is asked, then refused), while readers may; the run's file is then
// exactly its reported lines. The other way round, a file that someone else
// has open for writing is refused before anything of it is lost. The second
// copy then writes a file of its own, and "Uscita" ends it with status 1.
TEST_F(FailureTest, FileHasOneWriterAtATime) {
  const std::string path = TestPath("one-writer.txt");
  PROCESS_INFORMATION second{};
  ASSERT_TRUE(StartBeside("..\\Sestor.exe", &second));
  // Whatever fails below, the second copy does not outlive the test.
  const std::shared_ptr<void> ended(nullptr, [&](void*) {
    if (WaitForSingleObject(second.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(second.hProcess, 0);
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
  });
  HWND other = WaitForMainDialog(second.dwProcessId);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(IsWindowUnicode(GetDlgItem(other, IDC_OUTPUT_FILE)));
  SetControlText(other, IDC_OUTPUT_FILE, path);
  ChooseRange(other, 84, false);

  StartTutte(path);
  Click(other, IDC_RUN);
  Click(ExpectBox(other, kQuestion, "Attenzione"), IDYES);
  HWND box = ExpectBox(other, kCreateFailed, "Errore");
  ASSERT_NE(box, nullptr);

  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  const DWORD openError = GetLastError();
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(openError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  std::FILE* reader = std::fopen(path.c_str(), "rb");
  EXPECT_NE(reader, nullptr);
  if (reader != nullptr) std::fclose(reader);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(MoveFileA(path.c_str(), TestPath("moved.txt").c_str()));
  EXPECT_FALSE(Idle());
  Click(dialog_, IDC_RUN);
  ExpectStartOfTutte(path);

  Click(box, IDOK);
  const std::string own = TestPath("second.txt");
  EXPECT_TRUE(WaitUntil([&] { return RunFinished(other); }));
  SetControlText(other, IDC_OUTPUT_FILE, own);
  ChooseRange(other, 84, true);
  Click(other, IDC_RUN);
  EXPECT_TRUE(WaitUntil(
      [&] { return ProgressCount(other) == 7 && RunFinished(other); }));
  EXPECT_EQ(ReadFileBytes(own), ReferenceText(84, 85));
  Click(other, IDC_EXIT);
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 15000), WAIT_OBJECT_0);
  DWORD status = 0;
  GetExitCodeProcess(second.hProcess, &status);
  EXPECT_EQ(status, 1u);

  // Held open by a writer that lets others write too, the file is asked
  // about, refused after the tries, and keeps its bytes.
  WriteFileBytes(path, "held contents\r\n");
  HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExpectAskedThenRefused(path);
  CloseHandle(held);
  EXPECT_EQ(ReadFileBytes(path), "held contents\r\n");
}

TEST_F(FailureTest, DiskFullMidRunIsReportedAndKeepsWholeLines) {
  ExpectDiskFull("T:\\", "small", true);
}

// The same past 4 GiB, where the file is cut back at a 64-bit offset.
TEST_F(FailureTest, DiskFullPastFourGiBKeepsWholeLines) {
  ExpectDiskFull("U:\\", "large", false);
}

// Many short runs: every one complete, and no handle left behind by any
// (handles come back at the lowest free value, so a leak makes them climb).
TEST_F(FailureTest, ManyShortRunsLeaveNothingBehind) {
  const auto probeHandle = [] {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<std::uintptr_t>(probe);
  };
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  const std::uintptr_t before = probeHandle();

  const std::string path = TestPath("short.txt");
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  ChooseRange(dialog_, 85, false);
  for (int run = 0; run < 200; ++run) {
    DeleteFileA(path.c_str());
    Click(dialog_, IDC_RUN);
    ASSERT_TRUE(WaitUntil(Idle)) << "run " << run;
    ASSERT_EQ(ReadFileBytes(path.c_str()), kLastLine) << "run " << run;
  }
  EXPECT_EQ(Progress(), "Combinazione 1");

  // Wine may open a few handles of its own on the way; one per run would be
  // 200 more, 800 in handle values.
  EXPECT_LE(probeHandle(), before + 4 * 50);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_LE(handlesAfter, handlesBefore + 50);
}

}  // namespace
