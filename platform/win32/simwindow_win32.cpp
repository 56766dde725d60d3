#include "platform/win32/simwindow_win32.h"

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win32/text_win32.h"

namespace w32ui {
namespace {

const wchar_t kClass[] = L"TalverineKilnboxSimulator";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 250;
enum Control { kDisplay = 100, kSocket, kType, kInsertFile, kInsertBlank, kErase, kRemove };
const COLORREF kLcdBackground = RGB(0x9B, 0xBC, 0x5A);
const COLORREF kLcdText = RGB(0x1D, 0x2B, 0x0C);

struct Window {
  SimulatorView view;
  HFONT lcdFont = nullptr;
  HFONT uiFont = nullptr;
  HBRUSH lcdBrush = CreateSolidBrush(kLcdBackground);
  ~Window() {
    DeleteObject(lcdBrush);
    if (lcdFont) DeleteObject(lcdFont);
  }
};

std::unique_ptr<Window> g_window;

void SetText(HWND parent, int id, const std::string& text) {
  std::wstring wide;
  for (char c : text) {
    if (c == '\n') wide += L'\r';
    wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  HWND item = GetDlgItem(parent, id);
  std::vector<wchar_t> old(static_cast<size_t>(GetWindowTextLengthW(item)) + 1);
  GetWindowTextW(item, old.data(), static_cast<int>(old.size()));
  if (wide != old.data()) SetWindowTextW(item, wide.c_str());
}

void Refresh(HWND hWnd) {
  const SimulatorView& v = g_window->view;
  SetText(hWnd, kDisplay, v.display());
  SetText(hWnd, kSocket, v.socket());
  const bool present = v.socketPresent();
  EnableWindow(GetDlgItem(hWnd, kErase), present);
  EnableWindow(GetDlgItem(hWnd, kRemove), present);
}

int SelectedType(HWND hWnd) {
  const LRESULT selected = SendDlgItemMessageW(hWnd, kType, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? g_window->view.defaultType : static_cast<int>(selected);
}

void InsertFromFile(HWND hWnd) {
  wchar_t file[32768] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hWnd;
  ofn.lpstrFilter = L"EPROM images (*.bin;*.rom)\0*.bin;*.rom\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = 32768;
  ofn.lpstrTitle = L"Insert EPROM from Image File";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return;
  const std::string error = g_window->view.insertFile(SelectedType(hWnd), w32::Utf8(file, wcslen(file)));
  if (!error.empty()) MessageBoxW(hWnd, w32::Wide(error).c_str(), L"Kilnbox Simulator", MB_OK | MB_ICONWARNING);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int w, int h,
           HFONT font) {
  HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

void Build(HWND hWnd) {
  Window& w = *g_window;
  w.uiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  w.lcdFont = CreateFontW(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
  Child(hWnd, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kDisplay, 10, 10, 230, 52, w.lcdFont);
  Child(hWnd, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kSocket, 10, 70, 380, 34, w.uiFont);
  Child(hWnd, L"STATIC", L"EPROM type:", SS_LEFT, 0, 10, 115, 70, 20, w.uiFont);
  HWND types = Child(hWnd, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kType, 80, 112, 110, 200,
                     w.uiFont);
  for (const std::string& name : w.view.typeNames)
    SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w32::Wide(name).c_str()));
  SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(w.view.defaultType), 0);
  Child(hWnd, L"BUTTON", L"Insert from File...", BS_PUSHBUTTON | WS_TABSTOP, kInsertFile, 200, 110, 110, 24, w.uiFont);
  Child(hWnd, L"BUTTON", L"Insert Blank", BS_PUSHBUTTON | WS_TABSTOP, kInsertBlank, 316, 110, 80, 24, w.uiFont);
  Child(hWnd, L"BUTTON", L"Erase", BS_PUSHBUTTON | WS_TABSTOP, kErase, 200, 140, 110, 24, w.uiFont);
  Child(hWnd, L"BUTTON", L"Remove", BS_PUSHBUTTON | WS_TABSTOP, kRemove, 316, 140, 80, 24, w.uiFont);
  Refresh(hWnd);
  SetTimer(hWnd, kRefreshTimer, kRefreshMs, nullptr);
}

void OnCommand(HWND hWnd, int id) {
  const SimulatorView& v = g_window->view;
  switch (id) {
    case kInsertFile: InsertFromFile(hWnd); break;
    case kInsertBlank: v.insertBlank(SelectedType(hWnd)); break;
    case kErase: v.erase(); break;
    case kRemove: v.remove(); break;
    default: return;
  }
  Refresh(hWnd);
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

void ShowSimulatorWindow(Handle owner, SimulatorView view) {
  if (g_window) return;
  g_window = std::make_unique<Window>();
  g_window->view = std::move(view);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT r{0, 0, 406, 174};
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_TOOLWINDOW);
  // Beside the main window, where it hides nothing of it, as far as the
  // screen allows.
  RECT main{};
  GetWindowRect(static_cast<HWND>(owner), &main);
  RECT work{0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = r.right - r.left;
  const int x = std::max<LONG>(work.left, std::min<LONG>(main.right + 8, work.right - width));
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"Kilnbox Simulator", style, x, main.top, width,
                                r.bottom - r.top, static_cast<HWND>(owner), nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
}

}  // namespace w32ui
