// Windows-1252 texts through the wide calls; see window_text.h.
#include "run/window_text.h"

#include <algorithm>
#include <cwchar>

namespace {

// Longer than any of the program's own texts.
constexpr int kTextCapacity = 512;

struct Text1252 {
  wchar_t text[kTextCapacity];
};

Text1252 From1252(const char* text) {
  Text1252 wide;
  if (MultiByteToWideChar(1252, 0, text, -1, wide.text, kTextCapacity) == 0)
    wide.text[0] = L'\0';
  return wide;
}

}  // namespace

void SetWindowText1252(HWND window, const char* text) {
  SetWindowTextW(window, From1252(text).text);
}

void SetControlText1252(HWND dialog, int id, const char* text) {
  SetDlgItemTextW(dialog, id, From1252(text).text);
}

void AddListEntry1252(HWND dialog, int id, const char* text) {
  SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(From1252(text).text));
}

int MessageBox1252(HWND owner, const char* text, const char* caption,
                   UINT flags) {
  return MessageBoxW(owner, From1252(text).text, From1252(caption).text, flags);
}

void Append(WideText& out, const wchar_t* text) {
  const std::size_t room = out.capacity - 1 - out.length;
  const std::size_t length = std::min(std::wcslen(text), room);
  std::wmemcpy(out.text + out.length, text, length);
  out.length += length;
  out.text[out.length] = L'\0';
}

void Append1252(WideText& out, const char* text) {
  Append(out, From1252(text).text);
}

int MessageBoxWide(HWND owner, const WideText& text, const char* caption,
                   UINT flags) {
  return MessageBoxW(owner, text.text, From1252(caption).text, flags);
}
