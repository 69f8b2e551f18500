// The boxes of a run; see messages.h. A box that tells of a failure keeps
// its first line as the program has always shown it; below it come the
// path and the cause: Windows' own words for its error code, in the user's
// language, or a sentence of the program's own for its own refusals.
#include "run/messages.h"

#include <shlwapi.h>

#include <cwchar>
#include <cwctype>

#include "generation/output_file.h"
#include "run/output_path.h"
#include "run/run_state.h"
#include "run/window_text.h"

namespace {

const char kOverwriteQuestion[] = "Il file esiste gi\xE0. Vuoi sovrascrivere";
const char kCreateFailed[] = "Impossibile creare il file";
const char kWriteFailed[] = "Errore durante la scrittura del file";
const char kDoesNotFit[] = "Il file non entra nel disco";
// The bit Windows keeps for applications' error codes: the program's own.
const DWORD kOwnCause = 0x20000000;

// Two paths and the words around them.
constexpr std::size_t kBoxCapacity = 2 * kFullPathCapacity + 1024;
// The box being built: the worker's alone.
wchar_t g_box[kBoxCapacity];

WideText NewBox(const char* firstLine) {
  WideText box{g_box, kBoxCapacity, 0};
  g_box[0] = L'\0';
  Append1252(box, firstLine);
  return box;
}

const char* OwnCause(DWORD cause) {
  switch (cause) {
    case kCauseEmpty:
      return "Il campo \"File di output\" \xE8 vuoto.";
    case kCauseTooLong:
      return "Il percorso \xE8 pi\xF9 lungo di 511 caratteri.";
    case kCauseDevice:
      return "Il nome \xE8 riservato da Windows ai dispositivi (CON, NUL, "
             "COM1...).";
    case kCauseNotDiskFile:
      return "Il percorso non indica un file su un disco o in rete.";
    case kCauseStream:
      return "Un nome di file non pu\xF2 contenere i due punti (:).";
    case kCauseFolder:
      return "\xC8 una cartella: aggiungere \\ e il nome del file.";
    case kNotADiskFile:
      return "Il percorso indica un dispositivo, non un file.";
    case 0:
      return "Windows non ha confermato che le righe sono sul disco.";
    default:  // kCauseInvalid
      return "Il percorso non \xE8 valido.";
  }
}

// Windows' own words for its error code, in the user's language, without
// the line end they come with.
void AppendSystemText(WideText& box, DWORD error) {
  wchar_t text[1024];
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, text, 1024, nullptr);
  while (length > 0 && std::iswspace(text[length - 1])) --length;
  text[length] = L'\0';
  if (length > 0) {
    Append(box, text);
  } else {
    wchar_t code[64];
    swprintf(code, 64, L"Windows ha dato l'errore %lu.", error);
    Append(box, code);
  }
}

// The path under the first line, and a blank line before what follows.
void AppendPath(WideText& box, const wchar_t* shown) {
  if (shown[0] != L'\0') {
    Append(box, L"\n");
    Append(box, shown);
  }
  Append(box, L"\n\n");
}

void AppendCause(WideText& box, DWORD cause) {
  if ((cause & kOwnCause) != 0 || cause == 0) {
    Append1252(box, OwnCause(cause));
  } else {
    AppendSystemText(box, cause);
  }
}

void ShowFailure(const WideText& box) {
  MessageBoxWide(g_dialog, box, "Errore", MB_ICONERROR);
}

// A failure's box: its first line, the path shown (if any), the cause.
void ShowFailure(const char* firstLine, const wchar_t* shown, DWORD cause) {
  WideText box = NewBox(firstLine);
  AppendPath(box, shown);
  AppendCause(box, cause);
  ShowFailure(box);
}

// A missing folder is what the user can mend: the box names it. The root of
// a drive or share is not a folder to create, and a folder that is there
// (the path went wrong further down) is no such cause.
bool FolderMissing(const wchar_t* full, wchar_t (&folder)[kFullPathCapacity]) {
  if (!FolderOf(full, folder)) return false;
  return WithoutRedirection([&] {
    const DWORD attributes = GetFileAttributesW(folder);
    const DWORD error = GetLastError();
    return attributes == INVALID_FILE_ATTRIBUTES &&
           (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  });
}

void AppendSize(WideText& box, ULONGLONG bytes) {
  wchar_t size[64];
  Append(box, StrFormatByteSizeW(static_cast<LONGLONG>(bytes), size, 64));
}

}  // namespace

bool AgreesToOverwrite() {
  return MessageBox1252(g_dialog, kOverwriteQuestion, "Attenzione",
                        MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

// Sizes as Explorer shows them, in the user's own format (10,6 GB).
bool AgreesToWriteWhatFits(const wchar_t* full, ULONGLONG need,
                           ULONGLONG usable, ULONGLONG largest,
                           const wchar_t* fileSystem) {
  wchar_t shown[kFullPathCapacity];
  WideText box = NewBox(kDoesNotFit);
  AppendPath(box, ShownPath(full, shown));
  Append1252(box, "Il file sar\xE0 di ");
  AppendSize(box, need);
  if (largest != 0) {
    Append1252(box, ", ma il disco \xE8 ");
    Append(box, fileSystem);
    Append1252(box, " e non accetta file oltre i 4 GB.");
  } else {
    Append1252(box, ", ma sul disco ne restano liberi ");
    AppendSize(box, usable);
    Append(box, L".");
  }
  Append1252(box,
             "\n\nScrivere comunque? Il file conterr\xE0 solo le "
             "combinazioni che ci stanno.");
  return MessageBoxWide(g_dialog, box, "Attenzione",
                        MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void ShowRefusal(const wchar_t* typed, DWORD cause) {
  ShowFailure(kCreateFailed, typed, cause);
}

void ShowCreateFailure(const wchar_t* full, DWORD cause) {
  wchar_t shown[kFullPathCapacity], folder[kFullPathCapacity];
  if (cause != ERROR_PATH_NOT_FOUND || !FolderMissing(full, folder)) {
    ShowFailure(kCreateFailed, ShownPath(full, shown), cause);
    return;
  }
  WideText box = NewBox(kCreateFailed);
  AppendPath(box, ShownPath(full, shown));
  folder[std::wcslen(folder) - 1] = L'\0';  // without its last backslash
  Append1252(box, "La cartella ");
  Append(box, ShownPath(folder, shown));
  Append1252(box, " non esiste: crearla, poi premere di nuovo Esegui.");
  ShowFailure(box);
}

void ShowWriteFailure(const wchar_t* full, DWORD error) {
  wchar_t shown[kFullPathCapacity];
  ShowFailure(kWriteFailed, ShownPath(full, shown), error);
}
