#include "platform/win32/simwindow_win32.h"

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/win32/dpi_win32.h"
#include "platform/win32/text_win32.h"

namespace w32 {
namespace {

const wchar_t kClass[] = L"TalverineKilnboxSimulator";
constexpr UINT_PTR kRefreshTimer = 1;
// Control ids: the display, the socket, the type list, then the buttons in
// the view's order.
enum Control { kDisplay = 100, kSocket, kType, kFirstButton };
const COLORREF kLcdBackground = RGB(0x9B, 0xBC, 0x5A);
const COLORREF kLcdText = RGB(0x1D, 0x2B, 0x0C);
// Where the view's rows and columns of buttons stand.
constexpr int kButtonX[] = {200, 316};
constexpr int kButtonWidth[] = {110, 80};
constexpr int kButtonTop = 110;
constexpr int kButtonPitch = 30;
constexpr int kButtonHeight = 24;

struct Window {
  explicit Window(simview::SimulatorView v) : view(std::move(v)) {}
  simview::SimulatorView view;
  UINT dpi = 96;  // its layout is in 96-dpi pixels, scaled to this
  HFONT lcdFont = nullptr;
  HFONT uiFont = nullptr;
  HBRUSH lcdBrush = CreateSolidBrush(kLcdBackground);
  ~Window() {
    DeleteObject(lcdBrush);
    if (lcdFont) DeleteObject(lcdFont);
    if (uiFont && uiFont != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(uiFont);
  }
};

std::unique_ptr<Window> g_window;

std::wstring WindowsText(const std::string& text) {
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return w32::Wide(lines);
}

void SetText(HWND parent, int id, const std::string& text) {
  const std::wstring wide = WindowsText(text);
  HWND item = GetDlgItem(parent, id);
  std::vector<wchar_t> old(static_cast<size_t>(GetWindowTextLengthW(item)) + 1);
  GetWindowTextW(item, old.data(), static_cast<int>(old.size()));
  if (wide != old.data()) SetWindowTextW(item, wide.c_str());
}

void Refresh(HWND hWnd) {
  const simview::State state = g_window->view.Read();
  SetText(hWnd, kDisplay, state.display);
  SetText(hWnd, kSocket, state.socket);
  for (size_t i = 0; i < std::size(simview::kButtons); ++i)
    EnableWindow(GetDlgItem(hWnd, kFirstButton + static_cast<int>(i)), state.Enabled(simview::kButtons[i]));
}

int SelectedType(HWND hWnd) {
  const LRESULT selected = SendDlgItemMessageW(hWnd, kType, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? simview::DefaultType() : static_cast<int>(selected);
}

// "EPROM images (*.bin;*.rom)", its patterns, "All files (*.*)", "*.*",
// each ended by a NUL.
std::wstring ImageFileFilter() {
  std::string patterns;
  for (const char* extension : simview::kImageExtensions)
    patterns += (patterns.empty() ? "*." : ";*.") + std::string(extension);
  std::wstring filter = w32::Wide(std::string(simview::kImageFilesName) + " (" + patterns + ")|" + patterns + "|" +
                                  simview::kAllFilesName + " (*.*)|*.*|");
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  return filter;
}

// The image file the user picks; "" when none.
std::string AskForImageFile(HWND hWnd) {
  wchar_t file[32768] = {};
  const std::wstring filter = ImageFileFilter();
  const std::wstring title = w32::Wide(simview::kFileDialogTitle);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hWnd;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = 32768;
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
  return GetOpenFileNameW(&ofn) ? w32::Utf8(file, wcslen(file)) : std::string();
}

void Press(HWND hWnd, const simview::Button& button) {
  std::string path;
  if (button.asksForFile) {
    path = AskForImageFile(hWnd);
    if (path.empty()) return;
  }
  const std::string error = g_window->view.Do(button.action, SelectedType(hWnd), path);
  if (!error.empty())
    MessageBoxW(hWnd, w32::Wide(error).c_str(), w32::Wide(simview::kTitle).c_str(), MB_OK | MB_ICONWARNING);
  Refresh(hWnd);
}

HWND Child(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id, int x, int y, int w, int h,
           HFONT font) {
  const UINT dpi = g_window->dpi;
  HWND child = CreateWindowExW(0, cls, w32::Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, w32::ToScreen(x, dpi),
                               w32::ToScreen(y, dpi), w32::ToScreen(w, dpi), w32::ToScreen(h, dpi), parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// Windows' dialog font, made for the desktop's scale, at `dpi`.
HFONT UiFont(UINT dpi) {
  HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW font{};
  if (dpi == w32::SystemDpi() || GetObjectW(stock, sizeof font, &font) == 0) return stock;
  HFONT scaled = w32::CreateFontForDpi(font, dpi);
  return scaled ? scaled : stock;
}

void Build(HWND hWnd) {
  Window& w = *g_window;
  w.uiFont = UiFont(w.dpi);
  w.lcdFont = CreateFontW(w32::ToScreen(-20, w.dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
  Child(hWnd, L"STATIC", "", SS_LEFT | SS_NOPREFIX, kDisplay, 10, 10, 230, 52, w.lcdFont);
  Child(hWnd, L"STATIC", "", SS_LEFT | SS_NOPREFIX, kSocket, 10, 70, 380, 34, w.uiFont);
  Child(hWnd, L"STATIC", simview::kTypeListLabel, SS_LEFT, 0, 10, 115, 70, 20, w.uiFont);
  HWND types = Child(hWnd, L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kType, 80, 112, 110, 200,
                     w.uiFont);
  for (const std::string& name : simview::TypeNames())
    SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w32::Wide(name).c_str()));
  SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(simview::DefaultType()), 0);
  for (size_t i = 0; i < std::size(simview::kButtons); ++i) {
    const simview::Button& b = simview::kButtons[i];
    Child(hWnd, L"BUTTON", b.label, BS_PUSHBUTTON | WS_TABSTOP, kFirstButton + static_cast<int>(i),
          kButtonX[b.column], kButtonTop + b.row * kButtonPitch, kButtonWidth[b.column], kButtonHeight, w.uiFont);
  }
  Refresh(hWnd);
  SetTimer(hWnd, kRefreshTimer, simview::kRefreshMs, nullptr);
}

void OnCommand(HWND hWnd, int id) {
  const int button = id - kFirstButton;
  if (button >= 0 && button < static_cast<int>(std::size(simview::kButtons))) Press(hWnd, simview::kButtons[button]);
}

LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: Build(hWnd); return 0;
    case WM_TIMER: Refresh(hWnd); return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) OnCommand(hWnd, LOWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hWnd, kDisplay)) {
        SetBkColor(reinterpret_cast<HDC>(wParam), kLcdBackground);
        SetTextColor(reinterpret_cast<HDC>(wParam), kLcdText);
        return reinterpret_cast<LRESULT>(g_window->lcdBrush);
      }
      break;
    case WM_CLOSE: ShowWindow(hWnd, SW_HIDE); return 0;  // it stays with the program
    default: break;
  }
  return DefWindowProcW(hWnd, msg, wParam, lParam);
}

}  // namespace

void ShowSimulatorWindow(void* owner, simview::SimulatorView view) {
  if (g_window) return;
  g_window = std::make_unique<Window>(std::move(view));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  g_window->dpi = w32::WindowDpi(static_cast<HWND>(owner));
  RECT r{0, 0, w32::ToScreen(406, g_window->dpi), w32::ToScreen(174, g_window->dpi)};
  w32::AdjustWindowRectForDpi(&r, style, false, WS_EX_TOOLWINDOW, g_window->dpi);
  // Beside the main window, where it hides nothing of it, as far as the
  // screen allows.
  RECT main{};
  GetWindowRect(static_cast<HWND>(owner), &main);
  RECT work{0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = r.right - r.left;
  const int x = std::max<LONG>(work.left, std::min<LONG>(main.right + 8, work.right - width));
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, w32::Wide(simview::kTitle).c_str(), style, x, main.top,
                                width, r.bottom - r.top, static_cast<HWND>(owner), nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
}

}  // namespace w32
