// Beta, the sample product of samples/cmake: one empty main window of class "BetaWnd",
// which setup and uninstall look for while it runs. It ends when the window is closed.
#include <windows.h>

namespace {

const wchar_t kWindowClass[] = L"BetaWnd";

LRESULT CALLBACK BetaWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = BetaWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassW(&window_class)) return 1;
  HWND window = CreateWindowW(kWindowClass, L"Beta", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 400, 300, NULL, NULL, instance, NULL);
  if (window == NULL) return 1;
  ShowWindow(window, show);
  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
