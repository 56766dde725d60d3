// The seam between the portable core and the operating system, in the
// program's own terms: what a back end implements.
//
// Three parts: the window system, files with the clock and the OS, and the
// MIDI ports. A back end (platform/qt, platform/win32, platform/web,
// platform/headless) implements each part and installs them with
// `plat::Install`; the program hears from its window through WindowEvents.
// Nothing here shares a name with a system header, so a back end can
// include its system's headers beside this one. Flags and answers (box
// kinds, buttons, keys) keep the values the core was first written for;
// platform.h gives the core its names for them.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_state.h"

// ---------------------------------------------------------------------------
// Windows and points
// ---------------------------------------------------------------------------
struct PlatWindow;  // a window or control of a back end, defined by it

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct Point {
  int32_t x = 0, y = 0;
};

// The keys held with a click.
namespace mouse_key {
inline constexpr uintptr_t kLeft = 0x0001;
inline constexpr uintptr_t kRight = 0x0002;
inline constexpr uintptr_t kShift = 0x0004;
inline constexpr uintptr_t kControl = 0x0008;
inline constexpr uintptr_t kMiddle = 0x0010;
inline constexpr uintptr_t kX1 = 0x0020;
inline constexpr uintptr_t kX2 = 0x0040;
}  // namespace mouse_key

// ---------------------------------------------------------------------------
// Message boxes: their kinds and answers
// ---------------------------------------------------------------------------
namespace msgbox {
inline constexpr uint32_t kOk = 0x0000;
inline constexpr uint32_t kOkCancel = 0x0001;
inline constexpr uint32_t kYesNo = 0x0004;
inline constexpr uint32_t kIconError = 0x0010;
inline constexpr uint32_t kIconQuestion = 0x0020;
inline constexpr uint32_t kIconWarning = 0x0030;
inline constexpr uint32_t kIconInformation = 0x0040;
inline constexpr uint32_t kTaskModal = 0x2000;
inline constexpr uint32_t kButtonsMask = 0x000F;
inline constexpr uint32_t kIconMask = 0x00F0;
}  // namespace msgbox

