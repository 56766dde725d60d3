// gui_probe.exe: the Wine GUI test's hand on the Windows side, run under
// Wine beside talverine.exe. One action a run, its result on stdout:
//
//   gui_probe wait CLASS            the window's handle, once it is there
//   gui_probe client CLASS W H      sizes the window's client area to W x H;
//                                   prints "client X Y W H" (its screen
//                                   position and size)
//   gui_probe click CLASS TEXT      clicks the window's button labelled TEXT
//   gui_probe menu CLASS KEY KEY    opens the menu with the first key (as
//                                   Alt+KEY does) and chooses the item with
//                                   the second
//   gui_probe press CLASS X Y       a left click at client point X, Y
//   gui_probe dialog TITLE          waits for the dialog of that title and
//                                   prints its controls: "id checked
//                                   selection", a line each
//   gui_probe cancel TITLE          clicks the dialog's Cancel button
//   gui_probe close CLASS           asks the window to close
//
// Waits are bounded by a minute; a failure exits with 1 and says why.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kPatienceMs = 60000;

std::wstring Wide(const char* s) {
  std::wstring w;
  for (; *s; ++s) w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
  return w;
}

HWND WaitForWindow(const char* cls) {
  const std::wstring name = Wide(cls);
  for (DWORD start = GetTickCount(); GetTickCount() - start < kPatienceMs; Sleep(100))
    if (HWND w = FindWindowW(name.c_str(), nullptr); w && IsWindowVisible(w)) return w;
  std::fprintf(stderr, "gui_probe: no window of class %s within %lu ms\n", cls, kPatienceMs);
  std::exit(1);
}

int Client(HWND w, int width, int height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(w, GWL_STYLE)), GetMenu(w) != nullptr,
                     static_cast<DWORD>(GetWindowLongPtrW(w, GWL_EXSTYLE)));
  SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
  RECT client{};
  for (DWORD start = GetTickCount(); GetTickCount() - start < kPatienceMs; Sleep(100)) {
    GetClientRect(w, &client);
    if (client.right == width && client.bottom == height) break;
  }
  POINT origin{0, 0};
  ClientToScreen(w, &origin);
  std::printf("client %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
  return client.right == width && client.bottom == height ? 0 : 1;
}

int Click(HWND w, const char* text) {
  HWND button = FindWindowExW(w, nullptr, L"Button", Wide(text).c_str());
  if (button == nullptr) {
    std::fprintf(stderr, "gui_probe: no button \"%s\"\n", text);
    return 1;
  }
  SendMessageW(button, BM_CLICK, 0, 0);
  return 0;
}

int Press(HWND w, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(w, WM_LBUTTONUP, 0, at);
  return 0;
}

HWND WaitForDialog(const char* title) {
  const std::wstring name = Wide(title);
  for (DWORD start = GetTickCount(); GetTickCount() - start < kPatienceMs; Sleep(100))
    if (HWND d = FindWindowW(L"#32770", name.c_str()); d && IsWindowVisible(d)) return d;
  std::fprintf(stderr, "gui_probe: no dialog \"%s\" within %lu ms\n", title, kPatienceMs);
  std::exit(1);
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  wchar_t cls[32] = {};
  GetClassNameW(control, cls, 32);
  const int id = GetDlgCtrlID(control);
  const LRESULT checked = SendMessageW(control, BM_GETCHECK, 0, 0);
  const LRESULT selection = lstrcmpiW(cls, L"ComboBox") == 0 ? SendMessageW(control, CB_GETCURSEL, 0, 0) : -1;
  std::printf("%d %d %d\n", id, lstrcmpiW(cls, L"Button") == 0 && checked == BST_CHECKED ? 1 : 0,
              static_cast<int>(selection));
  return TRUE;
}

int Menu(HWND w, char popup, char item) {
  PostMessageW(w, WM_SYSCOMMAND, SC_KEYMENU, popup);
  // Once the popup is open, its loop takes the item's key from the queue.
  for (DWORD start = GetTickCount(); GetTickCount() - start < kPatienceMs; Sleep(100)) {
    HWND open = FindWindowW(L"#32768", nullptr);
    if (open == nullptr || !IsWindowVisible(open)) continue;
    const WPARAM upper = static_cast<WPARAM>(item >= 'a' && item <= 'z' ? item - 'a' + 'A' : item);
    PostMessageW(w, WM_KEYDOWN, upper, 1);
    PostMessageW(w, WM_CHAR, static_cast<WPARAM>(item), 1);
    return 0;
  }
  std::fprintf(stderr, "gui_probe: the menu did not open within %lu ms\n", kPatienceMs);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gui_probe wait|client|click|menu|press|dialog|close CLASS ...\n");
    return 2;
  }
  const std::string action = argv[1];
  if (action == "dialog") {
    EnumChildWindows(WaitForDialog(argv[2]), PrintControl, 0);
    return 0;
  }
  if (action == "cancel") {
    SendMessageW(GetDlgItem(WaitForDialog(argv[2]), IDCANCEL), BM_CLICK, 0, 0);
    return 0;
  }
  HWND w = WaitForWindow(argv[2]);
  if (action == "wait") {
    std::printf("%p\n", static_cast<void*>(w));
    return 0;
  }
  if (action == "client" && argc == 5) return Client(w, std::atoi(argv[3]), std::atoi(argv[4]));
  if (action == "click" && argc == 4) return Click(w, argv[3]);
  if (action == "menu" && argc == 5) return Menu(w, argv[3][0], argv[4][0]);
  if (action == "press" && argc == 5) return Press(w, std::atoi(argv[3]), std::atoi(argv[4]));
  if (action == "close") return PostMessageW(w, WM_CLOSE, 0, 0) ? 0 : 1;
  std::fprintf(stderr, "gui_probe: unknown action %s\n", argv[1]);
  return 2;
}
