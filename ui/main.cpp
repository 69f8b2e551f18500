// Program entry: the main dialog, shown modally until "Uscita".
#include <windows.h>

#include "ui/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ShowMainDialog(instance);
  return 1;  // the program's exit status, whatever the dialog returned
}
