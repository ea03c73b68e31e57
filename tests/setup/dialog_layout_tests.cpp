// The setup dialog's template 101 against its control table: once as stored in the
// executable's resources (exact bytes: styles, texts, rectangles in dialog units) and once
// as the running dialog shows it (identifiers, classes, styles, rectangles, creation order).
#include <gtest/gtest.h>

#include "setup/resource.h"
#include "harness/setup_session.h"

namespace {

// Styles as the table gives them; DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS.
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER |
                               DS_SETFONT | DS_FIXEDSYS;
constexpr short kDialogWidth = 460;
constexpr short kDialogHeight = 260;
const wchar_t kFontName[] = L"MS Shell Dlg";
constexpr WORD kFontPoints = 8;

constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
constexpr DWORD kHidden = WS_CHILD;

struct ExpectedControl {
  int id;
  const wchar_t* class_name;
  WORD class_atom;  // the predefined class's ordinal in a template
  const wchar_t* text;
  short x, y, cx, cy;
  DWORD style;
  DWORD ex_style;
};

constexpr WORD kButtonAtom = 0x0080, kEditAtom = 0x0081, kStaticAtom = 0x0082;

const ExpectedControl kControls[] = {
    {IDC_WELCOME_TEXT, L"Static", kStaticAtom,
     L"Welcome at the #N setup wizard. This program will guide you through the setup process.",
     35, 7, 260, 18, kShown | SS_LEFT | WS_GROUP, WS_EX_TRANSPARENT},
    {IDC_MODE_NORMAL, L"Button", kButtonAtom, L"Normal install", 9, 73, 77, 10,
     kShown | BS_AUTORADIOBUTTON, 0},
    {IDC_MODE_RUN_ONCE, L"Button", kButtonAtom, L"Run Once", 85, 73, 194, 10,
     kShown | BS_AUTORADIOBUTTON, 0},
    {IDC_FOLDER_EDIT, L"Edit", kEditAtom, L"", 35, 88, 383, 12,
     kShown | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0},
    {IDC_BROWSE, L"Button", kButtonAtom, L"...", 421, 89, 18, 12,
     kShown | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_PROGRAMS_SHORTCUT, L"Button", kButtonAtom,
     L"Add to Start Menu (Add a link to the start menu) ", 9, 105, 216, 10,
     kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {IDC_DESKTOP_SHORTCUT, L"Button", kButtonAtom, L"Add to Desktop (Add a link to the desktop) ",
     9, 117, 216, 10, kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {IDC_STARTUP_SHORTCUT, L"Button", kButtonAtom,
     L"Add to Startup (Start automaticaly when the windows starts) ", 9, 129, 216, 10,
     kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {IDC_LAUNCH_AFTER_INSTALL, L"Button", kButtonAtom, L"Execute after installation", 9, 144,
     216, 10, kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {IDC_SHOW_LICENSE, L"Button", kButtonAtom, L"Show License", 7, 201, 54, 13,
     kShown | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_LICENSE_AGREE, L"Button", kButtonAtom,
     L"I have read and fully agree to the license agreement.", 7, 219, 216, 10,
     kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {IDOK, L"Button", kButtonAtom, L"Install", 3, 240, 50, 14,
     kShown | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0},
    {IDCANCEL, L"Button", kButtonAtom, L"Exit", 401, 240, 50, 14,
     kShown | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_BANNER_LINE, L"Static", kStaticAtom, L"", 0, 49, 459, 1, kShown | SS_BLACKRECT, 0},
    {IDC_STATIC, L"Static", kStaticAtom,
     L"Use and distribution of this program is subject to the accompanying licence. Make sure "
     L"you have read and agree to the license agreement before using this program.",
     7, 179, 344, 17, kShown | SS_LEFT | WS_GROUP, 0},
    {IDC_STATIC, L"Button", kButtonAtom, L" License Agreement ", 4, 166, 445, 68,
     kShown | BS_GROUPBOX, 0},
    {IDC_STATIC, L"Button", kButtonAtom, L" Installation options ", 4, 60, 445, 99,
     kShown | BS_GROUPBOX, 0},
    {IDC_FOLDER_LABEL, L"Static", kStaticAtom, L"Folder:", 9, 89, 23, 8,
     kShown | SS_LEFT | WS_GROUP, 0},
    {IDC_RUN_ONCE_TEXT, L"Static", kStaticAtom,
     L"Install and execute the application once and automatically uninstall it after use. No "
     L"registry changes and the like are made.",
     9, 89, 424, 18, kHidden | SS_LEFT | WS_GROUP, 0},
    {IDC_OPTIONS_PROMPT, L"Static", kStaticAtom,
     L"Select the folder and other installation options:", 9, 74, 151, 8,
     kHidden | SS_LEFT | WS_GROUP, 0},
    {IDC_ADVICE_TEXT, L"Static", kStaticAtom,
     L"It is recommended to close running instances of the application (including older "
     L"versions) and to uninstall previous versions before continuing.",
     35, 26, 262, 19, kShown | SS_LEFT | WS_GROUP, 0},
};
constexpr size_t kControlCount = sizeof(kControls) / sizeof(kControls[0]);

// Reads a DLGTEMPLATEEX: little-endian words, strings and ordinals, DWORD-aligned items.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : start_(data), p_(data), end_(data + size) {}
  bool overrun() const { return overrun_; }
  WORD Word() { return (WORD)Take(2); }
  DWORD Dword() { return Take(4); }
  BYTE Byte() { return (BYTE)Take(1); }
  // A string, or "#<ordinal>" for the 0xFFFF form.
  std::wstring StringOrOrdinal() {
    WORD first = Word();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring text;
    for (WORD unit = first; unit != 0 && !overrun_; unit = Word()) text += (wchar_t)unit;
    return text;
  }
  void AlignToDword() {
    while ((p_ - start_) % 4 != 0 && p_ < end_) ++p_;
  }
  void Skip(size_t count) {
    if ((size_t)(end_ - p_) < count) overrun_ = true;
    else p_ += count;
  }

 private:
  DWORD Take(int count) {
    if (end_ - p_ < count) {
      overrun_ = true;
      return 0;
    }
    DWORD value = 0;
    for (int i = 0; i < count; ++i) value |= (DWORD)p_[i] << (8 * i);
    p_ += count;
    return value;
  }
  const BYTE* start_;
  const BYTE* p_;
  const BYTE* end_;
  bool overrun_ = false;
};

TEST(SetupTemplate, StoredTemplateMatchesTheControlTable) {
  HMODULE stub = LoadLibraryExW((BinDir() + L"setup-stub.exe").c_str(), NULL,
                                LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(stub, (HMODULE)NULL);
  HRSRC info = FindResourceExW(stub, (LPCWSTR)RT_DIALOG, MAKEINTRESOURCEW(IDD_SETUP),
                               MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
  ASSERT_NE(info, (HRSRC)NULL) << "no dialog 101 in English (United Kingdom)";
  const BYTE* data = (const BYTE*)LockResource(LoadResource(stub, info));
  TemplateReader t(data, SizeofResource(stub, info));

  EXPECT_EQ(t.Word(), 1);       // dlgVer
  EXPECT_EQ(t.Word(), 0xFFFF);  // signature: an extended template
  EXPECT_EQ(t.Dword(), 0u);     // help identifier
  EXPECT_EQ(t.Dword(), 0u);     // extended style
  EXPECT_EQ(t.Dword(), kDialogStyle);
  EXPECT_EQ(t.Word(), kControlCount);
  EXPECT_EQ((short)t.Word(), 0);
  EXPECT_EQ((short)t.Word(), 0);
  EXPECT_EQ((short)t.Word(), kDialogWidth);
  EXPECT_EQ((short)t.Word(), kDialogHeight);
  EXPECT_EQ(t.StringOrOrdinal(), L"");  // no menu
  EXPECT_EQ(t.StringOrOrdinal(), L"");  // no window class
  EXPECT_EQ(t.StringOrOrdinal(), L"#N #V Installer");
  EXPECT_EQ(t.Word(), kFontPoints);
  EXPECT_EQ(t.Word(), FW_NORMAL);
  EXPECT_EQ(t.Byte(), 0);  // not italic
  EXPECT_EQ(t.Byte(), DEFAULT_CHARSET);
  EXPECT_EQ(t.StringOrOrdinal(), kFontName);

  for (const ExpectedControl& want : kControls) {
    SCOPED_TRACE(Utf8(want.text));
    t.AlignToDword();
    EXPECT_EQ(t.Dword(), 0u);  // help identifier
    EXPECT_EQ(t.Dword(), want.ex_style);
    EXPECT_EQ(t.Dword(), want.style);
    EXPECT_EQ((short)t.Word(), want.x);
    EXPECT_EQ((short)t.Word(), want.y);
    EXPECT_EQ((short)t.Word(), want.cx);
    EXPECT_EQ((short)t.Word(), want.cy);
    EXPECT_EQ((int)t.Dword(), want.id);
    std::wstring class_name = t.StringOrOrdinal();
    // The resource compiler may store a predefined class by name or by its ordinal.
    if (class_name[0] == L'#') {
      EXPECT_EQ(class_name, L"#" + std::to_wstring(want.class_atom));
    } else {
      EXPECT_EQ(lstrcmpiW(class_name.c_str(), want.class_name), 0) << Utf8(class_name);
    }
    EXPECT_EQ(t.StringOrOrdinal(), want.text);
    t.Skip(t.Word());  // creation data
    ASSERT_FALSE(t.overrun());
  }
  FreeLibrary(stub);
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  std::vector<std::wstring>* names = (std::vector<std::wstring>*)param;
  names->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring((ULONG_PTR)name) : name);
  return TRUE;
}

// Icon group 102 is the executable's only one: one 32 x 32 image with 16 colours. The
// manifest asks for administrator rights.
TEST(SetupTemplate, OnlyIconGroupIs102WithOne32By32SixteenColourImage) {
  HMODULE stub = LoadLibraryExW((BinDir() + L"setup-stub.exe").c_str(), NULL,
                                LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(stub, (HMODULE)NULL);
  std::vector<std::wstring> groups;
  EnumResourceNamesW(stub, (LPCWSTR)RT_GROUP_ICON, CollectName, (LONG_PTR)&groups);
  EXPECT_EQ(groups, std::vector<std::wstring>{L"#102"});
  HRSRC info = FindResourceW(stub, MAKEINTRESOURCEW(IDI_SETUP), (LPCWSTR)RT_GROUP_ICON);
  ASSERT_NE(info, (HRSRC)NULL);
  const BYTE* group = (const BYTE*)LockResource(LoadResource(stub, info));
  ASSERT_EQ(SizeofResource(stub, info), 6u + 14u);  // header and one entry
  EXPECT_EQ(group[4] | group[5] << 8, 1);          // one image
  EXPECT_EQ(group[6], 32);                           // width
  EXPECT_EQ(group[7], 32);                           // height
  EXPECT_EQ(group[8], 16);                           // colours
  EXPECT_EQ(group[12] | group[13] << 8, 4);         // bits per pixel

  HRSRC manifest = FindResourceW(stub, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, (HRSRC)NULL);
  std::string text((const char*)LockResource(LoadResource(stub, manifest)),
                   SizeofResource(stub, manifest));
  EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos) << text;
  FreeLibrary(stub);
}

// A dialog of the test's own with the table's font: MapDialogRect on it converts the
// table's dialog units into the pixels the setup dialog must have on this display. The
// setup dialog's own MapDialogRect cannot be called from another process.
INT_PTR CALLBACK IgnoreEverything(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class ReferenceDialog {
 public:
  ReferenceDialog() {
    // DLGTEMPLATEEX without controls: header, no menu, no class, empty title, font.
    std::vector<WORD> words = {1, 0xFFFF, 0, 0, 0, 0, LOWORD(WS_POPUP | DS_SETFONT | DS_FIXEDSYS),
                               HIWORD(WS_POPUP | DS_SETFONT | DS_FIXEDSYS), 0, 0, 0,
                               (WORD)kDialogWidth, (WORD)kDialogHeight, 0, 0, 0, kFontPoints,
                               FW_NORMAL, (WORD)(DEFAULT_CHARSET << 8)};
    for (const wchar_t* c = kFontName; *c; ++c) words.push_back(*c);
    words.push_back(0);
    dialog_ = CreateDialogIndirectParamW(GetModuleHandleW(NULL), (LPCDLGTEMPLATEW)words.data(),
                                         NULL, IgnoreEverything, 0);
  }
  ~ReferenceDialog() { DestroyWindow(dialog_); }
  bool ok() const { return dialog_ != NULL; }
  // Pixels of a dialog-unit position or size.
  POINT Pixels(short x, short y) const {
    RECT r = {0, 0, x, y};
    MapDialogRect(dialog_, &r);
    return {r.right, r.bottom};
  }

 private:
  HWND dialog_ = NULL;
};

bool HasStyle(HWND window, DWORD style) {
  return (GetWindowLongW(window, GWL_STYLE) & style) == style;
}

TEST(SetupDialogLayout, RunningDialogMatchesTheControlTable) {
  ReferenceDialog reference;
  ASSERT_TRUE(reference.ok());
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Dlg Layout");
  contents.allow_run_once = 1;  // the template's own initial visibility
  SetupSession setup(scratch / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  HWND dialog = setup.dialog();

  // The dialog: 460 x 260 units of client area, centred, fixed frame with a close box.
  RECT client;
  GetClientRect(dialog, &client);
  POINT size = reference.Pixels(kDialogWidth, kDialogHeight);
  EXPECT_EQ(client.right, size.x);
  EXPECT_EQ(client.bottom, size.y);
  DWORD style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_TRUE(HasStyle(dialog, WS_POPUP | WS_CAPTION | WS_SYSMENU)) << std::hex << style;
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u) << std::hex << style;
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  RECT frame, work;
  GetWindowRect(dialog, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1);

  // The controls, in creation (Z) order.
  HWND control = GetWindow(dialog, GW_CHILD);
  for (const ExpectedControl& want : kControls) {
    SCOPED_TRACE(Utf8(want.text));
    ASSERT_NE(control, (HWND)NULL);
    EXPECT_EQ(GetDlgCtrlID(control), want.id);
    wchar_t class_name[64];
    GetClassNameW(control, class_name, 64);
    EXPECT_EQ(lstrcmpiW(class_name, want.class_name), 0) << Utf8(class_name);
    // The welcome line and the folder field hold expanded texts (checked elsewhere).
    if (want.id != IDC_WELCOME_TEXT && want.id != IDC_FOLDER_EDIT) {
      EXPECT_EQ(WindowText(control), want.text);
    }

    // Type bits, the window flags of the table, and nothing of them that the table lacks.
    DWORD actual = GetWindowLongW(control, GWL_STYLE);
    DWORD ex_actual = GetWindowLongW(control, GWL_EXSTYLE);
    DWORD checked =
        WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_GROUP | WS_TABSTOP | WS_BORDER | 0xFFFF;
    DWORD expected = want.style;
    // A radio button carries the group's tab stop while it is checked (the button control
    // moves WS_TABSTOP to the checked radio itself).
    if ((want.style & 0xF) == BS_AUTORADIOBUTTON && want.class_atom == kButtonAtom &&
        SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      expected |= WS_TABSTOP;
    }
    // A dialog manager may draw an edit control's WS_BORDER as WS_EX_CLIENTEDGE instead.
    if (want.class_atom == kEditAtom && !(actual & WS_BORDER) && (ex_actual & WS_EX_CLIENTEDGE)) {
      expected &= ~WS_BORDER;
    }
    EXPECT_EQ(actual & checked, expected & checked) << std::hex << actual;
    EXPECT_EQ(ex_actual & WS_EX_TRANSPARENT, want.ex_style & WS_EX_TRANSPARENT);

    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(NULL, dialog, (POINT*)&r, 2);
    POINT position = reference.Pixels(want.x, want.y);
    POINT extent = reference.Pixels(want.cx, want.cy);
    EXPECT_EQ(r.left, position.x);
    EXPECT_EQ(r.top, position.y);
    EXPECT_EQ(r.right - r.left, extent.x);
    EXPECT_EQ(r.bottom - r.top, extent.y);
    control = GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, (HWND)NULL) << "more controls than the table lists";
  EXPECT_EQ(setup.PressExit(), 0u);
}

TEST(SetupDialogLayout, BannerIsWhiteDownToTheLineAndShowsTheIcon) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Banner"));
  ASSERT_TRUE(setup.ok());
  HWND dialog = setup.dialog();
  RECT line;
  GetWindowRect(GetDlgItem(dialog, IDC_BANNER_LINE), &line);
  MapWindowPoints(NULL, dialog, (POINT*)&line, 2);
  RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  DWORD_PTR ignored;
  SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);  // painted by now

  HDC screen = GetDC(NULL);
  auto pixel = [&](int x, int y) {
    POINT p = {x, y};
    ClientToScreen(dialog, &p);
    return GetPixel(screen, p.x, p.y) & 0xFFFFFF;
  };
  const COLORREF white = RGB(255, 255, 255);
  // Banner background: right of the texts, and just above the line.
  EXPECT_EQ(pixel(line.right - 3, 2), white);
  EXPECT_EQ(pixel(line.right - 3, line.top - 1), white);
  // The line is an SS_BLACKRECT: Windows fills it with the window-frame colour, Wine with
  // the dark 3-D shadow colour. Below it lies the dialog's own face colour.
  COLORREF line_colour = pixel(line.right / 2, line.top);
  EXPECT_TRUE(line_colour == (GetSysColor(COLOR_WINDOWFRAME) & 0xFFFFFF) ||
              line_colour == (GetSysColor(COLOR_3DDKSHADOW) & 0xFFFFFF))
      << std::hex << line_colour;
  EXPECT_NE(pixel(line.right - 3, line.bottom + 2), white);
  // The icon at (4, 8): the arrow's black outline at its top, left of the green shaft.
  EXPECT_EQ(pixel(4 + 13, 8 + 0), RGB(0, 0, 0));
  EXPECT_EQ(pixel(4 + 15, 8 + 2), RGB(0, 255, 0));
  // Transparent icon pixels show the banner.
  EXPECT_EQ(pixel(4 + 0, 8 + 0), white);
  ReleaseDC(NULL, screen);
  EXPECT_EQ(setup.PressExit(), 0u);
}

}  // namespace
