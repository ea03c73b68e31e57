// Measures the texts of a running setup dialog at the screen DPI this probe runs at, for the
// DPI tests (dialog_dpi_tests.cpp), which start it beside the setup program at the same DPI.
//
//   dialog_text_fit_probe.exe SETUP.exe DIALOG
//
// SETUP.exe is the running program's file and DIALOG its dialog's window handle (decimal).
// The program's template 101, created here as a hidden reference dialog, gives each control
// the font the dialog manager makes for it at this DPI: a font handle of another process
// cannot be selected here. The running dialog gives the texts as shown (the welcome line
// expanded) and the client rectangles. Prints, one item a line:
//   dpi N
//   dialog W H        the running dialog's client size
//   reference W H     the reference dialog's (the same when both run at one DPI)
//   text NEED_W NEED_H ROOM_W ROOM_H TEXT   for every control with a text (the folder
//                                           field aside), in Z order
// NEED is the text's extent as the control lays it out, ROOM the part of the client
// rectangle the control gives its text. Exit code 0, or 1 with the reason on standard error.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "harness/text.h"
#include "harness/window_driving.h"

namespace {

INT_PTR CALLBACK IgnoreEverything(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct Fit {
  int need_width = 0, need_height = 0;
  int room_width = 0, room_height = 0;
};

bool IsCheckOrRadio(DWORD style) {
  DWORD type = style & BS_TYPEMASK;
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
         type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// The width a check box or radio button keeps for its glyph left of the text: the box the
// platform's button control draws (13 pixels at 96 DPI, scaled with the DPI) and the gap
// after it, half the width of a digit in the control's font.
int GlyphWidth(HDC dc, int dpi) {
  int digit = 0;
  GetCharWidth32W(dc, L'0', L'0', &digit);
  return 12 * dpi / 96 + 1 + digit / 2;
}

// How much room `text` needs in `control` and how much it has, laid out as the control lays
// it out: a static word-wraps within its width (so it needs its wrapped height), a button
// keeps its text on one line (beside the glyph for a check box or radio button).
Fit MeasureText(HWND control, HWND reference_control, const std::wstring& text, int dpi) {
  Fit fit;
  RECT client;
  GetClientRect(control, &client);
  fit.room_width = client.right;
  fit.room_height = client.bottom;
  HDC dc = GetDC(reference_control);
  HGDIOBJ old_font =
      SelectObject(dc, (HFONT)SendMessageW(reference_control, WM_GETFONT, 0, 0));
  wchar_t class_name[32] = L"";
  GetClassNameW(control, class_name, 32);
  UINT flags = DT_CALCRECT | DT_LEFT;
  if (lstrcmpiW(class_name, L"Static") == 0) {
    flags |= DT_WORDBREAK | DT_EXPANDTABS;
  } else {
    flags |= DT_SINGLELINE;
    if (IsCheckOrRadio(GetWindowLongW(control, GWL_STYLE))) {
      fit.room_width -= GlyphWidth(dc, dpi);
    }
  }
  RECT needed = {0, 0, fit.room_width, 0};
  DrawTextW(dc, text.c_str(), -1, &needed, flags);
  fit.need_width = needed.right - needed.left;
  fit.need_height = needed.bottom - needed.top;
  SelectObject(dc, old_font);
  ReleaseDC(reference_control, dc);
  return fit;
}

int Fail(const char* reason) {
  fprintf(stderr, "dialog_text_fit_probe: %s\n", reason);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return Fail("usage: dialog_text_fit_probe.exe SETUP.exe DIALOG");
  HWND dialog = (HWND)(UINT_PTR)wcstoull(argv[2], NULL, 10);
  if (!IsWindow(dialog)) return Fail("no such dialog window");
  HMODULE setup = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (setup == NULL) return Fail("cannot load the setup program as a data file");
  HWND reference = CreateDialogParamW(setup, MAKEINTRESOURCEW(101), NULL, IgnoreEverything, 0);
  if (reference == NULL) return Fail("cannot create a dialog from template 101");

  HDC screen = GetDC(NULL);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(NULL, screen);
  RECT running_client, reference_client;
  GetClientRect(dialog, &running_client);
  GetClientRect(reference, &reference_client);
  printf("dpi %d\n", dpi);
  printf("dialog %ld %ld\n", running_client.right, running_client.bottom);
  printf("reference %ld %ld\n", reference_client.right, reference_client.bottom);

  // Both dialogs come from the same template, so their controls stand in the same Z order.
  HWND control = GetWindow(dialog, GW_CHILD);
  HWND reference_control = GetWindow(reference, GW_CHILD);
  for (; control != NULL && reference_control != NULL;
       control = GetWindow(control, GW_HWNDNEXT),
       reference_control = GetWindow(reference_control, GW_HWNDNEXT)) {
    // The folder field holds a path, not a text of the template, and scrolls it.
    wchar_t class_name[32] = L"";
    GetClassNameW(control, class_name, 32);
    if (lstrcmpiW(class_name, L"Edit") == 0) continue;
    std::wstring text = WindowText(control);
    if (text.empty()) continue;
    Fit fit = MeasureText(control, reference_control, text, dpi);
    printf("text %d %d %d %d %s\n", fit.need_width, fit.need_height, fit.room_width,
           fit.room_height, Utf8(text).c_str());
  }
  DestroyWindow(reference);
  FreeLibrary(setup);
  return 0;
}
