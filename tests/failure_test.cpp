// Paths that can't be written, files that must not be lost, every file call
// failing, full disks, many runs: through the dialog, checked by what the
// user sees and the bytes on disk.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "generation/output_file.h"
#include "run/output_path.h"
#include "tests/dialog_fixture.h"
#include "tests/reference.h"

namespace {

const char kFaults[] = "C:\\sestor-faults";

// The program's own causes, as its boxes word them.
std::string OwnCause(DWORD cause) {
  return std::map<DWORD, std::string>{
      {kCauseEmpty, "Il campo \"File di output\" \xE8 vuoto."},
      {kCauseTooLong, "Il percorso \xE8 pi\xF9 lungo di 511 caratteri."},
      {kCauseInvalid, "Il percorso non \xE8 valido."},
      {kCauseDevice,
       "Il nome \xE8 riservato da Windows ai dispositivi (CON, "
       "NUL, COM1...)."},
      {kCauseNotDiskFile,
       "Il percorso non indica un file su un disco o in rete."},
      {kCauseStream, "Un nome di file non pu\xF2 contenere i due punti (:)."},
      {kCauseFolder, "\xC8 una cartella: aggiungere \\ e il nome del file."},
      {kNotADiskFile, "Il percorso indica un dispositivo, non un file."}}
      .at(cause);
}

// Why the fault set-up could not make something, if it could not.
std::string SkipReason(const std::string& note) {
  const std::string text = ReadFileBytes(std::string(kFaults) + "\\" + note);
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
  // Refused with `cause` before any question, nothing changed, the path as
  // typed shown; only one that may be a file (`asked`) meets file calls.
  template <typename Path>
  void ExpectRefused(const Path& path, const std::string& cause,
                     bool asked = false, bool shown = true) {
    const std::wstring typed = Widen(path);
    SCOPED_TRACE(Narrow(typed, CP_UTF8));
    const auto entries = [] {
      return std::distance(std::filesystem::directory_iterator(kTestFolder),
                           std::filesystem::directory_iterator());
    };
    const auto before = entries();
    const std::string progress = Progress();
    Aim(dialog_, typed);
    ExpectCreateFailure(
        FailureText(kCreateFailed, shown ? Narrow(typed) : "", cause));
    EXPECT_EQ(std::pair(entries(), Progress()), std::pair(before, progress));
    EXPECT_EQ(std::any_of(checked_.begin(), checked_.end(),
                          [](const SystemCall& call) {
                            return call.thread != GetCurrentThreadId() &&
                                   call.name.find("File") != std::string::npos;
                          }),
              asked);
  }

  // A drive that fills up: asked first, Yes writes until the drive refuses,
  // whole lines as counted when it tells; the next run starts afresh.
  void ExpectDiskFull(const char* drive, const char* name, bool taskbar) {
    if (GetDriveTypeA(drive) == DRIVE_NO_ROOT_DIR)
      SKIP_OUTSIDE_CI("no drive " + std::string(drive) + " " +
                      SkipReason("no-" + std::string(name) + "-drive.txt"));
    const std::string path = std::string(drive) + "full.txt";
    DeleteFileA(path.c_str());
    if (taskbar) ShowTaskbarButton();
    StartTutte(path, false);
    HWND box = ExpectBox(
        dialog_, FailureText(kWriteFailed, path, SystemText(ERROR_DISK_FULL)),
        "Errore", IDI_ERROR, 60000);
    const std::string shown = Progress();
    Click(box, IDOK);
    ExpectStartOfTutte(path);
    EXPECT_EQ(Progress() + sequence_.substr(0, 4), shown + "FKTR");
    DeleteFileA(path.c_str());
    Aim(dialog_, TestPath("after-full.txt"), 84, true);
    RunToEnd();
    EXPECT_EQ(ReadFileBytes(TestPath("after-full.txt")), ReferenceText(84, 85));
  }
};

// Refused before any question, each with its cause: what is no plain file,
// and what Windows refuses (a missing folder, server, share, bad names).
TEST_F(FailureTest, PathsThatCantBeCreatedAreRefused) {
  ChooseRange(dialog_, 85, false);
  ExpectRefused("", OwnCause(kCauseEmpty));
  ExpectRefused("\"", OwnCause(kCauseEmpty), false, false);
  ExpectRefused(" \" \"\" ", OwnCause(kCauseEmpty), false, false);
  // The default path on a new PC: C:\PROVA is named, not made.
  DeleteFileA("C:\\PROVA\\GENERATO.TXT");
  RemoveDirectoryA("C:\\PROVA");
  ExpectRefused(
      "C:\\PROVA\\GENERATO.TXT",
      "La cartella C:\\PROVA non esiste: crearla, poi premere di nuovo Esegui.",
      true);
  EXPECT_FALSE(FileExists("C:\\PROVA"));
  for (char c : std::string("<>|?*"))
    ExpectRefused(TestPath(std::string("bad") + c + "name.txt"),
                  SystemText(ERROR_INVALID_NAME), true);
  for (const char* path : {"\\\\sestor-nowhere\\share\\out.txt",
                           "\\\\sestor-server\\no-such-share\\out.txt"})
    ExpectRefused(path, SystemText(ERROR_PATH_NOT_FOUND), true);
  for (const char* name : {"nul.txt", "NUL", "con", "Com1.log", "lpt9.txt",
                           "aux .txt", "prn.a.b", "COM0"})
    ExpectRefused(TestPath(name), OwnCause(kCauseDevice));
  for (const wchar_t* path :
       {L"C:\\sestor-tests\\COM\u00B9", L"C:\\sestor-tests\\LPT\u00B2.txt",
        L"\\\\.\\nul"})
    ExpectRefused(path, OwnCause(kCauseDevice));
  // A pipe (never opened: its server could act as the user), a volume, a
  // disk, a device, in either spelling; a server's pipes and mailslots.
  HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\sestor-test",
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  OVERLAPPED client{};
  client.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_FALSE(ConnectNamedPipe(pipe, &client));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  for (const char* path :
       {"\\\\?\\pipe\\sestor-test", "//?/pipe/sestor-test",
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
    ExpectRefused(path, OwnCause(kCauseNotDiskFile));
  EXPECT_EQ(WaitForSingleObject(client.hEvent, 0),
            static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(client.hEvent);
  CloseHandle(pipe);
  for (const char* name : {"ore 12:30.txt", "out.txt:stream"})
    ExpectRefused(TestPath(name), OwnCause(kCauseStream));
  ExpectRefused(L"C:\\sestor-tests\\half-\xD800.txt", OwnCause(kCauseInvalid));
  // 512 characters are not cut to 511, which name "cc...c" without its "d".
  std::string overlong = TestPath("");
  while (overlong.size() + 5 <= 509) overlong += "x\\..\\";
  overlong += std::string(511 - overlong.size(), 'c') + "d";
  ASSERT_EQ(overlong.size(), 512u);
  ExpectRefused(overlong, OwnCause(kCauseTooLong), false, false);
  const std::string folder = TestPath("a-folder");
  CreateDirectoryA(folder.c_str(), nullptr);
  ExpectRefused(folder, OwnCause(kCauseFolder), true);
  EXPECT_NE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

// The file written is the one the path box names, however it got there
// (Windows folds a byte-string box into the code page, Wine does not).
TEST_F(FailureTest, PathNamesExactlyTheFileWritten) {
  EXPECT_TRUE(IsWindowUnicode(GetDlgItem(dialog_, IDC_OUTPUT_FILE)));
  ChooseRange(dialog_, 85, false);
  const std::wstring base = L"C:\\sestor-tests\\", plain = base + L"out.txt";
  // A run on `typed` writes `written` (after the question, when `asks`).
  const auto runOn = [&](const std::wstring& typed, const std::wstring& written,
                         bool asks = false) {
    SCOPED_TRACE(Narrow(typed, CP_UTF8));
    Aim(dialog_, typed);
    PressRun(asks);
    ExpectRunOver(true);
    EXPECT_EQ(ReadFileBytes(written), kLastLine);
    DeleteFileW(written.c_str());
  };
  // Beyond Windows-1252 (fullwidth letters a code page folds into
  // "out.txt", which must stay), apostrophes, a no-break space inside.
  const std::wstring polish = base + L"\u0141\u00f3d\u017a \xD83D\xDCCA",
                     apostrophe = base + L"Dell'Acqua",
                     wide = base + L"\uFF4F\uFF55\uFF54.txt";
  ASSERT_TRUE(CreateDirectoryW(polish.c_str(), nullptr) &&
              CreateDirectoryW(apostrophe.c_str(), nullptr));
  WriteFileBytes(plain, "precious\r\n");
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(SetCurrentDirectoryW(base.c_str()));
  for (const std::wstring& name :
       {polish + L"\\out.txt", base + L"citt\u00e0.txt", wide,
        apostrophe + L"\\l'estrazione.txt", base + L"a\u00A0b.txt"})
    runOn(name, name);
  WriteFileBytes(wide, "old\r\n");
  runOn(wide, wide, true);
  EXPECT_EQ(ReadFileBytes(plain), "precious\r\n");
  DeleteFileW(plain.c_str());
  // Shares that only look like a server's pipes (tests/faults.sh).
  for (const wchar_t* share : {L"pipes", L"dati\\pipe", L"mail", L"IPC", L"p"})
    runOn(L"\\\\sestor-server\\" + std::wstring(share) + L"\\x.txt",
          L"\\\\sestor-server\\" + std::wstring(share) + L"\\x.txt");
  // Names that only look like devices, relative to the current folder.
  for (const wchar_t* name :
       {L"com10.txt", L"lpt12.log", L"nul1.txt", L"conto.txt"})
    runOn(name, base + name);
  // Pasted as Explorer, mail and chat give it, or written otherwise.
  for (const std::wstring& typed :
       {L"\"" + plain + L"\"", L" \"" + plain + L"\" ", L"\t" + plain,
        L"\\\\?\\" + plain, L"c" + plain.substr(1),
        L"\u3000\u202A" + plain + L"\u200B\u00A0",
        std::wstring(L"\"C:\\sestor-tests\"\\out.txt"),
        std::wstring(L"C:/sestor-tests/not-there/../out.txt."),
        std::wstring(L"C:out.txt"), std::wstring(L"x\\..\\out.txt")})
    runOn(typed, plain);
  SetCurrentDirectoryW(current);
  // A hidden or system file is replaced with its attributes, as Windows
  // requires (Wine does not).
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

  // Each range trimmed around a path, by its ends, before, after and twice;
  // the characters just outside each range stay.
  const std::pair<wchar_t, wchar_t> invisible[] = {
      {0x09, 0x0D},     {0x20, 0x20},     {0x85, 0x85},     {0xA0, 0xA0},
      {0x1680, 0x1680}, {0x180E, 0x180E}, {0x2000, 0x200F}, {0x2028, 0x202F},
      {0x205F, 0x206F}, {0x3000, 0x3000}, {0xFEFF, 0xFEFF}};
  wchar_t resolved[kFullPathCapacity];
  for (const auto& [first, last] : invisible) {
    for (wchar_t c : {first, last, wchar_t(first - 1), wchar_t(last + 1)}) {
      const bool trimmed = std::any_of(
          std::begin(invisible), std::end(invisible), [c](const auto& range) {
            return c >= range.first && c <= range.second;
          });
      for (const std::wstring& typed :
           {c + plain, plain + c, std::wstring(2, c) + plain + c + c})
        EXPECT_EQ(FullOutputPath(typed.c_str(), resolved) == 0 &&
                      resolved == L"\\\\?\\" + plain,
                  trimmed)
            << std::hex << int{c};
    }
  }
  // Windows wants the \\?\ forms (past 260 characters, on shares).
  const wchar_t* share = L"\\\\?\\UNC\\server\\share\\a.txt";
  EXPECT_TRUE(FullOutputPath(L"C:\\x\\..\\a.txt", resolved) == 0 &&
              std::wcscmp(resolved, L"\\\\?\\C:\\a.txt") == 0);
  for (const wchar_t* typed :
       {L"\\\\server\\share\\a.txt", L"//server/share/a.txt", share,
        L"\\\\?\\unc\\server\\share\\a.txt"})
    EXPECT_TRUE(FullOutputPath(typed, resolved) == 0 &&
                std::wcscmp(resolved, share) == 0)
        << Narrow(typed, CP_UTF8);
  for (const wchar_t* typed : {L"\\\\server\\share", L"\\\\server\\\\a.txt",
                               L"\\\\?\\UNC\\server", L"\\\\?\\C:a.txt"})
    EXPECT_NE(FullOutputPath(typed, resolved), 0u) << Narrow(typed, CP_UTF8);

  // Ctrl+A selects the whole path; the box's own procedure, which before
  // Windows 10 1809 beeps on it, never gets it.
  HWND box = GetDlgItem(dialog_, IDC_OUTPUT_FILE);
  SendMessageW(box, EM_SETSEL, 3, 3);
  SendMessageW(box, WM_CHAR, 0x01, 0);  // Ctrl+A, as the keyboard types it
  for (wchar_t c : plain) SendMessageW(box, WM_CHAR, c, 0);
  EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), Narrow(plain));
  const std::vector<SystemCall> typed = SystemCalls("WM_CHAR");
  ASSERT_EQ(typed.size(), plain.size());  // the first is the path's own
  EXPECT_EQ(typed[0].args[0], std::uintptr_t{plain[0]});
  // Dropped: a file's path, a folder's GENERATO.TXT; of several, the first.
  const std::pair<std::vector<std::wstring>, std::wstring> drops[] = {
      {{wide}, wide},
      {{apostrophe}, apostrophe + L"\\GENERATO.TXT"},
      {{L"C:\\"}, L"C:\\GENERATO.TXT"},
      {{polish, wide}, polish + L"\\GENERATO.TXT"},
      {{plain, apostrophe}, plain}};
  for (const auto& [dropped, shown] : drops) {
    Drop(dialog_, dropped);
    EXPECT_EQ(ControlText(dialog_, IDC_OUTPUT_FILE), Narrow(shown));
  }

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

// What can't be replaced (a device behind a name, tests/faults.sh's link to
// /dev/full, and a file that can't be written) is asked about, then kept.
TEST_F(FailureTest, WhatCantBeReplacedIsAskedAboutThenKept) {
  if (!FileExists(kFaults)) SKIP_OUTSIDE_CI(SkipReason("none"));
  for (const auto& [name, cause, kept] :  // a device has no bytes to keep
       {std::tuple{"full.txt", OwnCause(kNotADiskFile), ""},
        {"readonly.txt", SystemText(ERROR_ACCESS_DENIED),
         "read-only contents\r\n"}}) {
    const std::string path = std::string(kFaults) + "\\" + name;
    if (FileExists(std::string(kFaults) + "\\no-" + name))
      SKIP_OUTSIDE_CI(SkipReason(std::string("no-") + name));
    Aim(dialog_, path, 85);
    ExpectCreateFailure(FailureText(kCreateFailed, path, cause), true);
    EXPECT_TRUE(*kept == 0 || ReadFileBytes(path) == kept);
  }
  EXPECT_EQ(Progress(), "");
}

// Every file call failing, each kind through its class, the outcomes by the
// README's rules: create errors with the file there, not there, unseen;
// writes at either block, before or after the drive took them, flushed or
// not; flushes; folders. Never a count the drive did not confirm.
TEST_F(FailureTest, EveryFileCallCanFail) {
  const long long kLines = 74613;  // binomial(22, 6): 69 to the last, 2 writes
  const long long kSome = -2, kSame = -1;  // some lines; as before the run
  enum Place { kAbsent, kPresent, kUnseen, kFolder };
  using Failures = std::vector<std::pair<const char*, Failure>>;
  const std::string path = TestPath("calls.txt");
  ShowTaskbarButton();
  Aim(dialog_, path, 69, true);
  int rows = 0;
  // A run with `failures` (a folder's attributes answered, ~0: unreadable):
  // asked or not, its box (C, W) and cause, the creates and the count.
  const auto run = [&](Failures failures, Place place, bool asks, char box,
                       DWORD cause, std::size_t creates, long long shown,
                       DWORD attributes = 0) {
    SCOPED_TRACE(++rows);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(path.c_str());
    const bool old = place == kPresent || place == kUnseen;
    if (old) WriteFileBytes(path, "old\r\n");
    if (place == kFolder) CreateDirectoryA(path.c_str(), nullptr);
    if (place == kUnseen || attributes == ~0u) {
      FailNextCall("GetFileAttributesExW", {ERROR_ACCESS_DENIED});
    } else if (place == kFolder) {
      AnswerNextCall("GetFileAttributesExW", 1,
                     FILE_ATTRIBUTE_DIRECTORY | attributes);
    }
    bool unconfirmed = false;  // by the drive, so nothing is claimed
    for (const auto& [call, failure] : failures) {
      FailNextCall(call, failure);
      unconfirmed |= box == 'W' && std::string(call) == "FlushFileBuffers";
    }
    const std::string before = Progress();
    PressRun(asks);
    if (box != 0)
      Click(
          ExpectBox(dialog_,
                    FailureText(box == 'C' ? kCreateFailed : kWriteFailed, path,
                                cause & 0x20000000 ? OwnCause(cause)
                                                   : SystemText(cause)),
                    "Errore", IDI_ERROR),
          IDOK);
    ExpectRunOver(shown != kSame);
    EXPECT_EQ(sequence_, (asks ? "Q" : "") +
                             std::string(box == 'C' ? "C" : "KTRNsDSktr") +
                             (box == 'W' ? "EW-" : "-"));
    std::size_t made = 0;
    DWORD last = 0, lastError = 0;
    for (const SystemCall& call : checked_) {
      if (call.name != "CreateFileW") continue;
      if (made++ > 0 && lastError == ERROR_SHARING_VIOLATION) {
        EXPECT_TRUE(call.time - last >= 90 && call.time - last < 1000)
            << call.time - last;
      }
      last = call.time;
      lastError = call.error;
    }
    EXPECT_EQ(made, creates);
    const long long count = ProgressCount(dialog_);
    if (shown == kSame) {
      EXPECT_EQ(Progress() + ReadFileBytes(path),
                before + (old ? "old\r\n" : ""));
    } else {
      EXPECT_TRUE(shown == kSome ? count > 0 && count < kLines : count == shown)
          << count;
      EXPECT_TRUE(unconfirmed || FileHoldsReferenceLines(path, 69, 85, count));
    }
  };
  for (DWORD error :
       {ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND, ERROR_NETWORK_UNREACHABLE,
        ERROR_SHARING_VIOLATION, ERROR_FILE_EXISTS})
    for (int times : {1, 10})
      for (Place place : {kAbsent, kPresent, kUnseen}) {
        const bool sharing = error == ERROR_SHARING_VIOLATION;
        if (times == 10 && !sharing) continue;
        const bool exists = error == ERROR_FILE_EXISTS && place != kPresent;
        const bool refused = sharing ? times == 10 : !exists;
        const bool asks = place == kPresent || exists ||
                          (sharing && !refused && place == kUnseen);
        const std::size_t tries = sharing ? times : 1,
                          after = place == kUnseen && sharing ? 2 : 1;
        run({{"CreateFileW", {error, 0, times}}}, place, asks,
            refused ? 'C' : 0, error, tries + (refused ? 0 : after),
            refused ? kSame : kLines);
      }
  for (DWORD attributes : std::initializer_list<DWORD>{
           0, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_ARCHIVE,
           FILE_ATTRIBUTE_REPARSE_POINT, ~0u})
    run({}, kFolder, false, 'C', kCauseFolder, attributes == ~0u, kSame,
        attributes);
  for (int skip : {0, 1})
    for (bool partly : {false, true})
      for (bool flushed : {true, false}) {
        Failures failures = {{"WriteFile", {ERROR_DISK_FULL, skip, 1, partly}}};
        if (!flushed)
          failures.push_back({"FlushFileBuffers", {ERROR_NETNAME_DELETED}});
        run(failures, kAbsent, false, 'W', ERROR_DISK_FULL, 1,
            flushed && skip == 1 ? kSome : 0);
      }
  for (DWORD error : {ERROR_NETNAME_DELETED, ERROR_INVALID_FUNCTION,
                      ERROR_NOT_SUPPORTED, ERROR_ACCESS_DENIED}) {
    const bool lost =
        error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED;
    run({{"FlushFileBuffers", {error}}}, kAbsent, false, lost ? 'W' : 0, error,
        1, lost ? 0 : kLines);
  }
  run({{"fclose", {ERROR_NETNAME_DELETED}}}, kAbsent, false, 'W',
      ERROR_NETNAME_DELETED, 1, kLines);
  RemoveDirectoryA(path.c_str());
}

// During a run others may read the file but not write it: a second copy of
// Sestor.exe is asked, then refused; then it writes its own file, and
// "Uscita" ends it with status 1.
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
  Aim(other, path, 84);

  StartTutte(path);
  Click(other, IDC_RUN);
  Click(ExpectBox(other, kQuestion, "Attenzione"), IDYES);
  HWND box = ExpectBox(
      other,
      FailureText(kCreateFailed, path, SystemText(ERROR_SHARING_VIOLATION)),
      "Errore");
  ASSERT_NE(box, nullptr);

  EXPECT_TRUE(CreateFileA(path.c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE &&
              GetLastError() == ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(std::ifstream(path).is_open() && !DeleteFileA(path.c_str()) &&
              !MoveFileA(path.c_str(), TestPath("moved.txt").c_str()) &&
              !Idle());
  Click(dialog_, IDC_RUN);
  ExpectStartOfTutte(path);

  Click(box, IDOK);
  const std::string own = TestPath("second.txt");
  EXPECT_TRUE(WaitUntil([&] { return RunFinished(other); }));
  Aim(other, own, 84, true);
  Click(other, IDC_RUN);
  EXPECT_TRUE(WaitUntil(
      [&] { return ProgressCount(other) == 7 && RunFinished(other); }));
  EXPECT_EQ(ReadFileBytes(own), ReferenceText(84, 85));
  Click(other, IDC_EXIT);
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 15000), WAIT_OBJECT_0);
  DWORD status = 0;
  EXPECT_TRUE(GetExitCodeProcess(second.hProcess, &status) && status == 1);
}

TEST_F(FailureTest, DiskFullMidRunIsReportedAndKeepsWholeLines) {
  ExpectDiskFull("T:\\", "small", true);
}

// The same past 4 GiB, where the file is cut back at a 64-bit offset.
TEST_F(FailureTest, DiskFullPastFourGiBKeepsWholeLines) {
  ExpectDiskFull("U:\\", "large", false);
}

// Many short runs: each complete, no handle left behind (Wine hands out the
// lowest free value, so a leak makes them climb; its handle count is 0).
TEST_F(FailureTest, ManyShortRunsLeaveNothingBehind) {
  const auto probeHandle = [] {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<std::uintptr_t>(probe);
  };
  const std::uintptr_t before = probeHandle();

  const std::string path = TestPath("short.txt");
  Aim(dialog_, path, 85);
  for (int run = 0; run < 200; ++run) {
    DeleteFileA(path.c_str());
    Click(dialog_, IDC_RUN);
    ASSERT_TRUE(WaitUntil(Idle)) << "run " << run;
    ASSERT_EQ(ReadFileBytes(path.c_str()), kLastLine) << "run " << run;
  }
  EXPECT_EQ(Progress(), "Combinazione 1");

  // Wine opens a few of its own; one a run would be 800 in handle values.
  EXPECT_LE(probeHandle(), before + 4 * 50);
}

}  // namespace