// The button that ended a box or a dialog.
namespace button_id {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace button_id

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------
using Colour = uint32_t;  // 0x00BBGGRR

// Description of a font, as the label font of the main window is given.
struct LogFont {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};

namespace text_align {
inline constexpr uint32_t kLeft = 0;
inline constexpr uint32_t kTop = 0;
inline constexpr uint32_t kCenter = 6;
}  // namespace text_align

// Bitmap resources of the main window.
constexpr int IDB_EPROM = 1;      // 64 x 64 EPROM picture
constexpr int IDB_CHECK = 2;      // 32 x 32 green tick
constexpr int IDB_CROSS = 3;      // 32 x 32 orange cross

// What the paint code draws on. Qt implements it with QPainter; the headless
// back end records every call.
class Canvas {
 public:
  virtual ~Canvas() = default;
  // A solid pen; `insideFrame` keeps wide lines within the figure drawn.
  virtual void SetPen(int width, Colour colour, bool insideFrame) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  // Copies the top-left `w` x `h` pixels of bitmap resource `bitmapId`
  // unscaled to (x, y).
  virtual void DrawBitmap(int bitmapId, int x, int y, int w, int h) = 0;
  virtual void SetFont(const LogFont& font) = 0;
  virtual void SetTextAlign(uint32_t align) = 0;  // text_align flags
  virtual void PutText(int x, int y, const char* text) = 0;
};

// ---------------------------------------------------------------------------
// Open and save file dialogs
// ---------------------------------------------------------------------------
namespace file_dialog {
inline constexpr uint32_t kOverwritePrompt = 0x00000002;
inline constexpr uint32_t kHideReadOnly = 0x00000004;
inline constexpr uint32_t kPathMustExist = 0x00000800;
inline constexpr uint32_t kFileMustExist = 0x00001000;
}  // namespace file_dialog

struct FileFilter {
  std::string description;  // "Binary files (*.BIN)"
  std::string pattern;      // "*.BIN"
};

struct FileRequest {
  PlatWindow* hwndOwner = nullptr;
  std::vector<FileFilter> filters;
  uint32_t nFilterIndex = 0;       // 1-based; updated to the filter in use when the dialog closes
  std::string initialDir;          // empty: the dialog's default
  std::string file;                // out: the chosen path
  std::string fileTitle;           // out: the chosen file's name without folder
  uint32_t flags = 0;              // file_dialog flags
};

// How a file dialog ended. A cancel is no error; a dialog that failed
// carries the system's error number.
struct FileDialogResult {
  enum Outcome { kChosen, kCancelled, kFailed };
  Outcome outcome = kCancelled;
  uint32_t error = 0;  // non-zero when the dialog failed
};

// Held while this process is the program's running instance; destroying it
// runs the back end's release.
class InstanceLock {
 public:
  explicit InstanceLock(std::function<void()> release = nullptr) : release_(std::move(release)) {}
  ~InstanceLock() {
    if (release_) release_();
  }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  std::function<void()> release_;
};

// The files dropped on the main window.
struct DroppedFiles {
  std::vector<std::string> names;  // in the order they were dropped
  Point point{};                   // the drop point in client coordinates
  bool inClient = false;           // whether the point lies in the client area
};

// ---------------------------------------------------------------------------
// MIDI ports
// ---------------------------------------------------------------------------
// Error numbers of the ports (the desktop API's values, so that a driver's
// own numbers pass through unchanged).
namespace midi_error {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kError = 1;
inline constexpr uint32_t kBadDeviceId = 2;
inline constexpr uint32_t kAllocated = 4;
inline constexpr uint32_t kInvalidHandle = 5;
inline constexpr uint32_t kNoDriver = 6;
inline constexpr uint32_t kNoMemory = 7;
inline constexpr uint32_t kBadErrorNumber = 9;
inline constexpr uint32_t kInvalidParam = 11;
inline constexpr uint32_t kNotReady = 67;
}  // namespace midi_error

// What a port operation, or a message sent, came to: an error number
// (midi_error::kNone: done) and, for an error, the port's own words.
struct MidiResult {
  uint32_t error = midi_error::kNone;
  std::string text;
  bool Ok() const { return error == midi_error::kNone; }
};

struct PlatMidiPort;  // an open MIDI port

// The longest name of a port, in characters.
constexpr size_t MAX_MIDI_PORT_NAME = 31;

// Bytes of a channel or system common message with this status byte; 0
// for System Exclusive and for a byte that is no status.
constexpr size_t MidiMessageLength(uint8_t status) {
  if (status < 0x80 || status == 0xF0 || status == 0xF7) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 3;
  if (status < 0xE0 || status == 0xF1 || status == 0xF3) return 2;
  return 1;
}

// What an open input hands on while it listens: each whole System
// Exclusive message (0xF0 .. 0xF7, with real-time bytes taken out), and an
// error for each one that came broken (cut short by another status byte,
// or bytes lost) or longer than a port takes. Other messages are not
// handed on.
struct MidiInputHandler {
  std::function<void(const uint8_t* data, size_t size)> sysex;
  std::function<void()> error;
};
// What an open output reports for each message Send took, in order: once
// its last byte has left the port, or once it could not go out (with the
// port's words); also for a message taken before its port was closed.
using MidiSentHandler = std::function<void(const MidiResult& result)>;

// The MIDI ports, a list of inputs and a list of outputs, each port known
// by its name. Handlers are called on the GUI thread from its message loop,
// never from inside one of these operations.
class MidiPorts {
 public:
  virtual ~MidiPorts() = default;

