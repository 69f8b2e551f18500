// Windows-1252 texts through the wide calls; see window_text.h.
#include "run/window_text.h"

namespace {

// Longer than any of the program's texts.
constexpr int kTextCapacity = 128;

struct WideText {
  wchar_t text[kTextCapacity];
};

WideText From1252(const char* text) {
  WideText wide;
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
