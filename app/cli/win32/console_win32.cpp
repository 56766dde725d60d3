#include "app/cli/win32/console_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/win32/text_win32.h"

namespace cli::win32 {
namespace {

std::atomic<bool> g_ctrlC{false};

// Called on a thread of its own.
BOOL WINAPI OnCtrl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return g_ctrlC.exchange(true) ? FALSE : TRUE;
}

// The line typed last, handed out a byte at a time.
struct TypedLine {
  std::string bytes;
  size_t next = 0;
};
TypedLine g_typed;

// The console `stream` writes to, or null when it goes elsewhere.
HANDLE ConsoleOf(FILE* stream) {
  HANDLE h = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return GetConsoleMode(h, &mode) ? h : nullptr;
}

// Skips the console's events up to the first key typed; false when none
// waits now (a key release or a mouse move signalled the input).
bool KeyTyped(HANDLE in) {
  INPUT_RECORD event;
  DWORD seen = 0;
  while (PeekConsoleInputW(in, &event, 1, &seen) && seen == 1) {
    if (event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown && event.Event.KeyEvent.uChar.UnicodeChar)
      return true;
    ReadConsoleInputW(in, &event, 1, &seen);
  }
  return false;
}

}  // namespace

void Write(FILE* stream, const std::string& text) {
  HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  std::fflush(stream);  // what went through the stream before comes first
  const std::wstring wide = w32::Wide(text);
  DWORD written = 0;
  for (size_t at = 0; at < wide.size(); at += written) {
    const auto piece = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
    if (!WriteConsoleW(console, wide.data() + at, piece, &written, nullptr) || written == 0) return;
  }
}

void CatchCtrlC() { SetConsoleCtrlHandler(OnCtrl, TRUE); }

bool CtrlCPressed() { return g_ctrlC.load(); }

bool StdinIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool StderrTakesEscapes() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(err, &mode)) return false;
  constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  return (mode & kVirtualTerminal) != 0 || SetConsoleMode(err, mode | kVirtualTerminal) != 0;
}

int ReadConsoleByte(unsigned waitMs, int noInputYet, int endOfInput) {
  if (g_typed.next < g_typed.bytes.size()) return static_cast<unsigned char>(g_typed.bytes[g_typed.next++]);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (WaitForSingleObject(in, waitMs) != WAIT_OBJECT_0 || !KeyTyped(in)) return noInputYet;
  // The console edits and echoes the line; it comes whole once Enter ends
  // it. Reading it all at once leaves nothing behind in the console that a
  // later wait on the input would not see.
  std::wstring line;
  wchar_t buffer[256];
  while (line.empty() || line.back() != L'\n') {
    DWORD got = 0;
    const BOOL read = ReadConsoleW(in, buffer, static_cast<DWORD>(std::size(buffer)), &got, nullptr);
    if (CtrlCPressed()) return noInputYet;
    if (!read || got == 0) return endOfInput;
    line.append(buffer, got);
  }
  if (line.front() == L'\x1A') return endOfInput;  // Ctrl+Z: the console's end of input
  g_typed = {w32::Utf8(line), 0};
  return static_cast<unsigned char>(g_typed.bytes[g_typed.next++]);
}

}  // namespace cli::win32
