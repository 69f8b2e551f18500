// The program's texts on screen. They are kept as Windows-1252 bytes (the à
// of the overwrite question is 0xE0) and go through the wide calls after an
// explicit conversion from that code page: the byte-string calls would read
// them in the system's own code page, which on a Polish, Japanese or UTF-8
// system turns the à into another letter or eats it.
#pragma once

#include <windows.h>

#include <cstddef>

void SetWindowText1252(HWND window, const char* text);
void SetControlText1252(HWND dialog, int id, const char* text);
// Adds an entry at the end of a combo box's list.
void AddListEntry1252(HWND dialog, int id, const char* text);
// A message box owned by owner; returns the button chosen.
int MessageBox1252(HWND owner, const char* text, const char* caption,
                   UINT flags);

// A text of any characters (a path, Windows' own words) beside the
// program's, built up in a buffer of `capacity` characters that it never
// overruns (what does not fit is left out).
struct WideText {
  wchar_t* text;
  std::size_t capacity;
  std::size_t length;
};
void Append(WideText& out, const wchar_t* text);
void Append1252(WideText& out, const char* text);
// The same box for a text built up so.
int MessageBoxWide(HWND owner, const WideText& text, const char* caption,
                   UINT flags);
