// Paths that can't be written, files that must not be lost, a disk that
// fills up mid-run, and many runs in a row: each driven through the dialog,
// checked by what the user sees and by the bytes on disk.
#include <algorithm>
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

std::string ToUtf8(const std::wstring& wide) {
  char text[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof text, nullptr,
                      nullptr);
  return text;
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
    SCOPED_TRACE(ToUtf8(path));
    const std::vector<std::string> before = FolderEntries();
    const std::string progress = Progress();
    SetControlText(dialog_, IDC_OUTPUT_FILE, path);
    ExpectCreateFailure();
    EXPECT_EQ(FolderEntries(), before);
    EXPECT_EQ(Progress(), progress);
    EXPECT_TRUE(Enabled(IDC_EXIT));
    EXPECT_EQ(std::any_of(checked_.begin(), checked_.end(),
                          [](const SystemCall& call) {
                            return call.name.find("File") != std::string::npos;
                          }),
              asked);
  }
  void ExpectRefused(const std::string& path, bool asked = false) {
    ExpectRefused(std::wstring(path.begin(), path.end()), asked);
  }

  // Something is at the path but can't be replaced: the question comes, and
  // Yes meets the create failure.
  void ExpectAskedThenRefused(const std::string& path) {
    SetControlText(dialog_, IDC_OUTPUT_FILE, path);
    ChooseRange(dialog_, 85, false);
    ExpectOverwriteQuestion(IDYES);
    ExpectCreateFailureBox();
  }

  // Writes `contents` at path, then holds the file open as another program
  // would, with this access and sharing.
  static HANDLE HoldFile(const std::string& path, const char* contents,
                         DWORD access, DWORD share) {
    WriteFileBytes(path, contents);
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0,
                       nullptr);
  }

  // A file that someone else holds open (with this access and sharing) is
  // asked about, refused, and keeps its bytes.
  void ExpectHeldFileKept(const std::string& path, DWORD access, DWORD share) {
    HANDLE held = HoldFile(path, "held contents\r\n", access, share);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ExpectAskedThenRefused(path);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(path.c_str()), "held contents\r\n");
  }

  // Expects the write-error box, then checks that the progress text and the
  // file agree: N whole lines, the start of the real output.
  void ExpectWriteError(const std::string& path) {
    HWND box = ExpectBox(dialog_, "Errore durante la scrittura del file",
                         "Errore", IDI_ERROR, 60000);
    ASSERT_NE(box, nullptr);
    const std::string shown = Progress();
    if (taskbar_) {
      ShowTaskbarButton();  // Explorer restarted while it tells
      const std::vector<SystemCall> states = SystemCalls("SetProgressState");
      ASSERT_FALSE(states.empty());
      EXPECT_EQ(states.back().args[1], TBPF_ERROR + 0u);  // red while it tells
    }
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
  // Nothing can be there to ask about where the server does not answer or
  // the drive has no disk in it (the system's answers, which Wine can't give).
  FailNextCall("GetFileAttributesW", ERROR_BAD_NETPATH);
  ExpectRefused("\\\\sestor-nowhere\\share\\out.txt", true);
  FailNextCall("GetFileAttributesW", ERROR_NOT_READY);
  ExpectRefused("R:\\out.txt", true);
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
        "//*/MailSlot/x", "\\\\server\\ipc$\\x"})
    ExpectRefused(path);
  EXPECT_EQ(WaitForSingleObject(client.hEvent, 0),
            static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(client.hEvent);
  CloseHandle(pipe);
  ExpectRefused(TestPath("ore 12:30.txt"));
  ExpectRefused(TestPath("out.txt:stream"));
  ExpectRefused(L"C:\\sestor-tests\\half-\xD800.txt");

  const std::string folder = TestPath("a-folder");
  CreateDirectoryA(folder.c_str(), nullptr);
  ExpectRefused(folder, true);
  EXPECT_EQ(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// One character more than the 511 that are read must not be cut off: here
// the cut would name another file in the test folder, "cc...c" without its
// last letter.
TEST_F(FailureTest, OverlongPathIsRefusedNotCut) {
  std::string path = TestPath("");
  while (path.size() + 5 <= 509) path += "x\\..\\";
  path += std::string(511 - path.size(), 'c') + "d";
  ASSERT_EQ(path.size(), 512u);
  ChooseRange(dialog_, 85, false);
  ExpectRefused(path);
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
  // A run on what is typed writes the line to `written`, which then goes.
  const auto runOn = [&](const std::wstring& typed,
                         const std::wstring& written) {
    SetControlText(dialog_, IDC_OUTPUT_FILE, typed);
    Click(dialog_, IDC_RUN);
    ExpectRunOver(true);
    EXPECT_EQ(ReadFileBytes(written), line);
    DeleteFileW(written.c_str());
  };

  // Outside Windows-1252: a Polish folder with an emoji; and a 1252 name.
  const std::wstring polish = base + L"\u0141\u00f3d\u017a \xD83D\xDCCA";
  ASSERT_TRUE(CreateDirectoryW(polish.c_str(), nullptr));
  runOn(polish + L"\\out.txt", polish + L"\\out.txt");
  runOn(base + L"citt\u00e0.txt", base + L"citt\u00e0.txt");

  // Fullwidth letters that a code page would fold into "out.txt", which
  // must be neither asked about nor replaced.
  const std::wstring plain = base + L"out.txt";
  const std::wstring wide = base + L"\uFF4F\uFF55\uFF54.txt";
  WriteFileBytes(plain, "precious\r\n");
  runOn(wide, wide);
  WriteFileBytes(wide, "old\r\n");
  SetControlText(dialog_, IDC_OUTPUT_FILE, wide);
  ExpectOverwriteQuestion(IDYES);
  ExpectRunOver(true);
  EXPECT_EQ(ReadFileBytes(wide), line);
  EXPECT_EQ(ReadFileBytes(plain), "precious\r\n");
  DeleteFileW(plain.c_str());

  // Pasted as Explorer, mail and chat give it; written the other ways
  // Windows takes; and a hidden or system file after the question, which
  // Windows replaces only when asked with its attributes (Wine always does).
  for (const std::wstring& typed :
       {L"\"" + plain + L"\"", L" \"" + plain + L"\" ",
        std::wstring(L"\"C:\\sestor-tests\"\\out.txt"), plain + L" ",
        L"\t" + plain, L"\\\\?\\" + plain, L"c" + plain.substr(1),
        std::wstring(L"C:/sestor-tests/not-there/../out.txt.")}) {
    SCOPED_TRACE(ToUtf8(typed));
    runOn(typed, plain);
  }
  for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    WriteFileBytes(plain, "hidden\r\n");
    SetFileAttributesW(plain.c_str(), attribute);
    SetControlText(dialog_, IDC_OUTPUT_FILE, plain);
    ExpectOverwriteQuestion(IDYES);
    ExpectRunOver(true);
    EXPECT_EQ(ReadFileBytes(plain), line);
    const auto created = std::find_if(
        checked_.rbegin(), checked_.rend(),
        [](const SystemCall& call) { return call.name == "CreateFileW"; });
    ASSERT_NE(created, checked_.rend());
    EXPECT_EQ(created->args[3], static_cast<std::uintptr_t>(CREATE_ALWAYS));
    EXPECT_EQ(created->args[4], static_cast<std::uintptr_t>(attribute));
    SetFileAttributesW(plain.c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  // Shares that only look like a server's pipes (tests/faults.sh makes
  // them) are written.
  for (const wchar_t* share : {L"\\\\sestor-server\\pipes\\x.txt",
                               L"\\\\sestor-server\\dati\\pipe\\x.txt"})
    runOn(share, share);

  // Names that only look like devices are plain files; relative paths
  // resolve from the current folder, drive-relative ones from the drive's.
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(SetCurrentDirectoryW(base.c_str()));
  for (const wchar_t* name : {L"com10.txt", L"lpt12.log", L"conto.txt",
                              L"nullo.txt", L"nul1.txt", L"relative.txt"}) {
    SCOPED_TRACE(ToUtf8(name));
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
    ASSERT_TRUE(FullOutputPath(share, resolved)) << ToUtf8(share);
    EXPECT_STREQ(resolved, L"\\\\?\\UNC\\server\\share\\a.txt");
  }
  for (const wchar_t* notAFile : {L"\\\\server\\share", L"\\\\server\\\\a.txt",
                                  L"\\\\?\\UNC\\server", L"\\\\?\\C:a.txt"})
    EXPECT_FALSE(FullOutputPath(notAFile, resolved)) << ToUtf8(notAFile);

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

// Something that exists but can't be replaced: asked first, then refused,
// and its bytes stay as they were.
TEST_F(FailureTest, ReadOnlyFileIsAskedAboutThenKept) {
  const std::string path = std::string(kFaults) + "\\readonly.txt";
  const std::string reason = SkipReason("no-readonly.txt");
  if (!FileExists(path) ||
      FileExists(std::string(kFaults) + "\\no-readonly.txt"))
    SKIP_OUTSIDE_CI(reason);
  ExpectAskedThenRefused(path);
  EXPECT_EQ(ReadFileBytes(path.c_str()), "read-only contents\r\n");
}

// Held for a moment (a virus scan, the indexer, a preview pane), the file is
// waited for; held for good, it is tried 10 times, 100 ms apart, then kept
// whole.
TEST_F(FailureTest, FileHeldWithoutSharingIsWaitedForThenKept) {
  // The refused tries, each but the first after a pause from the one before.
  const auto refusals = [this] {
    long tries = 0;
    DWORD last = 0;
    for (const SystemCall& call : checked_) {
      if (call.name != "CreateFileW") continue;
      if (tries > 0) {
        EXPECT_GE(call.time - last, 90u);
        EXPECT_LT(call.time - last, 1000u);
      }
      last = call.time;
      tries += call.error == ERROR_SHARING_VIOLATION;
    }
    return tries;
  };
  const std::string path = TestPath("held.txt");
  HANDLE held = HoldFile(path, "held contents\r\n", GENERIC_READ, 0);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  AfterNextCall("CreateFileW", [&] { CloseHandle(held); });
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  ChooseRange(dialog_, 85, false);
  ExpectOverwriteQuestion(IDYES);
  ExpectRunOver(true);
  EXPECT_EQ(ReadFileBytes(path.c_str()), kLastLine);
  EXPECT_EQ(refusals(), 1);  // held at the first try, free at the next

  ExpectHeldFileKept(path, GENERIC_READ, 0);
  EXPECT_EQ(refusals(), 10);
}

// One writer per file. During a run nobody else may open the file for
// writing, a second copy of the program included (it is asked, then
// refused), while readers may; the run's file is then exactly its reported
// lines. The other way round, a file that someone else has open for writing
// is refused before anything of it is lost.
TEST_F(FailureTest, FileHasOneWriterAtATime) {
  const std::string path = TestPath("one-writer.txt");
  PROCESS_INFORMATION second{};
  ASSERT_TRUE(StartBeside("..\\Sestor.exe", &second));
  // Whatever fails below, the second copy does not outlive the test.
  struct Ended {
    PROCESS_INFORMATION& process;
    ~Ended() {
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 0);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
  } ended{second};
  HWND other = WaitForMainDialog(second.dwProcessId);
  ASSERT_NE(other, nullptr);
  SetControlText(other, IDC_OUTPUT_FILE, path);
  ChooseRange(other, 84, false);

  StartTutte(path);
  Click(other, IDC_RUN);
  Click(ExpectBox(other, "Il file esiste gi\xE0. Vuoi sovrascrivere",
                  "Attenzione"),
        IDYES);
  HWND box = ExpectBox(other, "Impossibile creare il file", "Errore");
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
  EXPECT_TRUE(WaitForRunEnd(other));
  Click(other, IDC_EXIT);
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 15000), WAIT_OBJECT_0);

  ExpectHeldFileKept(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

// A file that others may write but not read can't be opened for reading,
// yet it exists: the question still comes before it is truncated.
TEST_F(FailureTest, UnreadableFileIsAskedAboutBeforeTruncation) {
  const std::string path = TestPath("unreadable.txt");
  HANDLE held = HoldFile(path, "keep me\r\n", GENERIC_READ, FILE_SHARE_WRITE);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
  SetControlText(dialog_, IDC_OUTPUT_FILE, path);
  ChooseRange(dialog_, 85, false);

  ExpectOverwriteQuestion(IDNO);
  ExpectRunOver(false);
  CloseHandle(held);
  EXPECT_EQ(ReadFileBytes(path.c_str()), "keep me\r\n");

  held = HoldFile(path, "keep me\r\n", GENERIC_READ, FILE_SHARE_WRITE);
  ExpectOverwriteQuestion(IDYES);
  ExpectRunOver(true);
  CloseHandle(held);
  EXPECT_EQ(ReadFileBytes(path.c_str()), kLastLine);
  EXPECT_EQ(Progress(), "Combinazione 1");
}

TEST_F(FailureTest, DiskFullMidRunIsReportedAndKeepsWholeLines) {
  ExpectDiskFull("T:\\", "small", true);
}

// The same past 4 GiB, where the file is cut back at a 64-bit offset.
TEST_F(FailureTest, DiskFullPastFourGiBKeepsWholeLines) {
  ExpectDiskFull("U:\\", "large", false);
}

// Only a disk file receives a run: a device behind a plain name (here a link
// to /dev/full, made by tests/faults.sh) is refused once opened, nothing
// counted. Wine gives it no attributes; something is there all the same, so
// the question comes first.
TEST_F(FailureTest, DeviceBehindAPlainNameIsRefused) {
  const std::string path = std::string(kFaults) + "\\full.txt";
  if (GetFileAttributesA(kFaults) == INVALID_FILE_ATTRIBUTES)
    SKIP_OUTSIDE_CI(SkipReason("none"));
  ExpectAskedThenRefused(path);
  EXPECT_EQ(Progress(), "");
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
  EXPECT_TRUE(RunFinished(dialog_));

  // Wine may open a few handles of its own on the way; one per run would be
  // 200 more, 800 in handle values.
  EXPECT_LE(probeHandle(), before + 4 * 50);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_LE(handlesAfter, handlesBefore + 50);
}

}  // namespace
