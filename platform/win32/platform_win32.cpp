// The Win32 window system and the rest of the Win32 back end's seam: the
// main window and its message loop, child controls, message boxes, painting
// with GDI, the common dialogs, dropped files, the shell, sound and the
// single-instance rule; the option dialogs are in dialogs_win32.cpp.
#include "platform/win32/platform_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <objbase.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/os/hand_over.h"
#include "platform/os/os_services.h"
#include "platform/win32/dpi_win32.h"
#include "platform/win32/simulator_win32.h"
#include "platform/win32/system_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/window_win32.h"
#include "resources/app_names.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The seam's flags and answers are Win32's own, so that they pass through
// unchanged.
static_assert(MB_OK == msgbox::kOk && MB_OKCANCEL == msgbox::kOkCancel && MB_YESNO == msgbox::kYesNo &&
              MB_ICONERROR == msgbox::kIconError && MB_ICONQUESTION == msgbox::kIconQuestion &&
              MB_ICONWARNING == msgbox::kIconWarning && MB_ICONINFORMATION == msgbox::kIconInformation &&
              MB_TASKMODAL == msgbox::kTaskModal && MB_TYPEMASK == msgbox::kButtonsMask);
static_assert(MK_LBUTTON == mouse_key::kLeft && MK_RBUTTON == mouse_key::kRight && MK_SHIFT == mouse_key::kShift &&
              MK_CONTROL == mouse_key::kControl && MK_MBUTTON == mouse_key::kMiddle &&
              MK_XBUTTON1 == mouse_key::kX1 && MK_XBUTTON2 == mouse_key::kX2);
static_assert(IDOK == button_id::kOk && IDCANCEL == button_id::kCancel && IDYES == button_id::kYes &&
              IDNO == button_id::kNo);
static_assert(TA_CENTER == text_align::kCenter && OFN_OVERWRITEPROMPT == file_dialog::kOverwritePrompt &&
              OFN_HIDEREADONLY == file_dialog::kHideReadOnly && OFN_PATHMUSTEXIST == file_dialog::kPathMustExist &&
              OFN_FILEMUSTEXIST == file_dialog::kFileMustExist);

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
// Sent by a second start to the running one's wake window: raise yourself.
constexpr UINT kRaiseMessage = WM_APP + 2;
// Posted by the wake window to itself: deliver the files handed over.
constexpr UINT kHandedFilesMessage = WM_APP + 3;
// WM_COPYDATA's tag for a second start's request (platform/os/hand_over.h);
// other data sent to the wake window is not ours and is ignored.
constexpr ULONG_PTR kHandOverTag = 0x54564C48;  // "TVLH"
// A running instance busy in a box still answers from that box's loop; one
// that does not in this time is hung.
constexpr UINT kHandOverTimeoutMs = 2000;
const wchar_t kWakeClass[] = L"TalverineWake";

// The default client size: three quarters of the work area, within bounds a
// 64-sample trace and four EPROM columns fit in.
constexpr int kMinClientW = 640, kMinClientH = 480, kMaxClientW = 1280, kMaxClientH = 960;

// The largest WAV image the program builds: a 44-byte header and 65,536
// samples of 2 bytes.
constexpr uint32_t kMaxWaveImageBytes = 44 + 65536 * 2;

struct State {
  HINSTANCE instance = nullptr;
  HWND wake = nullptr;
  std::function<void()> wakeHandler;
  std::atomic<bool> wakePosted{false};
  HWND main = nullptr;
  WindowEvents nobody;            // told when no main window is the program's
  WindowEvents* events = &nobody; // the program's, for the main window
  UINT dpi = 96;                  // of the main window's monitor
  HFONT controlFont = nullptr;    // for `dpi`
  std::map<HWND, RECT> placed;    // the child controls, in 96-dpi pixels
  std::vector<char> sound;        // the image PlaySound is reading
  // Files later starts handed over, waiting for the main window to take
  // drops.
  os::HandedFiles handedFiles;
};

State& S() {
  static State state;
  return state;
}

HWND H(PlatWindow* window) { return reinterpret_cast<HWND>(window); }
PlatWindow* P(HWND window) { return reinterpret_cast<PlatWindow*>(window); }

