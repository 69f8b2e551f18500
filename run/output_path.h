// The output path: read from the path box as Unicode and turned into the one
// full path that names the file the box shows, whatever its characters and
// length. The system's byte-string file calls would replace what the code
// page lacks (a "best fit" letter or '?') and stop at 259 characters, so a
// different file could be asked about and replaced.
#pragma once

#include <windows.h>

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
// with ';'); a device by its name; an NTFS stream (a colon).
bool FullOutputPath(const wchar_t* typed, wchar_t (&full)[kFullPathCapacity]);

// What the existence check found at a full path: a file (to ask about), a
// folder (which no run can replace), or nothing it could tell of.
enum class PathHolds { kUnknown, kFile, kFolder };
PathHolds WhatPathHolds(const wchar_t* full);
