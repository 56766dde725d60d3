#include "tests/conformance/user_win32.h"

#include <windows.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "platform/win32/system_win32.h"
#include "platform/win32/text_win32.h"

namespace w32test {
namespace {

HWND H(Handle h) { return static_cast<HWND>(h); }

uint64_t NowMs() { return GetTickCount64(); }

// Dispatches what the queue holds now; at most `limit` messages, so that a
// caller's condition is looked at again.
void DispatchWaiting(int limit = 1000) {
  MSG msg;
  for (int n = 0; n < limit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// What a dialog's own loop does next with the messages an action posted to
// it (a close box posts its IDCANCEL), done now.
void Settle(HWND dialog) {
  MSG msg;
  for (int n = 0; n < 100 && IsWindow(dialog) && PeekMessageW(&msg, dialog, 0, 0, PM_REMOVE); ++n) {
    if (IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::string TextOf(HWND window) {
  std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1);
  const int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return w32::Utf8(text.data(), static_cast<size_t>(std::max(n, 0)));
}

std::function<void()> g_poll;
UINT_PTR g_pollTimer = 0;

void CALLBACK PollTick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_poll) g_poll();
}

BOOL CALLBACK CollectModal(HWND window, LPARAM found) {
  if (IsWindowVisible(window) && IsWindowEnabled(window) && ClassOf(window) == L"#32770")
    *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

bool Shown(HWND control) { return control != nullptr && IsWindowVisible(control); }

unsigned IconOf(HWND box) {
  HWND icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassOf(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
  const HICON shown = icon ? reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) : nullptr;
  if (shown == nullptr || !IsWindowVisible(icon)) return 0;
  const std::pair<LPCWSTR, unsigned> icons[] = {{IDI_HAND, MB_ICONERROR},
                                                {IDI_QUESTION, MB_ICONQUESTION},
                                                {IDI_EXCLAMATION, MB_ICONWARNING},
                                                {IDI_ASTERISK, MB_ICONINFORMATION}};
  for (const auto& [id, flag] : icons)
    if (LoadIconW(nullptr, id) == shown) return flag;
  return 0;
}

// The file dialog's name field: an edit, or a combo box (which passes its
// text on to its edit).
HWND FileNameField(HWND dialog) {
  HWND edit = GetDlgItem(dialog, edt1);
  return edit ? edit : GetDlgItem(dialog, cmb13);
}

void KeyDown(HWND dialog, WPARAM key) {
  // The dialog manager's own handling of the key, as the dialog's loop
  // would call it.
  MSG msg{};
  msg.hwnd = dialog;
  msg.message = WM_KEYDOWN;
  msg.wParam = key;
  msg.time = GetMessageTime();
  IsDialogMessageW(dialog, &msg);
  Settle(dialog);
}

}  // namespace

// ---------------------------------------------------------------------------
// The loop
// ---------------------------------------------------------------------------
bool PumpUntil(const std::function<bool()>& done, int limitMs) {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(limitMs);
  for (;;) {
    DispatchWaiting();
    if (done()) return true;
    if (NowMs() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void PumpOnce() {
  // The posted messages come in order before the marker; paints and timers
  // only when nothing is posted, so they are taken on their own after it.
  constexpr UINT kMarker = WM_APP + 77;
  PostThreadMessageW(GetCurrentThreadId(), kMarker, 0, 0);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.hwnd == nullptr && msg.message == kMarker) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
  std::set<std::pair<HWND, WPARAM>> ticked;
  while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE) && ticked.insert({msg.hwnd, msg.wParam}).second &&
         PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    DispatchMessageW(&msg);
  }
}

void Idle(int ms) {
  PumpUntil([] { return false; }, ms);
}

void StartPolling(std::function<void()> poll) {
  g_poll = std::move(poll);
  g_pollTimer = SetTimer(nullptr, 0, 10, PollTick);
}

void StopPolling() {
  if (g_pollTimer) KillTimer(nullptr, g_pollTimer);
  g_pollTimer = 0;
  g_poll = nullptr;
}

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------
void SetClientSize(Handle window, int width, int height) {
  // A menu bar that wraps takes height of its own: measured and made good.
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(H(window), GWL_STYLE)), GetMenu(H(window)) != nullptr,
                     static_cast<DWORD>(GetWindowLongW(H(window), GWL_EXSTYLE)));
  int outerW = outer.right - outer.left;
  int outerH = outer.bottom - outer.top;
  for (int attempt = 0; attempt < 3; ++attempt) {
    SetWindowPos(H(window), nullptr, 0, 0, outerW, outerH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(H(window), &client);
    if (client.right == width && client.bottom == height) break;
    outerW += width - client.right;
    outerH += height - client.bottom;
  }
  UpdateWindow(H(window));
}

Handle ModalWindow() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), CollectModal, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool IsOpen(Handle window) { return IsWindow(H(window)) && IsWindowVisible(H(window)); }

void Minimize(Handle window) { ShowWindow(H(window), SW_MINIMIZE); }

bool IsMinimized(Handle window) { return IsIconic(H(window)) != 0; }

void Destroy(Handle window) {
  if (IsWindow(H(window))) DestroyWindow(H(window));
}

// ---------------------------------------------------------------------------
// Message boxes and dialogs
// ---------------------------------------------------------------------------
BoxView ReadMessageBox(Handle box) {
  BoxView view;
  view.caption = TextOf(H(box));
  for (HWND child = GetWindow(H(box), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == L"Static" && view.text.empty()) view.text = TextOf(child);
  }
  HWND b = H(box);
  if (Shown(GetDlgItem(b, IDYES)) && Shown(GetDlgItem(b, IDNO))) {
    view.type = MB_YESNO;
  } else if (Shown(GetDlgItem(b, IDOK)) && Shown(GetDlgItem(b, IDCANCEL))) {
    view.type = MB_OKCANCEL;
  } else {
    view.type = MB_OK;
  }
  view.type |= IconOf(b);
  return view;
}

void Click(Handle dialog, int id) {
  HWND control = GetDlgItem(H(dialog), id);
  if (control == nullptr || !IsWindowEnabled(control) || !IsWindowVisible(control)) return;
  SendMessageW(control, BM_CLICK, 0, 0);
  Settle(H(dialog));
}

void Pick(Handle dialog, int id, int index) {
  HWND list = GetDlgItem(H(dialog), id);
  if (list == nullptr || !IsWindowEnabled(list)) return;
  // What the list sends when the user picks an entry and it closes.
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  for (WORD notification : {CBN_SELCHANGE, CBN_SELENDOK})
    SendMessageW(H(dialog), WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(list));
  Settle(H(dialog));
}

void Type(Handle dialog, int id, const std::string& text) {
  HWND edit = GetDlgItem(H(dialog), id);
  if (edit == nullptr || !IsWindowEnabled(edit)) return;
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (wchar_t key : w32::Wide(text)) SendMessageW(edit, WM_CHAR, key, 1);
  Settle(H(dialog));
}

void PressEnter(Handle dialog) { KeyDown(H(dialog), VK_RETURN); }

void PressEsc(Handle dialog) { KeyDown(H(dialog), VK_ESCAPE); }

void CloseBox(Handle dialog) {
  SendMessageW(H(dialog), WM_SYSCOMMAND, SC_CLOSE, 0);
  Settle(H(dialog));
}

bool IsEnabled(Handle dialog, int id) {
  HWND control = GetDlgItem(H(dialog), id);
  return control != nullptr && IsWindowEnabled(control);
}

bool IsChecked(Handle dialog, int id) { return IsDlgButtonChecked(H(dialog), id) == BST_CHECKED; }

std::string Text(Handle dialog, int id) {
  HWND control = GetDlgItem(H(dialog), id);
  return control ? TextOf(control) : "";
}

// ---------------------------------------------------------------------------
// File dialogs
// ---------------------------------------------------------------------------
bool IsFileDialog(Handle window) { return GetDlgItem(H(window), cmb1) != nullptr && FileNameField(H(window)); }

std::vector<std::string> FileFilters(Handle dialog) {
  HWND types = GetDlgItem(H(dialog), cmb1);
  std::vector<std::string> filters;
  const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::vector<wchar_t> text(static_cast<size_t>(SendMessageW(types, CB_GETLBTEXTLEN, i, 0)) + 1);
    SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    filters.push_back(w32::Utf8(text.data(), wcsnlen(text.data(), text.size())));
  }
  return filters;
}

unsigned ShownFilter(Handle dialog) {
  return static_cast<unsigned>(SendMessageW(GetDlgItem(H(dialog), cmb1), CB_GETCURSEL, 0, 0) + 1);
}

void ChooseFile(Handle dialog, unsigned filterIndex, const std::string& name) {
  if (filterIndex > 0) Pick(dialog, cmb1, static_cast<int>(filterIndex) - 1);
  SetWindowTextW(FileNameField(H(dialog)), w32::Wide(name).c_str());
  SendMessageW(H(dialog), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(H(dialog), IDOK)));
  Settle(H(dialog));
}

