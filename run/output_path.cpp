// Reading and resolving the output path; see output_path.h.
#include "run/output_path.h"

#include <cwchar>
#include <initializer_list>

#include "resource.h"

namespace {

// "\\?\UNC\" takes the place of a network path's leading "\\".
constexpr int kPrefixRoom = 8;

// Unicode's white space and its invisible format characters: web pages and
// mail put a no-break or zero-width space after a copied path, Windows' own
// Security tab a direction mark before it, some editors a byte order mark.
bool IsInvisible(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r') || c == L'\u0085' ||
         c == L'\u00A0' || c == L'\u1680' || c == L'\u180E' ||
         (c >= L'\u2000' && c <= L'\u200F') ||
         (c >= L'\u2028' && c <= L'\u202F') ||
         (c >= L'\u205F' && c <= L'\u206F') || c == L'\u3000' || c == L'\uFEFF';
}

// A path as mail, chat and Explorer's "Copy as path" hand it over: what is
// invisible around the whole is dropped (inside a name it is the user's),
// and every double quote, which no Windows file name holds, so that
// "C:\x"\a.txt names C:\x\a.txt as well.
void CleanTyped(const wchar_t* typed, wchar_t (&path)[kPathCapacity]) {
  std::size_t length = 0;
  for (const wchar_t* c = typed; *c != L'\0'; ++c) {
    if (*c != L'"' && (length > 0 || !IsInvisible(*c))) path[length++] = *c;
  }
  while (length > 0 && IsInvisible(path[length - 1])) --length;
  path[length] = L'\0';
}

// A device by the rules of Windows 7 to 10, the strictest: CON, PRN, AUX,
// NUL, COM0-9 and LPT0-9 (with the superscripts 1, 2, 3) as the last
// component, whatever follows a dot and whatever blanks precede it.
bool IsDeviceName(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* c = path; *c != L'\0'; ++c) {
    if (*c == L'\\' || *c == L'/') name = c + 1;
  }
  std::size_t length = 0;
  while (name[length] != L'\0' && name[length] != L'.' && name[length] != L':')
    ++length;
  while (length > 0 && name[length - 1] == L' ') --length;
  if (length == 3) {
    return _wcsnicmp(name, L"CON", 3) == 0 || _wcsnicmp(name, L"PRN", 3) == 0 ||
           _wcsnicmp(name, L"AUX", 3) == 0 || _wcsnicmp(name, L"NUL", 3) == 0;
  }
  if (length == 4 &&
      (_wcsnicmp(name, L"COM", 3) == 0 || _wcsnicmp(name, L"LPT", 3) == 0)) {
    return (name[3] >= L'0' && name[3] <= L'9') || name[3] == L'\u00B9' ||
           name[3] == L'\u00B2' || name[3] == L'\u00B3';
  }
  return false;
}

// On NTFS a colon after the drive names an alternate stream of another
// file: the output would hide where neither Explorer nor the user looks.
bool HasStreamColon(const wchar_t* path) {
  if (path[0] != L'\0' && path[1] == L':') path += 2;
  return std::wcschr(path, L':') != nullptr;
}

bool IsDriveLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "X:\".
bool IsDriveRoot(const wchar_t* path) {
  return IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

// "server\share\" after a network path's leading "\\": both named, and the
// share one of files. The redirector's own names, pipe, mailslot and IPC$ (on
// any server, "*" included), reach another program's named pipe or mailslot,
// whose server could act as the user once it is opened. So does a server
// that starts with ';': Windows hands what follows ";LanmanRedirector\" (or
// any provider's name) to that provider as a path of its own, pipes included,
// and no real server is called so.
bool IsServerShare(const wchar_t* path) {
  const wchar_t* share = std::wcschr(path, L'\\');
  if (share == nullptr || share == path || path[0] == L';') return false;
  ++share;
  const wchar_t* end = std::wcschr(share, L'\\');
  if (end == nullptr || end == share) return false;
  const std::size_t length = static_cast<std::size_t>(end - share);
  for (const wchar_t* special : {L"pipe", L"mailslot", L"IPC$"}) {
    if (std::wcslen(special) == length &&
        _wcsnicmp(share, special, length) == 0)
      return false;
  }
  return true;
}

// "\\?\UNC\", in any letter case.
bool IsPrefixedShare(const wchar_t* path) {
  return std::wcsncmp(path, L"\\\\?\\", 4) == 0 &&
         _wcsnicmp(path + 4, L"UNC\\", 4) == 0;
}

// The one rule for where a run may write: a file on a drive (X:\...) or a
// share (\\server\share\...), or the same in the system's \\?\ forms. Every
// other path in the device namespaces, \\.\ and \\?\ in any spelling, names
// something else: a pipe (whose server could act as the user), a volume, a
// disk, a device. Inside the forms that are files, a device by its name and
// a colon that would name an NTFS stream are refused too. 0, or why not.
DWORD DiskFileRule(const wchar_t* resolved) {
  const wchar_t* rest = resolved;
  bool file = false;
  if (std::wcsncmp(resolved, L"\\\\?\\", 4) == 0) {
    rest = resolved + 4;
    file = IsDriveRoot(rest) ||
           (IsPrefixedShare(resolved) && IsServerShare(rest + 4));
  } else if (resolved[0] == L'\\' && resolved[1] == L'\\') {
    file = resolved[2] != L'?' && resolved[2] != L'.' &&
           IsServerShare(resolved + 2);
  } else {
    file = IsDriveRoot(resolved);
  }
  if (!file) return kCauseNotDiskFile;
  if (IsDeviceName(rest)) return kCauseDevice;
  return HasStreamColon(rest) ? DWORD{kCauseStream} : 0;
}

// Where the part below the root of a full path's drive or share begins.
const wchar_t* BelowRoot(const wchar_t* full) {
  const wchar_t* rest = full + 4;
  if (IsDriveRoot(rest)) return rest + 3;
  const wchar_t* share = std::wcschr(rest + 4, L'\\');  // UNC\server\share
  const wchar_t* end =
      share != nullptr ? std::wcschr(share + 1, L'\\') : nullptr;
  return end != nullptr ? end + 1 : rest + std::wcslen(rest);
}

}  // namespace