std::wstring W(const std::string& s) { return w32::Wide(s); }
std::string Text(const char* s) { return s ? s : ""; }

int ToScreen(int v) { return w32::ToScreen(v, S().dpi); }
int FromScreen(int v) { return w32::FromScreen(v, S().dpi); }

// The bytes of a WAV file image, from its RIFF header; 0 when it is no
// RIFF/WAVE image or claims more than the program ever builds, so that
// nothing beyond it is read.
size_t WaveImageBytes(const void* image) {
  const auto* b = static_cast<const uint8_t*>(image);
  if (std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) return 0;
  const uint32_t riffSize = static_cast<uint32_t>(b[4]) | (static_cast<uint32_t>(b[5]) << 8) |
                            (static_cast<uint32_t>(b[6]) << 16) | (static_cast<uint32_t>(b[7]) << 24);
  if (riffSize < 36 || riffSize > kMaxWaveImageBytes - 8) return 0;
  return riffSize + 8;
}

std::string DroppedFile(HDROP drop, UINT index) {
  const UINT n = DragQueryFileW(drop, index, nullptr, 0);
  if (n == 0) return "";
  std::vector<wchar_t> name(n + 1);
  const UINT got = DragQueryFileW(drop, index, name.data(), n + 1);
  return w32::Utf8(name.data(), got);
}

// Reads Windows' drop, in 96-dpi pixels, and releases it.
DroppedFiles TakeDrop(HDROP handle) {
  DroppedFiles drop;
  const UINT count = DragQueryFileW(handle, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) drop.names.push_back(DroppedFile(handle, i));
  POINT p{};
  drop.inClient = DragQueryPoint(handle, &p) != 0;
  drop.point = {FromScreen(p.x), FromScreen(p.y)};
  ::DragFinish(handle);
  return drop;
}

void KeepStatusBarsAtBottom(HWND window) {
  for (HWND bar = FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr); bar != nullptr;
       bar = FindWindowExW(window, bar, STATUSCLASSNAMEW, nullptr))
    SendMessageW(bar, WM_SIZE, 0, 0);
}

HBRUSH Background(HWND window) { return reinterpret_cast<HBRUSH>(GetClassLongPtrW(window, GCLP_HBRBACKGROUND)); }

void OnDpiChanged(HWND window, UINT dpi, const RECT& suggested);
void Paint(HWND window, WindowEvents& events);