  // The ports' names in their order: each one once in its list, at most
  // MAX_MIDI_PORT_NAME characters.
  virtual std::vector<std::string> InputNames() = 0;
  virtual std::vector<std::string> OutputNames() = 0;
  virtual MidiResult OpenInput(const std::string& name, MidiInputHandler handler, PlatMidiPort** port) = 0;
  virtual MidiResult OpenOutput(const std::string& name, MidiSentHandler sent, PlatMidiPort** port) = 0;
  // Starts or stops an input's handing on; stopping forgets whatever has
  // arrived and not been handed on yet, a message half received included.
  virtual MidiResult Listen(PlatMidiPort* input, bool listen) = 0;
  // Hands over a copy of one whole message: System Exclusive, or a channel
  // or system common message. Messages go out in order, and none is cut by
  // a later Close.
  virtual MidiResult Send(PlatMidiPort* output, const uint8_t* data, size_t size) = 0;
  virtual MidiResult Close(PlatMidiPort* port) = 0;
};

// ---------------------------------------------------------------------------
// Sound playback
// ---------------------------------------------------------------------------
namespace play_flags {
inline constexpr uint32_t kAsync = 0x0001;
inline constexpr uint32_t kNoDefault = 0x0002;
inline constexpr uint32_t kMemory = 0x0004;  // the sound is a WAV file image in memory
}  // namespace play_flags

// ---------------------------------------------------------------------------
// The operations a back end supplies, in three parts
// ---------------------------------------------------------------------------
// What the main window tells the program. A back end calls these on the
// GUI thread, from its loop (or a nested one: a message box's, a dialog's),
// and never from inside one of its own operations. Each does nothing until
// the program says otherwise.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  // The window exists at its first size, without children yet; false
  // refuses it.
  virtual bool Created(PlatWindow* /*window*/) { return true; }
  // The client area has a new size.
  virtual void Resized() {}
  // Draws the client area, once it was invalidated, on a canvas valid for
  // this call only.
  virtual void Paint(Canvas& /*canvas*/) {}
  // A press of the left button at `at`, in client coordinates, with the
  // keys held then (mouse_key flags, kLeft among them).
  virtual void LeftButtonDown(Point /*at*/, uintptr_t /*keys*/) {}
  virtual void FilesDropped(const DroppedFiles& /*files*/) {}
  // A menu item or a push button of the window, by its id.
  virtual void Command(int /*id*/) {}
  virtual void Timer(uint32_t /*id*/) {}
  // The close box, or RequestClose.
  virtual void CloseRequested() {}
};

// The window system and the desktop around it: the main window, its loop
// and timers, message boxes, child controls, painting, dialogs,
// the file dialogs, dropped files, opening documents, playing sounds and the
// single-instance rule (a second start raises the first one's window).
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The main window and its loop --------------------------------------------
  // Creates the main window, sized, and tells `events` (which outlives it)
  // Created before this returns; null when that refuses the window.
  virtual PlatWindow* CreateMainWindow(const char* caption, WindowEvents& events) = 0;
  // Runs the loop until Quit; returns Quit's code.
  virtual int RunMessageLoop() = 0;
  // Asks the window to close as its close box does: CloseRequested comes
  // from the loop, after whatever the loop already holds.
  virtual void RequestClose(PlatWindow* window) = 0;
  // Ends the loop, and every nested one, once what the loop already holds
  // is handled; nothing after reaches the window.
  virtual void Quit(int exitCode) = 0;
  // Window timers tick WindowEvents::Timer with their id.
  virtual uint32_t SetTimer(PlatWindow* window, uint32_t id, uint32_t periodMs) = 0;
  virtual void KillTimer(PlatWindow* window, uint32_t id) = 0;
  // Text, caption (nullptr: the system's default caption), owner (may be
  // null), buttons and icon (msgbox flags); returns the answer (button_id::kOk,
  // button_id::kYes...). A Yes/No box is ended by one of its buttons only.
  virtual int ShowMessage(PlatWindow* owner, const char* text, const char* caption, uint32_t type) = 0;
  virtual void InvalidateRect(PlatWindow* window, bool erase) = 0;
  virtual Rect GetClientRect(PlatWindow* window) = 0;
  virtual void DestroyWindow(PlatWindow* window) = 0;
  virtual void MoveWindow(PlatWindow* window, int x, int y, int w, int h, bool repaint) = 0;

  // Child controls of the main window ---------------------------------------
  virtual PlatWindow* CreateButton(PlatWindow* parent, const char* label, int id, int x, int y, int w, int h) = 0;
  // A status bar keeps to the bottom of its window when the window is resized.
  virtual PlatWindow* CreateStatusBar(PlatWindow* parent, int id) = 0;
  virtual void StatusSetParts(PlatWindow* status, int count, const int* rightEdges) = 0;
  virtual void StatusSetText(PlatWindow* status, int part, const char* text) = 0;
  virtual PlatWindow* CreateProgressBar(PlatWindow* parent, int x, int y, int w, int h) = 0;
  // Shows `position` of 0..`range`.
  virtual void ProgressSet(PlatWindow* bar, int position, int range) = 0;

  // Modal dialogs built from the templates in resources/ ----------------------
  // Shows dialog `templateId` with `state` (a control without an item keeps
  // its template's text) and runs it modally, reporting each thing the user
  // does to `onEvent`. Of `state` the back end changes only what the user
  // sets, before reporting it: a list's selection, an edit box's text. A
  // click changes no check in it (the buttons' rules are the program's), and
  // a disabled control takes nothing. After each event the state is shown
  // again; once `onEvent` has ended it, the dialog closes. Returns
  // state.result; -1 for an unknown template or a window gone without being
  // ended. A state ended before it shows returns at once.
  virtual intptr_t ShowDialog(PlatWindow* owner, int templateId, DialogState& state,
                              const DialogEventHandler& onEvent) = 0;

  // Common dialogs and the shell ----------------------------------------------
  // Shows the open (or, with `save`, the save) dialog `request` describes;
  // on a choice fills in its file, title and filter in use.
  virtual FileDialogResult ChooseFile(FileRequest& request, bool save) = 0;
  // Whether files dropped on the window reach it (WindowEvents::FilesDropped).
  virtual void DragAcceptFiles(PlatWindow* window, bool accept) = 0;
  // Opens a document or an address with its program; false when none
  // could be started for it.
  virtual bool ShellOpen(PlatWindow* owner, const char* file) = 0;

  // Sound -------------------------------------------------------------------
  // Plays a complete WAV file image held in memory (`flags`: play_flags); a
  // new sound stops the one playing, and a null image only stops it.
  virtual bool PlaySoundMemory(const void* wavImage, uint32_t flags) = 0;

  // Single instance -----------------------------------------------------------
  // Null when another instance runs: its window has then been raised and it
  // has been handed `files` (absolute names), which it loads as files
  // dropped outside its client area, from its loop, once its main window
  // takes drops. Otherwise this is the only running instance until the
  // lock is destroyed; asked again meanwhile, the answer is a lock that
  // lets go of nothing. A lock must not outlive the back end that gave it.
  virtual std::unique_ptr<InstanceLock> LockSingleInstance(const char* name,
                                                           const std::vector<std::string>& files) = 0;
};

