// The output path: read from the path box as Unicode and turned into the one
// full path that names the file the box shows, whatever its characters and
// length. The system's byte-string file calls would replace what the code
// page lacks (a "best fit" letter or '?') and stop at 259 characters, so a
// different file could be asked about and replaced.
#pragma once

#include <windows.h>

// Why no file can be made of what the path box holds, beside Windows' own
// error codes: the program's own causes, with bit 29 set as Windows keeps it
// for applications' codes.
enum PathCause : DWORD {
  kCauseEmpty = 0x20000010,
  kCauseTooLong,      // over the 511 characters the box gives
  kCauseInvalid,      // nothing a path could be
  kCauseDevice,       // a device's name: CON, NUL, COM1 ...
  kCauseNotDiskFile,  // a pipe, mailslot, volume or device by its path
  kCauseStream,       // a colon after the drive: an NTFS stream
  kCauseFolder,       // a folder, which no run replaces
};

// The path box's text: at most 511 characters and the terminator.
constexpr int kPathCapacity = 512;
// The longest path the system's wide file calls take, with its terminator.
constexpr int kFullPathCapacity = 32768;

// Reads the path box. False when it holds more than 511 characters: a cut
// path would name a different file from the one shown.
bool ReadOutputPath(HWND dialog, wchar_t (&typed)[kPathCapacity]);

// The full path of the file that `typed` names, in the \\?\ form that lifts
// the old 260-character limit. White space and invisible characters around
// the whole and every double quote (pasted paths carry them) are dropped; a
// relative path, '/', "..", and trailing dots and spaces mean what they mean
// everywhere else in Windows. False when it names nothing that could be a disk
// file: anything but a drive or share path (or their \\?\ forms), such as a
// pipe, a volume or a device in the device namespaces; a pipe or mailslot on a
// server, or a path handed to a network provider by name (a server starting
// with ';'); a device by its name; an NTFS stream (a colon). Returns 0, or
// the cause of a refusal; `full` then holds the path as cleaned, to show.
DWORD FullOutputPath(const wchar_t* typed, wchar_t (&full)[kFullPathCapacity]);

// The full path as a user writes it, without the \\?\ prefix.
const wchar_t* ShownPath(const wchar_t* full,
                         wchar_t (&shown)[kFullPathCapacity]);
// The folder the file goes in, with its final backslash; false when that is
// the root of a drive or share.
bool FolderOf(const wchar_t* full, wchar_t (&folder)[kFullPathCapacity]);

// What the existence check found at a full path: a file (to ask about, its
// size in *bytes), a folder (which no run can replace), or nothing it could
// tell of.
enum class PathHolds { kUnknown, kFile, kFolder };
PathHolds WhatPathHolds(const wchar_t* full, ULONGLONG* bytes);
// Whether the folder's listing shows a folder at the path, for when its
// attributes could not be read.
bool ListedAsFolder(const wchar_t* full);

// What the volume that would hold the file can take: the bytes the user may
// still fill there, and the largest file its file system holds (0: no limit
// known). Either is unknown where the volume does not say (some shares).
struct VolumeRoom {
  bool freeKnown;
  ULONGLONG freeBytes;
  ULONGLONG largestFile;
  wchar_t fileSystem[MAX_PATH + 1];
};
VolumeRoom RoomOnVolume(const wchar_t* full);

// 64-bit Windows sends a 32-bit program's paths under System32 to SysWOW64:
// the file asked about and created must be the one the box names. Only
// around the file calls: a library loaded meanwhile (a message box may load
// some) would come from the wrong folder.
template <typename FileCall>
auto WithoutRedirection(FileCall call) -> decltype(call()) {
  PVOID redirection = nullptr;
  const bool off = Wow64DisableWow64FsRedirection(&redirection) != FALSE;
  const auto result = call();
  if (off) Wow64RevertWow64FsRedirection(redirection);
  return result;
}