// What the main window hears from Windows, told to the program in 96-dpi
// pixels; everything else takes Windows' own course.
LRESULT ToProgram(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, WindowEvents& events) {
  switch (msg) {
    case WM_CREATE: return events.Created(P(hWnd)) ? 0 : -1;
    case WM_SIZE:
      // The status bars keep to the bottom of the window before the
      // program hears of the new size.
      KeepStatusBarsAtBottom(hWnd);
      events.Resized();
      return 0;
    case WM_PAINT: Paint(hWnd, events); return 0;
    case WM_LBUTTONDOWN:
      events.LeftButtonDown(Point{FromScreen(GET_X_LPARAM(lParam)), FromScreen(GET_Y_LPARAM(lParam))}, wParam);
      return 0;
    case WM_DROPFILES: events.FilesDropped(TakeDrop(reinterpret_cast<HDROP>(wParam))); return 0;
    case WM_COMMAND: events.Command(LOWORD(wParam)); return 0;
    case WM_TIMER: events.Timer(static_cast<uint32_t>(wParam)); return 0;
    case WM_CLOSE: events.CloseRequested(); return 0;
    default: return DefWindowProcW(hWnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK MainProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  State& s = S();
  switch (msg) {
    // The canvas clears what it paints in its buffer: the erase Windows
    // would do first is what makes a window flicker.
    case WM_ERASEBKGND: return 1;
    case WM_NCCREATE:
      s.main = hWnd;
      s.dpi = w32::WindowDpi(hWnd);
      return DefWindowProcW(hWnd, msg, wParam, lParam);
    case WM_NCDESTROY:
      // Nothing reaches the program from a window that is gone.
      if (hWnd == s.main) {
        s.main = nullptr;
        s.events = &s.nobody;
      }
      return DefWindowProcW(hWnd, msg, wParam, lParam);
    case WM_DPICHANGED: OnDpiChanged(hWnd, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
    default: return ToProgram(hWnd, msg, wParam, lParam, *s.events);
  }
}

void RaiseMainAndPopup();

bool TakesDrops(HWND window) {
  return window != nullptr && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
}

void DeliverHandedFiles() {
  State& s = S();
  s.handedFiles.Deliver([&s] { return s.events != &s.nobody && TakesDrops(s.main); },
                        [&s](DroppedFiles& drop) { s.events->FilesDropped(drop); });
}

// A second start's request, inside its SendMessage: copied and checked,
// then acted on from the loop, when the sender has been let go.
LRESULT TakeHandOver(HWND wake, const COPYDATASTRUCT* data) {
  if (data == nullptr || data->dwData != kHandOverTag || data->cbData > os::kMaxHandOverBytes ||
      (data->cbData > 0 && data->lpData == nullptr))
    return FALSE;
  const std::optional<std::vector<std::string>> files =
      os::DecodeHandOver(std::string(static_cast<const char*>(data->lpData), data->cbData));
  if (!files) return FALSE;
  PostMessageW(wake, kRaiseMessage, 0, 0);
  if (!files->empty()) {
    S().handedFiles.Hold(*files);
    PostMessageW(wake, kHandedFilesMessage, 0, 0);
  }
  return TRUE;
}

LRESULT CALLBACK WakeProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kRaiseMessage) {
    RaiseMainAndPopup();
    return 0;
  }
  if (msg == WM_COPYDATA) return TakeHandOver(hWnd, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  if (msg == kHandedFilesMessage) {
    DeliverHandedFiles();
    return 0;
  }
  if (msg != kWakeMessage) return DefWindowProcW(hWnd, msg, wParam, lParam);
  S().wakePosted = false;
  if (S().wakeHandler) S().wakeHandler();
  return 0;
}

// From any thread: runs the wake handler on the GUI thread soon. One
// wake-up in the queue at a time is enough: it takes all there is.
void WakeGuiThread() {
  State& s = S();
  if (s.wake && !s.wakePosted.exchange(true)) PostMessageW(s.wake, kWakeMessage, 0, 0);
}

HFONT ControlFont() {
  State& s = S();
  if (s.controlFont == nullptr) s.controlFont = w32::CreateMessageFont(s.dpi);
  if (s.controlFont == nullptr) s.controlFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  return s.controlFont;
}

// Places a child control given in 96-dpi pixels, and keeps its place for a
// change of scale.
void Place(HWND child, int x, int y, int w, int h, bool repaint) {
  S().placed[child] = RECT{x, y, x + std::max(0, w), y + std::max(0, h)};
  ::MoveWindow(child, ToScreen(x), ToScreen(y), ToScreen(std::max(0, w)), ToScreen(std::max(0, h)), repaint);
}

PlatWindow* MakeChild(const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h,
                      HWND parent, int id) {
  HWND child = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), S().instance, nullptr);
  if (child == nullptr) return nullptr;
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont()), FALSE);
  Place(child, x, y, w, h, false);
  return P(child);
}

// The window moved to a monitor of another scale: the font, the controls
// and the window follow it (Windows suggests the window's new rectangle).
void OnDpiChanged(HWND window, UINT dpi, const RECT& suggested) {
  State& s = S();
  s.dpi = dpi;
  HFONT old = s.controlFont;
  s.controlFont = nullptr;
  for (auto& [child, r] : s.placed) {
    if (!IsWindow(child)) continue;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont()), FALSE);
    ::MoveWindow(child, ToScreen(r.left), ToScreen(r.top), ToScreen(r.right - r.left), ToScreen(r.bottom - r.top),
                 FALSE);
  }
  if (old && old != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(old);
  SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(window, nullptr, TRUE);
}

// Once at start: COM and the common controls, the wake window.
void Initialize() {
  State& s = S();
  if (s.instance != nullptr) return;
  s.instance = GetModuleHandleW(nullptr);
  // The shell hands documents to extensions that need COM on the calling
  // thread, apartment-threaded as a window's thread must be; kept for the
  // life of the process.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW wake{};
  wake.cbSize = sizeof wake;
  wake.lpfnWndProc = WakeProc;
  wake.hInstance = s.instance;
  wake.lpszClassName = kWakeClass;
  RegisterClassExW(&wake);
  s.wake = CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, s.instance, nullptr);
}