bool ReadOutputPath(HWND dialog, wchar_t (&typed)[kPathCapacity]) {
  HWND box = GetDlgItem(dialog, IDC_OUTPUT_FILE);
  if (GetWindowTextLengthW(box) >= kPathCapacity) return false;
  GetWindowTextW(box, typed, kPathCapacity);
  return true;
}

DWORD FullOutputPath(const wchar_t* typed, wchar_t (&full)[kFullPathCapacity]) {
  wchar_t path[kPathCapacity];
  CleanTyped(typed, path);
  // Resolved behind room for the prefix, then moved into place.
  wchar_t* resolved = full + kPrefixRoom;
  // Windows 7 to 10 resolve a device's name to its \\.\ path, so the name
  // is looked at as typed.
  DWORD cause = kCauseEmpty;
  if (IsDeviceName(path)) {
    cause = kCauseDevice;
  } else if (path[0] != L'\0') {
    const DWORD room = kFullPathCapacity - kPrefixRoom;
    const DWORD length = GetFullPathNameW(path, room, resolved, nullptr);
    cause =
        length == 0 || length >= room ? kCauseInvalid : DiskFileRule(resolved);
  }
  if (cause != 0) {
    std::wmemcpy(full, path, std::wcslen(path) + 1);  // to show
    return cause;
  }

  const wchar_t* prefix = L"";
  const wchar_t* rest = resolved;
  if (IsDriveRoot(resolved)) {
    prefix = L"\\\\?\\";
  } else if (resolved[2] != L'?') {  // \\server\share\...
    prefix = L"\\\\?\\UNC\\";
    rest = resolved + 2;
  } else if (IsPrefixedShare(resolved)) {
    std::wmemcpy(resolved + 4, L"UNC", 3);  // one spelling for every share
  }
  const std::size_t prefixLength = std::wcslen(prefix);
  std::wmemmove(full + prefixLength, rest, std::wcslen(rest) + 1);
  std::wmemcpy(full, prefix, prefixLength);
  return 0;
}

const wchar_t* ShownPath(const wchar_t* full,
                         wchar_t (&shown)[kFullPathCapacity]) {
  if (!IsPrefixedShare(full)) return full + 4;
  shown[0] = L'\\';
  std::wmemcpy(shown + 1, full + 7, std::wcslen(full + 7) + 1);  // \server...
  return shown;
}

bool FolderOf(const wchar_t* full, wchar_t (&folder)[kFullPathCapacity]) {
  const auto length =
      static_cast<std::size_t>(std::wcsrchr(full, L'\\') + 1 - full);
  std::wmemcpy(folder, full, length);
  folder[length] = L'\0';
  return full + length > BelowRoot(full);
}

// Only attributes that were read say what is there: a check that fails (no
// file, but also no permission to look, a share without saved credentials,
// a dropped network) knows nothing.
PathHolds WhatPathHolds(const wchar_t* full, ULONGLONG* bytes) {
  WIN32_FILE_ATTRIBUTE_DATA found;
  if (!GetFileAttributesExW(full, GetFileExInfoStandard, &found))
    return PathHolds::kUnknown;
  *bytes = (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? PathHolds::kFolder
             : PathHolds::kFile;
}

// The folder's listing needs other rights than the entry's own attributes.
bool ListedAsFolder(const wchar_t* full) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(full, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// FAT12, FAT16 and FAT32 keep a file's size in 32 bits.
VolumeRoom RoomOnVolume(const wchar_t* full) {
  VolumeRoom room{};
  wchar_t folder[kFullPathCapacity], root[kFullPathCapacity];
  FolderOf(full, folder);
  ULARGE_INTEGER available;
  room.freeKnown =
      GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr) != FALSE;
  room.freeBytes = room.freeKnown ? available.QuadPart : 0;
  if (GetVolumePathNameW(folder, root, kFullPathCapacity) &&
      GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr,
                            room.fileSystem, MAX_PATH + 1) &&
      std::wcsncmp(room.fileSystem, L"FAT", 3) == 0) {
    room.largestFile = 0xFFFFFFFFull;
  }
  return room;
}