// Files, the clock and the rest of the operating system.
class OsServices {
 public:
  virtual ~OsServices() = default;

  virtual void Sleep(uint32_t ms) = 0;
  virtual int64_t TimeSeconds() = 0;                 // time of day in whole seconds
  // Milliseconds on a clock that never goes back (not the time of day).
  virtual uint64_t MonotonicMs() = 0;
  virtual std::string CurrentDirectory() = 0;
  virtual bool ChangeDirectory(const std::string& dir) = 0;
  // The directory that holds the configuration file.
  virtual std::string GetConfigDirectory() = 0;
  // The folder of the files installed with the program (its help pages), or
  // "" when there is none.
  virtual std::string GetDataDirectory() = 0;
  // Opens a file like fopen; relative paths resolve against the current
  // directory above. nullptr on failure.
  virtual FILE* OpenFile(const std::string& path, const char* mode) = 0;
  // Replaces `to` by `from` in one step (rename over).
  virtual bool RenameOver(const std::string& from, const std::string& to) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  enum class PathKind { Missing, Regular, Directory, Other };
  virtual PathKind GetPathKind(const std::string& path) = 0;
  // Zero-filled memory, or nullptr when none can be had.
  virtual void* AllocMemory(size_t bytes) = 0;
  virtual void FreeMemory(void* block) = 0;
  virtual void DebugTrace(const char* text) = 0;
};

// A back end's window system and OS services in one object.
class Platform : public WindowSystem, public OsServices {};

// ---------------------------------------------------------------------------
// The installed back end
// ---------------------------------------------------------------------------
namespace plat {

// The three parts the core's calls go to. Parts may come from different
// objects (a test wraps one back end's files in another's failures).
struct Parts {
  WindowSystem* window = nullptr;
  OsServices* os = nullptr;
  MidiPorts* midi = nullptr;
  Parts() = default;
  Parts(WindowSystem* w, OsServices* o, MidiPorts* m) : window(w), os(o), midi(m) {}
  // All three of one back end: a class that is the window system and the
  // OS services and has its MIDI ports as Midi(); a null `b` uninstalls.
  template <typename Backend>
    requires std::derived_from<Backend, WindowSystem> && std::derived_from<Backend, OsServices> &&
             requires(Backend* b) { { b->Midi() } -> std::convertible_to<MidiPorts&>; }
  Parts(Backend* b) : window(b), os(b), midi(b ? &b->Midi() : nullptr) {}  // NOLINT: a back end converts implicitly
};

// Installs `parts` for every call the core makes; returns the parts
// installed before.
Parts Install(Parts parts);
WindowSystem& Window();
OsServices& Os();
MidiPorts& Midi();

}  // namespace plat