SIZE DefaultWindowSize(DWORD style, HMENU menu) {
  RECT work{0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const UINT dpi = w32::SystemDpi();
  RECT r{0, 0,
         std::clamp<LONG>((work.right - work.left) * 3 / 4, w32::ToScreen(kMinClientW, dpi),
                          w32::ToScreen(kMaxClientW, dpi)),
         std::clamp<LONG>((work.bottom - work.top) * 3 / 4, w32::ToScreen(kMinClientH, dpi),
                          w32::ToScreen(kMaxClientH, dpi))};
  w32::AdjustWindowRectForDpi(&r, style, menu != nullptr, 0, dpi);
  return {r.right - r.left, r.bottom - r.top};
}

// The menu bar, from the menu table.
HMENU BuildMenu() {
  HMENU bar = CreateMenu();
  for (const MenuPopup& popup : MainMenu()) {
    HMENU items = CreatePopupMenu();
    for (const MenuItem& item : popup.items) {
      if (item.text == nullptr)
        AppendMenuW(items, MF_SEPARATOR, 0, nullptr);
      else
        AppendMenuW(items, MF_STRING, static_cast<UINT_PTR>(item.id), W(item.text).c_str());
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(items), W(popup.text).c_str());
  }
  return bar;
}


// Brings the main window up from the task bar and to the front, and the
// box or dialog it may be busy in with it.
void RaiseMainAndPopup() {
  HWND main = S().main;
  if (main == nullptr || !IsWindowVisible(main)) return;
  HWND popup = GetLastActivePopup(main);
  if (IsIconic(main)) ShowWindow(main, SW_RESTORE);
  ::SetForegroundWindow(main);
  if (popup && popup != main) ::SetForegroundWindow(popup);
}

// The running instance is found by its wake window, which bears the
// instance's name.
std::wstring InstanceTitle(const std::string& name) { return L"Talverine instance " + W(name); }

// Hands `files` to the running instance's wake window, which raises its
// main window; false when it did not take them in time.
bool HandOver(HWND running, const std::vector<std::string>& files) {
  std::string request = os::EncodeHandOver(files);
  COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(request.size()), request.data()};
  DWORD_PTR taken = FALSE;
  return SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                             kHandOverTimeoutMs, &taken) != 0 &&
         taken == TRUE;
}

// True when no other instance holds `name`; otherwise the other one has
// been asked to raise its main window and handed `files`.
bool AcquireSingleInstance(const std::string& name, const std::vector<std::string>& files) {
  if (os::LockSingleInstance(name)) {
    SetWindowTextW(S().wake, InstanceTitle(name).c_str());
    return true;
  }
  if (HWND running = FindWindowExW(HWND_MESSAGE, nullptr, kWakeClass, InstanceTitle(name).c_str())) {
    // A program started by the user may hand the foreground on.
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    AllowSetForegroundWindow(process);
    // Without files, or when it would not take them, it is still raised.
    if (files.empty() || !HandOver(running, files)) PostMessageW(running, kRaiseMessage, 0, 0);
  }
  return false;
}

void ReleaseSingleInstance() {
  os::UnlockSingleInstance();
  if (S().wake) SetWindowTextW(S().wake, L"");
}

