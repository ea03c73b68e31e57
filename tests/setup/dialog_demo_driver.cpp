// Plays the user for `make demo` when there is nobody at a display: starts the sample
// product's setup program, ticks the agreement, saves a picture of the dialog, installs,
// answers the success box and reports what was installed where. It links only the part of
// the test harness without GoogleTest, so the demo builds no test.
//
//   dialog_demo_driver.exe --install SETUP.exe PICTURE.bmp   drive one Normal install
//   dialog_demo_driver.exe --picture SETUP.exe PICTURE.bmp   only save the dialog's picture
//                                                            (ticked as above), then Exit
//   dialog_demo_driver.exe --report                          only report the installation
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "setup/resource.h"
#include "harness/process.h"
#include "harness/registry.h"
#include "harness/shell.h"
#include "harness/text.h"
#include "harness/timeouts.h"
#include "harness/window_driving.h"

namespace {

const wchar_t kCaption[] = L"Alpha 1.0 Installer";
const std::wstring kUninstallKey = UninstallKey(L"Alpha", L"1.0");
const wchar_t kProgramWindowClass[] = L"AlphaWnd";
constexpr DWORD kTimeoutMs = kRunTimeoutMs;

void Say(const std::wstring& text) {
  printf("%s\n", Utf8(text).c_str());
  fflush(stdout);
}

// Writes the screen pixels under `window` as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path) {
  RECT r;
  GetWindowRect(window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  DWORD row = ((DWORD)width * 3 + 3) & ~3u;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
  file.bfSize = file.bfOffBits + row * height;
  std::vector<unsigned char> out((unsigned char*)&file, (unsigned char*)&file + sizeof(file));
  out.insert(out.end(), (unsigned char*)&info.bmiHeader,
             (unsigned char*)&info.bmiHeader + sizeof(info.bmiHeader));
  out.insert(out.end(), (unsigned char*)bits, (unsigned char*)bits + row * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  HANDLE picture = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (picture == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(picture, out.data(), (DWORD)out.size(), &written, NULL);
  CloseHandle(picture);
  return ok && written == out.size();
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ListFolder(const std::wstring& folder, const std::wstring& indent) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Say(indent + name + L"\\");
      ListFolder(folder + L"\\" + name, indent + L"  ");
    } else {
      Say(indent + name + L"  (" + std::to_wstring(found.nFileSizeLow) + L" bytes)");
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void ReportLinks(const std::wstring& title, const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*.lnk").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring link = folder + L"\\" + found.cFileName;
    Say(L"  " + title + L": " + link + L"\n      -> " + ReadShellLink(link).target);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

int Report() {
  Say(L"Registration (HKLM\\" + kUninstallKey + L"):");
  RegistryString command = ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString");
  if (!command.found) {
    Say(L"  none: Alpha 1.0 is not installed.");
    return 1;
  }
  for (const wchar_t* value : {L"UninstallString", L"DisplayName", L"Publisher", L"URLInfoAbout"}) {
    Say(std::wstring(L"  ") + value + L" = " +
        ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, value).value);
  }
  // The command is quoted: the program's path is its first argument.
  std::vector<std::wstring> arguments = SplitCommandLine(command.value);
  std::wstring program = arguments.empty() ? L"" : arguments[0];
  std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
  Say(L"Installation folder " + folder + L":");
  ListFolder(folder, L"  ");
  Say(L"Shortcuts:");
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Alpha 1.0";
  for (const std::wstring& name : {std::wstring(L"alpha.lnk")}) {
    if (FileExists(desktop + L"\\" + name)) Say(L"  desktop: " + desktop + L"\\" + name);
    if (FileExists(startup + L"\\" + name)) Say(L"  startup: " + startup + L"\\" + name);
  }
  ReportLinks(L"Start menu", group);
  return 0;
}

// Starts the setup program, waits for its dialog, ticks the agreement and saves the dialog's
// picture. NULL (after ending the child) when the dialog does not appear.
HWND OpenDialogAndSavePicture(Child& child, const std::wstring& setup,
                              const std::wstring& picture) {
  child = StartChild(Quoted(setup));
  if (child.process == NULL) return NULL;
  HWND dialog = WaitForWindow(child.pid, L"#32770", kCaption, kTimeoutMs);
  if (dialog == NULL) {
    Say(L"The setup dialog did not appear.");
    FinishChild(child, 1000);
    return NULL;
  }
  Say(L"Setup dialog \"" + WindowText(dialog) + L"\" is open; folder: " +
      WindowText(GetDlgItem(dialog, IDC_FOLDER_EDIT)));
  ClickControl(dialog, IDC_LICENSE_AGREE);
  Say(L"Ticked \"" + WindowText(GetDlgItem(dialog, IDC_LICENSE_AGREE)) + L"\"");
  // Let the dialog finish painting before its picture is taken.
  RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(1000);
  RECT frame;
  GetWindowRect(dialog, &frame);
  if (SaveWindowPicture(dialog, picture)) {
    Say(L"Saved the dialog's picture (" + std::to_wstring(frame.right - frame.left) + L" x " +
        std::to_wstring(frame.bottom - frame.top) + L" pixels).");
  }
  return dialog;
}

// Only the picture: the dialog is closed with Exit, nothing is installed.
int Picture(const std::wstring& setup, const std::wstring& picture) {
  Child child;
  HWND dialog = OpenDialogAndSavePicture(child, setup, picture);
  if (dialog == NULL) return 1;
  PressButton(dialog, IDCANCEL);
  DWORD code = FinishChild(child, kTimeoutMs);
  Say(L"Pressed Exit; the setup program ended with exit code " + std::to_wstring(code) + L".");
  return code == 0 ? 0 : 1;
}

int Install(const std::wstring& setup, const std::wstring& picture) {
  Child child;
  HWND dialog = OpenDialogAndSavePicture(child, setup, picture);
  if (dialog == NULL) return 1;

  Say(L"Pressing Install ...");
  PressButton(dialog, IDOK);
  HWND done = WaitForWindow(child.pid, L"#32770", L"Setup complete", kTimeoutMs);
  if (done == NULL) {
    Say(L"No \"Setup complete\" message appeared.");
    FinishChild(child, 1000);
    return 1;
  }
  Say(L"\"Setup complete\": " + WindowText(GetDlgItem(done, 0xFFFF)));
  PressButton(done, IDOK);
  DWORD code = FinishChild(child, kTimeoutMs);
  Say(L"The setup program ended with exit code " + std::to_wstring(code) + L".");

  HWND alpha = WaitForWindow(0, kProgramWindowClass, NULL, kTimeoutMs);
  Say(alpha != NULL ? L"Alpha is running: its window \"AlphaWnd\" is open."
                    : L"Alpha's window did not appear.");
  int result = Report();
  if (alpha != NULL) {
    PostMessageW(alpha, WM_CLOSE, 0, 0);
    WaitForWindowGone(alpha, kTimeoutMs);
    Say(L"Closed Alpha.");
  }
  return code == 0 ? result : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && lstrcmpW(argv[1], L"--report") == 0) return Report();
  if (argc == 4 && lstrcmpW(argv[1], L"--install") == 0) return Install(argv[2], argv[3]);
  if (argc == 4 && lstrcmpW(argv[1], L"--picture") == 0) return Picture(argv[2], argv[3]);
  Say(L"usage: dialog_demo_driver.exe --install SETUP.exe PICTURE.bmp | "
      L"--picture SETUP.exe PICTURE.bmp | --report");
  return 2;
}
