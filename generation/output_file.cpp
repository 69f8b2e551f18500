// Opening, writing, cutting back and closing the run's output file. On
// Windows the file is opened through the system so that its sharing can be
// chosen (the C runtime lets every other program write a file it has open)
// and so that its name keeps every character; it is written and cut back
// through its own handle, which takes 64-bit sizes on every Windows.
#include "generation/output_file.h"

#include "generation/combinations.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace {

// The run has failed: the first failure's error is the one reported.
void Fail(std::uint32_t error) {
  if (!g_storedOutput.failed) g_storedOutput.error = error;
  g_storedOutput.failed = true;
}

#ifdef _WIN32

// The longest path the system's wide file calls take, with its terminator.
constexpr int kWidePathCapacity = 32768;

std::uint32_t LastError() { return GetLastError(); }

// Windows refuses to replace a hidden or system file unless the new one is
// made with the same attributes.
DWORD KeptAttributes(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  const DWORD kept =
      attributes == INVALID_FILE_ATTRIBUTES
          ? 0
          : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

// Right after a file is closed, an antivirus scan, the search indexer or a
// preview pane may hold it for a moment; the sharing check then refuses it
// before anything is truncated, so it is simply tried again for a second.
constexpr int kSharingTries = 10;
constexpr DWORD kSharingPauseMs = 100;

// A named pipe reached by a spelling that the path rule does not know may
// learn who the user is, but never act as them. SECURITY_SQOS_PRESENT is
// the bit of FILE_FLAG_OPEN_NO_RECALL as well: on a disk file it keeps a
// file that a storage manager has moved offline from being fetched back,
// which a file about to be written or replaced does not need.
constexpr DWORD kIdentifyOnly = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

HANDLE CreateSharingOnlyReads(const wchar_t* path, bool replace) {
  for (int tries = 1;; ++tries) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    replace ? CREATE_ALWAYS : CREATE_NEW,
                    (replace ? KeptAttributes(path) : FILE_ATTRIBUTE_NORMAL) |
                        kIdentifyOnly,
                    nullptr);
    if (file != INVALID_HANDLE_VALUE || tries == kSharingTries ||
        GetLastError() != ERROR_SHARING_VIOLATION) {
      return file;
    }
    Sleep(kSharingPauseMs);
  }
}

// Readers are let in (to look at the first lines during a run), writers are
// not: a second writer would mix its lines into the run's. The sharing check
// comes before CREATE_ALWAYS truncates, so a file that someone else is
// writing is refused whole.
//
// A new file is created without truncating anything: truncation, even of an
// empty file, makes some file systems (ext4 under Wine) write out every
// pending block when the file is closed, which holds up the end of a run by
// a fraction of a second per gigabyte.
std::FILE* OpenForWriting(const char* path, bool replace, bool* taken) {
  // Widened for the system's wide call: the byte-string one would fold what
  // the code page lacks into other letters, and so into another file.
  wchar_t wide[kWidePathCapacity];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide,
                          kWidePathCapacity) == 0) {
    Fail(GetLastError());
    return nullptr;
  }
  HANDLE file = CreateSharingOnlyReads(wide, replace);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    Fail(error);
    return nullptr;
  }
  // A device (a printer, a serial port, the null device) would swallow the
  // lines, or block a write where STOP can't reach it.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    Fail(kNotADiskFile);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
  if (fd < 0) {
    Fail(GetLastError());
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) {
    Fail(GetLastError());
    _close(fd);  // closes the handle too
  }
  return stream;
}

HANDLE FileOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// How much of the bytes one system write took; 0 when it took none.
std::size_t WriteOnce(std::FILE* stream, const char* bytes, std::size_t size) {
  DWORD written = 0;
  return WriteFile(FileOf(stream), bytes, static_cast<DWORD>(size), &written,
                   nullptr)
             ? written
             : 0;
}

void CutBack(std::FILE* stream, std::int64_t size) {
  HANDLE file = FileOf(stream);
  LARGE_INTEGER end;
  end.QuadPart = size;
  if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
}

// A file system's driver need not take a flush (the file-system
// documentation of IRP_MJ_FLUSH_BUFFERS): one that can't be asked has not
// lost anything by it.
bool SyncToDrive(std::FILE* stream) {
  if (FlushFileBuffers(FileOf(stream))) return true;
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

#else

std::uint32_t LastError() { return static_cast<std::uint32_t>(errno); }

// Files here have no sharing modes; the native build serves the tests.
std::FILE* OpenForWriting(const char* path, bool replace, bool* taken) {
  const int fd =
      open(path, O_WRONLY | O_CREAT | (replace ? O_TRUNC : O_EXCL), 0666);
  *taken = fd < 0 && errno == EEXIST;
  std::FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (stream == nullptr) Fail(LastError());
  if (fd >= 0 && stream == nullptr) close(fd);
  return stream;
}

std::size_t WriteOnce(std::FILE* stream, const char* bytes, std::size_t size) {
  const ssize_t written = write(fileno(stream), bytes, size);
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

void CutBack(std::FILE* stream, std::int64_t size) {
  (void)ftruncate(fileno(stream), size);
}

// A pipe (the release's tools write into one) or a device can't be synced;
// only a refusal of what can be is a failure.
bool SyncToDrive(std::FILE* stream) {
  return fsync(fileno(stream)) == 0 || errno == EINVAL;
}

#endif

}  // namespace

std::FILE* OpenOutputStream(const char* path, bool replace, bool* taken) {
  g_storedOutput = StoredOutput{};
  *taken = false;
  std::FILE* stream = OpenForWriting(path, replace, taken);
  // Unbuffered: blocks go past the stream to the file, which holds nothing
  // back for its closing.
  if (stream != nullptr) std::setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

// A disk file takes the whole block in the first write; the loop is for a
// file system that takes less and says so.
bool WriteBlock(std::FILE* stream, const char* bytes, std::size_t size) {
  while (size > 0) {
    const std::size_t written = WriteOnce(stream, bytes, size);
    if (written == 0) {
      Fail(LastError());
      return false;
    }
    bytes += written;
    size -= written;
  }
  return true;
}

bool CloseOutputStream(std::FILE* stream) {
  // Part of a refused block may have landed; drop it so the file ends with
  // the last line known to be whole.
  if (g_storedOutput.failed) CutBack(stream, g_storedOutput.bytes);
  // The system took the blocks into its cache, but until the drive confirms
  // them (not a stick pulled out, not a share's delayed write) which of them
  // it holds is unknown, so none is claimed.
  if (std::fflush(stream) != 0 || std::ferror(stream) || !SyncToDrive(stream)) {
    Fail(LastError());
    g_storedOutput.bytes = 0;
    g_storedOutput.lines = 0;
  }
  if (std::fclose(stream) != 0) Fail(LastError());
  return !g_storedOutput.failed;
}
