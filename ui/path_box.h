// The path box as Windows' own: Ctrl+A selects the whole path, folders and
// files are completed as they are typed (as in Esegui and Explorer's address
// bar), and a file or folder dragged from Explorer onto the window gives its
// path. All on the dialog's thread.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

// At WM_INITDIALOG, once COM is set up on this thread.
void SetUpPathBox(HWND dialog);

// WM_DROPFILES: the first item dropped, a folder as the file GENERATO.TXT
// in it; nothing during a run, which has read the path already.
void OnDropFiles(HWND dialog, HDROP drop);