// Plays a WAV file image (a copy is kept while it plays); null stops.
bool PlayWaveImage(const void* image, size_t bytes) {
  State& s = S();
  // Stopped first, synchronously: the copy is rewritten below.
  PlaySoundW(nullptr, nullptr, 0);
  if (image == nullptr || bytes == 0) return true;
  s.sound.assign(static_cast<const char*>(image), static_cast<const char*>(image) + bytes);
  // No sound device is no error: the sound just isn't heard.
  return PlaySoundW(reinterpret_cast<LPCWSTR>(s.sound.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != 0;
}

}  // namespace

PlatWindow* Win32Platform::MainWindow() { return P(S().main); }
PlatWindow* Win32Platform::ActiveDialog() { return P(w32::ActiveDialog()); }
bool Win32Platform::DialogRunning(PlatWindow* dialog) { return w32::DialogRunning(H(dialog)); }

Win32Platform::Win32Platform() : midi_(std::make_unique<MidiPortSet>()) {
  Initialize();
  // The help lies beside the .exe; traces go to the debugger, and to stderr
  // as well when TALVERINE_DEBUG is set.
  SetDataDirectory(os::ExecutableDirectory());
  SetTraceSink([toStderr = !w32::Environment("TALVERINE_DEBUG").empty()](const char* text) {
    w32::DebugOutput(text);
    if (toStderr) std::fputs(text, stderr);
  });
  // Received MIDI bytes are framed on the GUI thread, which a device's
  // thread wakes.
  S().wakeHandler = [this] { midi_->Deliver(); };
  midi_->SetWakeup([] { WakeGuiThread(); });
}

Win32Platform::~Win32Platform() {
  midi_->SetWakeup(nullptr);
  S().wakeHandler = nullptr;
  PlayWaveImage(nullptr, 0);
  simulator_.reset();
  // The port set goes last: its devices may still hand bytes over.
  midi_.reset();
}

Win32SimulatedKilnbox& Win32Platform::StartSimulator(double speed) {
  if (!simulator_) simulator_ = std::make_unique<Win32SimulatedKilnbox>(*midi_, speed);
  return *simulator_;
}

// ---------------------------------------------------------------------------
// Windows and messages
// ---------------------------------------------------------------------------
PlatWindow* Win32Platform::CreateMainWindow(const char* caption, WindowEvents& events) {
  State& s = S();
  // The class bears the program's name, by which tools find its window.
  const std::wstring cls = W(szAppName);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = s.instance;
  wc.hIcon = LoadIconW(s.instance, MAKEINTRESOURCEW(100));
  wc.hIconSm = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(100), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = cls.c_str();
  RegisterClassExW(&wc);
  s.events = &events;
  // The panel is painted around the buttons and the status bar, never over them.
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  HMENU menu = BuildMenu();
  const SIZE size = DefaultWindowSize(style, menu);
  HWND window = CreateWindowExW(0, cls.c_str(), W(Text(caption)).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                size.cx, size.cy, nullptr, menu, s.instance, nullptr);
  if (window == nullptr) {
    s.main = nullptr;
    s.events = &s.nobody;
    return nullptr;
  }
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  if (simulator_) simulator_->ShowWindow(window);
  return P(window);
}

int Win32Platform::RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void Win32Platform::RequestClose(PlatWindow* window) {
  if (window != nullptr && H(window) == S().main) PostMessageW(S().main, WM_CLOSE, 0, 0);
}

void Win32Platform::Quit(int exitCode) { ::PostQuitMessage(exitCode); }

uint32_t Win32Platform::SetTimer(PlatWindow* window, uint32_t id, uint32_t periodMs) {
  return static_cast<uint32_t>(::SetTimer(H(window), id, std::max(periodMs, 1u), nullptr));
}

void Win32Platform::KillTimer(PlatWindow* window, uint32_t id) { ::KillTimer(H(window), id); }

namespace {

// Windows' own message box, held to the program's rule whatever the
// system's box does on its own (Windows' and Wine's differ): a Yes/No box
// is ended by one of its buttons only, and Esc or the close box on an OK box
// is OK. The box's window procedure is wrapped from its creation, caught by
// a hook.
const wchar_t kBoxRuleProp[] = L"TalverineBoxRule";

struct BoxRule {
  UINT buttons;
  WNDPROC original = nullptr;
};

BoxRule* g_pendingBoxRule = nullptr;

LRESULT CALLBACK BoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
  const BoxRule* rule = static_cast<const BoxRule*>(GetPropW(box, kBoxRuleProp));
  const WNDPROC original = rule->original;
  const bool cancel = msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL;
  const bool close = msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE);
  if (rule->buttons == MB_YESNO && (cancel || close)) return 0;
  if (rule->buttons == MB_OK && cancel)
    return CallWindowProcW(original, box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropW(box, kBoxRuleProp);
  }
  return CallWindowProcW(original, box, msg, wParam, lParam);
}