void CancelFileDialog(Handle dialog) {
  SendMessageW(H(dialog), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(H(dialog), IDCANCEL)));
  Settle(H(dialog));
}

// ---------------------------------------------------------------------------
// The desktop
// ---------------------------------------------------------------------------
void DropFiles(Handle window, const std::vector<std::string>& files, long x, long y) {
  // DROPFILES, then the names, each ended by a null, and a null at the end.
  std::wstring names;
  for (const std::string& f : files) names += w32::Wide(f) + L'\0';
  names += L'\0';
  const size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
  HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
  header->pFiles = sizeof(DROPFILES);
  header->pt = {x, y};
  header->fNC = FALSE;
  header->fWide = TRUE;
  std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(drop);
  PostMessageW(H(window), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

bool AcceptsDrops(Handle window) { return (GetWindowLongW(H(window), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }

namespace {

// Waits for `object`, answering the messages other threads send to this one
// (a second start's hand-over) but leaving those posted in the queue.
bool WaitAnsweringSentMessages(HANDLE object, DWORD limitMs) {
  const ULONGLONG end = GetTickCount64() + limitMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    const DWORD woke = MsgWaitForMultipleObjects(1, &object, FALSE, static_cast<DWORD>(end - now), QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

int RunSecondInstance(const std::string& name, const std::vector<std::string>& files) {
  std::vector<wchar_t> exe(32768);
  GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
  // No name here holds a quote or ends in a backslash: quoting is enough.
  std::wstring command = L"\"" + std::wstring(exe.data()) + L"\" --second-instance \"" + w32::Wide(name) + L"\"";
  for (const std::string& file : files) command += L" \"" + w32::Wide(file) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.data(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  DWORD code = static_cast<DWORD>(-2);
  if (WaitAnsweringSentMessages(process.hProcess, 120000)) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

bool IsSecondInstance(std::string* name, std::vector<std::string>* files) {
  const std::vector<std::string> args = w32::CommandLineArguments();
  if (args.size() < 3 || args[1] != "--second-instance") return false;
  *name = args[2];
  files->assign(args.begin() + 3, args.end());
  return true;
}

}  // namespace w32test
