// Reading and resolving the output path; see output_path.h.
#include "run/output_path.h"

#include <cwchar>

#include "resource.h"

namespace {

// "\\?\UNC\" takes the place of a network path's leading "\\".
constexpr int kPrefixRoom = 8;

// No Windows file name holds a double quote, so a pair around the whole text
// can only be the quoting of a pasted path.
void Unquote(const wchar_t* typed, wchar_t (&path)[kPathCapacity]) {
  const std::size_t length = std::wcslen(typed);
  if (length >= 2 && typed[0] == L'"' && typed[length - 1] == L'"') {
    std::wmemcpy(path, typed + 1, length - 2);
    path[length - 2] = L'\0';
  } else {
    std::wmemcpy(path, typed, length + 1);
  }
}

bool IsDrivePath(const wchar_t* path) {
  return path[0] != L'\0' && path[1] == L':' && path[2] == L'\\';
}

// \\server\share\..., but not \\?\ or \\.\, which are already the system's own.
bool IsNetworkPath(const wchar_t* path) {
  return path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' &&
         path[2] != L'.';
}

}  // namespace

bool ReadOutputPath(HWND dialog, wchar_t (&typed)[kPathCapacity]) {
  HWND box = GetDlgItem(dialog, IDC_OUTPUT_FILE);
  if (GetWindowTextLengthW(box) >= kPathCapacity) return false;
  GetWindowTextW(box, typed, kPathCapacity);
  return true;
}

bool FullOutputPath(const wchar_t* typed, wchar_t (&full)[kFullPathCapacity]) {
  wchar_t path[kPathCapacity];
  Unquote(typed, path);
  // Resolved behind room for the prefix, then moved into place.
  wchar_t* resolved = full + kPrefixRoom;
  const DWORD room = kFullPathCapacity - kPrefixRoom;
  const DWORD length = GetFullPathNameW(path, room, resolved, nullptr);
  if (length == 0 || length >= room) return false;

  const wchar_t* prefix = L"";
  const wchar_t* rest = resolved;
  if (IsDrivePath(resolved)) {
    prefix = L"\\\\?\\";
  } else if (IsNetworkPath(resolved)) {
    prefix = L"\\\\?\\UNC\\";
    rest = resolved + 2;
  }
  const std::size_t prefixLength = std::wcslen(prefix);
  std::wmemmove(full + prefixLength, rest, std::wcslen(rest) + 1);
  std::wmemcpy(full, prefix, prefixLength);
  return true;
}

// Anything the system can't positively call absent counts, a file that
// exists but can't be read (locked, no permission) included; a folder does
// not, and is left to the create step to refuse.
bool FileExistsAt(const wchar_t* full) {
  const DWORD attributes = GetFileAttributesW(full);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY:
      return false;
    default:
      return true;
  }
}