LRESULT CALLBACK WatchForBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_pendingBoxRule != nullptr) {
    HWND created = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(created, cls, 16);
    if (std::wstring(cls) == L"#32770") {
      SetPropW(created, kBoxRuleProp, g_pendingBoxRule);
      g_pendingBoxRule->original = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(created, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BoxProc)));
      g_pendingBoxRule = nullptr;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int Win32Platform::ShowMessage(PlatWindow* owner, const char* text, const char* caption, uint32_t type) {
  // A box nobody owns is modal for the whole program: the windows of the
  // thread wait for it, while its loop goes on handling timers and MIDI.
  if (owner == nullptr) type |= MB_TASKMODAL;
  const std::wstring wideCaption = caption ? W(caption) : std::wstring();
  BoxRule rule{type & MB_TYPEMASK};
  BoxRule* outer = std::exchange(g_pendingBoxRule, &rule);
  HHOOK hook = SetWindowsHookExW(WH_CBT, WatchForBox, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(H(owner), W(Text(text)).c_str(), caption ? wideCaption.c_str() : nullptr, type);
  if (hook) UnhookWindowsHookEx(hook);
  g_pendingBoxRule = outer;
  return answer;
}

void Win32Platform::InvalidateRect(PlatWindow* window, bool erase) {
  // Null would be every window of the desktop in Win32; here it is ours.
  ::InvalidateRect(window ? H(window) : S().main, nullptr, erase);
}

Rect Win32Platform::GetClientRect(PlatWindow* window) {
  RECT r{};
  if (!::GetClientRect(H(window), &r)) return {};
  return {FromScreen(r.left), FromScreen(r.top), FromScreen(r.right), FromScreen(r.bottom)};
}

void Win32Platform::DestroyWindow(PlatWindow* window) {
  if (window == nullptr) return;
  State& s = S();
  if (H(window) == s.main) {
    // The program's window only stops telling it anything; the loop ends
    // with the quit message.
    ShowWindow(s.main, SW_HIDE);
    s.events = &s.nobody;
    return;
  }
  s.placed.erase(H(window));
  ::DestroyWindow(H(window));
}

void Win32Platform::MoveWindow(PlatWindow* window, int x, int y, int w, int h, bool repaint) {
  Place(H(window), x, y, w, h, repaint);
}

// ---------------------------------------------------------------------------
// Child controls
// ---------------------------------------------------------------------------
PlatWindow* Win32Platform::CreateButton(PlatWindow* parent, const char* label, int id, int x, int y, int w, int h) {
  return MakeChild(L"BUTTON", W(Text(label)), BS_PUSHBUTTON, x, y, w, h, H(parent), id);
}

PlatWindow* Win32Platform::CreateStatusBar(PlatWindow* parent, int id) {
  return MakeChild(STATUSCLASSNAMEW, L"", 0, 0, 0, 0, 0, H(parent), id);
}

void Win32Platform::StatusSetParts(PlatWindow* status, int count, const int* rightEdges) {
  if (count <= 0 || rightEdges == nullptr) return;
  std::vector<int> edges(rightEdges, rightEdges + count);
  for (int& edge : edges)
    if (edge >= 0) edge = ToScreen(edge);  // -1: to the right end
  SendMessageW(H(status), SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void Win32Platform::StatusSetText(PlatWindow* status, int part, const char* text) {
  const std::wstring wide = W(Text(text));
  SendMessageW(H(status), SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(wide.c_str()));
}

PlatWindow* Win32Platform::CreateProgressBar(PlatWindow* parent, int x, int y, int w, int h) {
  return MakeChild(PROGRESS_CLASSW, L"", 0, x, y, w, h, H(parent), 0);
}

void Win32Platform::ProgressSet(PlatWindow* bar, int position, int range) {
  SendMessageW(H(bar), PBM_SETRANGE32, 0, range);
  SendMessageW(H(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// ---------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------
namespace {

// Draws into a bitmap of the whole client area, cleared with the window's
// background, and shows it in one piece at the end: the window is never
// seen erased or half drawn. Without memory for the bitmap it draws on the
// window itself, as Windows would.
class GdiCanvas : public Canvas {
 public:
  explicit GdiCanvas(HWND window) : window_(window) {
    target_ = ::BeginPaint(window_, &ps_);
    hdc_ = target_;
    StartBuffer();
    ScaleDrawing();
    originalPen_ = SelectObject(hdc_, GetStockObject(BLACK_PEN));
    originalFont_ = SelectObject(hdc_, GetStockObject(SYSTEM_FONT));
  }
  ~GdiCanvas() override {
    SelectObject(hdc_, originalPen_);
    SelectObject(hdc_, originalFont_);
    if (pen_) DeleteObject(pen_);
    if (font_) DeleteObject(font_);
    ShowBuffer();
    ::EndPaint(window_, &ps_);
  }

  void SetPen(int width, Colour colour, bool insideFrame) override {
    HPEN pen = CreatePen(insideFrame ? PS_INSIDEFRAME : PS_SOLID, width, colour);
    if (pen == nullptr) return;
    SelectObject(hdc_, pen);
    if (pen_) DeleteObject(pen_);
    pen_ = pen;
  }
  void MoveTo(int x, int y) override { MoveToEx(hdc_, x, y, nullptr); }
  void LineTo(int x, int y) override { ::LineTo(hdc_, x, y); }

  void DrawBitmap(int bitmapId, int x, int y, int w, int h) override {
    HBITMAP bitmap = LoadBitmapW(S().instance, MAKEINTRESOURCEW(bitmapId));
    if (bitmap == nullptr || w <= 0 || h <= 0) return;
    HDC source = CreateCompatibleDC(hdc_);
    HGDIOBJ old = SelectObject(source, bitmap);
    StretchBlt(hdc_, x, y, w, h, source, 0, 0, w, h, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(bitmap);
  }

  void SetFont(const LogFont& f) override {
    LOGFONTW lf{f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight, f.lfItalic, f.lfUnderline,
                f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision, f.lfQuality,
                f.lfPitchAndFamily, {}};
    const std::string name(f.lfFaceName, strnlen(f.lfFaceName, sizeof f.lfFaceName));
    const std::wstring face = W(name).substr(0, LF_FACESIZE - 1);
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    if (font == nullptr) return;
    SelectObject(hdc_, font);
    if (font_) DeleteObject(font_);
    font_ = font;
  }
  void SetTextAlign(uint32_t align) override { ::SetTextAlign(hdc_, align); }
  void PutText(int x, int y, const char* text) override {
    const std::wstring wide = W(text ? text : "");
    TextOutW(hdc_, x, y, wide.c_str(), static_cast<int>(wide.size()));
  }

 private:
  // The program draws in 96-dpi pixels; lines, text and pictures are
  // scaled as they are drawn, so they stay sharp.
  void ScaleDrawing() {
    const int dpi = static_cast<int>(S().dpi);
    if (dpi == 96) return;
    SetMapMode(hdc_, MM_ANISOTROPIC);
    SetWindowExtEx(hdc_, 96, 96, nullptr);
    SetViewportExtEx(hdc_, dpi, dpi, nullptr);
    SetStretchBltMode(hdc_, HALFTONE);
    SetBrushOrgEx(hdc_, 0, 0, nullptr);
  }
  void StartBuffer() {
    RECT client{};
    ::GetClientRect(window_, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    HDC memory = CreateCompatibleDC(target_);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(target_, client.right, client.bottom) : nullptr;
    if (bitmap == nullptr) {
      if (memory) DeleteDC(memory);
      return;
    }
    hdc_ = memory;
    bitmap_ = bitmap;
    originalBitmap_ = SelectObject(hdc_, bitmap_);
    FillRect(hdc_, &client, Background(window_));
  }
  void ShowBuffer() {
    if (bitmap_ == nullptr) return;
    SetMapMode(hdc_, MM_TEXT);
    const RECT& r = ps_.rcPaint;
    BitBlt(target_, r.left, r.top, r.right - r.left, r.bottom - r.top, hdc_, r.left, r.top, SRCCOPY);
    SelectObject(hdc_, originalBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(hdc_);
  }

  HWND window_;
  PAINTSTRUCT ps_{};
  HDC target_ = nullptr;   // the window's
  HDC hdc_ = nullptr;      // drawn on: the buffer's, or the window's
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ originalBitmap_ = nullptr;
  HGDIOBJ originalPen_ = nullptr;
  HGDIOBJ originalFont_ = nullptr;
  HPEN pen_ = nullptr;
  HFONT font_ = nullptr;
};

void Paint(HWND window, WindowEvents& events) {
  GdiCanvas canvas(window);
  events.Paint(canvas);
}

}  // namespace

// ---------------------------------------------------------------------------
// Option dialogs, common dialogs, drops and the shell
// ---------------------------------------------------------------------------
intptr_t Win32Platform::ShowDialog(PlatWindow* owner, int templateId, DialogState& state,
                                   const DialogEventHandler& onEvent) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  return tpl ? w32::RunDialog(H(owner), *tpl, state, onEvent) : -1;
}

FileDialogResult Win32Platform::ChooseFile(FileRequest& request, bool save) {
  // "Description\0Pattern\0...\0\0"
  std::wstring filter;
  for (const FileFilter& f : request.filters) {
    filter += W(f.description) + L'\0';
    filter += W(f.pattern) + L'\0';
  }
  filter += L'\0';
  std::vector<wchar_t> file(32768, L'\0');
  std::vector<wchar_t> title(MAX_PATH, L'\0');
  const std::wstring initialDir = W(request.initialDir);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = H(request.hwndOwner);
  ofn.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
  // An index that names no filter shows the first, and the first is reported.
  const bool named = request.nFilterIndex >= 1 && request.nFilterIndex <= request.filters.size();
  ofn.nFilterIndex = named ? request.nFilterIndex : 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrFileTitle = title.data();
  ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  ofn.Flags = request.flags | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) {
    const auto error = static_cast<uint32_t>(CommDlgExtendedError());
    return {error ? FileDialogResult::kFailed : FileDialogResult::kCancelled, error};
  }
  request.file = w32::Utf8(file.data(), wcsnlen(file.data(), file.size()));
  request.fileTitle = w32::Utf8(title.data(), wcsnlen(title.data(), title.size()));
  request.nFilterIndex = ofn.nFilterIndex;
  return {FileDialogResult::kChosen};
}

void Win32Platform::DragAcceptFiles(PlatWindow* window, bool accept) {
  ::DragAcceptFiles(H(window), accept);
  // Files handed over before the window took drops are delivered now.
  if (accept && S().handedFiles.Holding() && S().wake) PostMessageW(S().wake, kHandedFilesMessage, 0, 0);
}

bool Win32Platform::ShellOpen(PlatWindow* owner, const char* file) {
  const std::string target = Text(file);
  if (target.empty()) return false;
  std::string path = target;
  const bool address = target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0;
  if (!address) {
    path = os::ResolvePath(CurrentDirectory(), target);
    std::replace(path.begin(), path.end(), '/', '\\');
  }
  const std::wstring wide = W(path);
  SHELLEXECUTEINFOW request{};
  request.cbSize = sizeof request;
  // Done before the call returns, so that its outcome is known; the
  // program tells the user of a failure in its own words, not the shell's.
  request.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  request.hwnd = H(owner);
  request.lpVerb = L"open";
  request.lpFile = wide.c_str();
  request.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&request) != 0;
}

// ---------------------------------------------------------------------------
// Sound and the single instance
// ---------------------------------------------------------------------------
bool Win32Platform::PlaySoundMemory(const void* wavImage, uint32_t flags) {
  if (wavImage == nullptr) return PlayWaveImage(nullptr, 0);
  const size_t bytes = (flags & play_flags::kMemory) ? WaveImageBytes(wavImage) : 0;
  if (bytes == 0) {
    PlayWaveImage(nullptr, 0);
    return false;
  }
  return PlayWaveImage(wavImage, bytes);
}

std::unique_ptr<InstanceLock> Win32Platform::LockSingleInstance(const char* name,
                                                                const std::vector<std::string>& files) {
  if (instanceHeld_) return std::make_unique<InstanceLock>();
  if (!AcquireSingleInstance(Text(name), files)) return nullptr;
  instanceHeld_ = true;
  return std::make_unique<InstanceLock>([this] {
    ReleaseSingleInstance();
    instanceHeld_ = false;
  });
}
