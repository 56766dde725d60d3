#include "platform/win32/platform_win32.h"

#include <cstring>

#include "platform/os/os_services.h"
#include "platform/win32/simulator_win32.h"
#include "platform/win32/system_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/ui_win32.h"
#include "resources/dialog_templates.h"

namespace {

w32ui::Handle U(HWND h) { return static_cast<w32ui::Handle>(h); }
HWND Seam(w32ui::Handle h) { return static_cast<HWND>(h); }
std::string Text(const char* s) { return s ? s : ""; }

// The largest WAV image the program builds: a 44-byte header and 65,536
// samples of 2 bytes.
constexpr uint32_t kMaxWaveImageBytes = 44 + 65536 * 2;

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


// Hands the window procedure the drop in the seam's terms.
intptr_t DeliverDrop(WNDPROC wndProc, HWND hWnd, uintptr_t drop, intptr_t lParam) {
  const auto& from = *reinterpret_cast<const w32ui::Drop*>(drop);
  DroppedFiles dropped{from.names, {static_cast<LONG>(from.x), static_cast<LONG>(from.y)}, from.inClient};
  return static_cast<intptr_t>(wndProc(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(&dropped), lParam));
}
}  // namespace

// What the paint code draws on: GDI through the painter of one WM_PAINT.
class Win32Canvas : public Canvas {
 public:
  explicit Win32Canvas(w32ui::Painter& painter) : painter_(painter) {}
  void SetPen(int width, COLORREF colour, bool insideFrame) override { painter_.SetPen(width, colour, insideFrame); }
  void MoveTo(int x, int y) override { painter_.MoveTo(x, y); }
  void LineTo(int x, int y) override { painter_.LineTo(x, y); }
  void DrawBitmap(int bitmapId, int x, int y, int w, int h) override { painter_.DrawBitmap(bitmapId, x, y, w, h); }
  void SetFont(const LOGFONT& lf) override {
    w32ui::Font f;
    f.height = lf.lfHeight;
    f.width = lf.lfWidth;
    f.escapement = lf.lfEscapement;
    f.orientation = lf.lfOrientation;
    f.weight = lf.lfWeight;
    f.italic = lf.lfItalic;
    f.underline = lf.lfUnderline;
    f.strikeOut = lf.lfStrikeOut;
    f.charSet = lf.lfCharSet;
    f.outPrecision = lf.lfOutPrecision;
    f.clipPrecision = lf.lfClipPrecision;
    f.quality = lf.lfQuality;
    f.pitchAndFamily = lf.lfPitchAndFamily;
    f.face.assign(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof lf.lfFaceName));
    painter_.SetFont(f);
  }
  void SetTextAlign(UINT align) override { painter_.SetTextAlign(align); }
  void TextOut(int x, int y, const char* text) override { painter_.PutText(x, y, Text(text)); }
  w32ui::Painter& Painter() { return painter_; }

 private:
  w32ui::Painter& painter_;
};

Win32Platform::Win32Platform()
    : midi_(std::make_unique<MidiPortSet>()) {
  w32ui::Initialize();
  // The help lies beside the .exe; traces go to the debugger, and to stderr
  // as well when TALVERINE_DEBUG is set.
  SetDataDirectory(os::ExecutableDirectory());
  SetTraceSink([toStderr = !w32::Environment("TALVERINE_DEBUG").empty()](const char* text) {
    w32::DebugOutput(text);
    if (toStderr) std::fputs(text, stderr);
  });
  // Received MIDI bytes are framed on the GUI thread, which a device's
  // thread wakes.
  w32ui::SetWakeHandler([this] { midi_->Deliver(); });
  midi_->SetWakeup([] { w32ui::WakeGuiThread(); });
}

Win32Platform::~Win32Platform() {
  midi_->SetWakeup(nullptr);
  w32ui::SetWakeHandler(nullptr);
  w32ui::PlayWaveImage(nullptr, 0);
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
HWND Win32Platform::CreateMainWindow(const char* className, const char* caption, WNDPROC wndProc) {
  main_ = Seam(w32ui::CreateMainWindow(Text(className), Text(caption),
                                       [wndProc](w32ui::Handle h, unsigned m, uintptr_t w, intptr_t l) {
                                         if (m == WM_DROPFILES) return DeliverDrop(wndProc, Seam(h), w, l);
                                         return static_cast<intptr_t>(wndProc(Seam(h), m, w, l));
                                       }));
  if (main_ != nullptr && simulator_) simulator_->ShowWindow(U(main_));
  return main_;
}

int Win32Platform::RunMessageLoop() { return w32ui::RunMessageLoop(); }

void Win32Platform::PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  w32ui::Post(U(hWnd), msg, wParam, lParam);
}

void Win32Platform::PostQuitMessage(int exitCode) { w32ui::PostQuitMessage(exitCode); }

UINT Win32Platform::SetTimer(HWND hWnd, UINT id, UINT periodMs) { return w32ui::SetTimer(U(hWnd), id, periodMs); }

void Win32Platform::KillTimer(HWND hWnd, UINT id) { w32ui::KillTimer(U(hWnd), id); }

int Win32Platform::MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return w32ui::ShowMessageBox(U(owner), Text(text), caption, type);
}

void Win32Platform::InvalidateRect(HWND hWnd, bool erase) {
  // Null would be every window of the desktop in Win32; here it is ours.
  w32ui::InvalidateRect(U(hWnd ? hWnd : main_), erase);
}

RECT Win32Platform::GetClientRect(HWND hWnd) {
  const w32ui::Rect r = w32ui::GetClientRect(U(hWnd));
  return {static_cast<LONG>(r.left), static_cast<LONG>(r.top), static_cast<LONG>(r.right),
          static_cast<LONG>(r.bottom)};
}

void Win32Platform::DestroyWindow(HWND hWnd) {
  if (hWnd != nullptr) w32ui::DestroyWindow(U(hWnd));
}

void Win32Platform::MoveWindow(HWND hWnd, int x, int y, int w, int h, bool repaint) {
  w32ui::MoveWindow(U(hWnd), x, y, w, h, repaint);
}


// ---------------------------------------------------------------------------
// Child controls
// ---------------------------------------------------------------------------
HWND Win32Platform::CreateButton(HWND parent, const char* label, int id, int x, int y, int w, int h) {
  return Seam(w32ui::CreateButton(U(parent), Text(label), id, x, y, w, h));
}

HWND Win32Platform::CreateStatusBar(HWND parent, int id) { return Seam(w32ui::CreateStatusBar(U(parent), id)); }

void Win32Platform::StatusSetParts(HWND status, int count, const int* rightEdges) {
  if (count > 0 && rightEdges) w32ui::StatusSetParts(U(status), std::vector<int>(rightEdges, rightEdges + count));
}

void Win32Platform::StatusSetText(HWND status, int part, const char* text) {
  w32ui::StatusSetText(U(status), part, Text(text));
}

HWND Win32Platform::CreateProgressBar(HWND parent, int x, int y, int w, int h) {
  return Seam(w32ui::CreateProgressBar(U(parent), x, y, w, h));
}

void Win32Platform::ProgressSet(HWND bar, int position, int range) { w32ui::ProgressSet(U(bar), position, range); }

// ---------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------
Canvas* Win32Platform::BeginPaint(HWND hWnd) {
  w32ui::Painter* painter = w32ui::BeginPaint(U(hWnd));
  if (painter == nullptr) return nullptr;
  canvas_ = std::make_unique<Win32Canvas>(*painter);
  return canvas_.get();
}

void Win32Platform::EndPaint(HWND hWnd, Canvas* canvas) {
  if (canvas == nullptr || canvas != canvas_.get()) return;
  w32ui::EndPaint(U(hWnd), &canvas_->Painter());
  canvas_.reset();
}

// ---------------------------------------------------------------------------
// Option dialogs
// ---------------------------------------------------------------------------
INT_PTR Win32Platform::ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  return tpl ? w32ui::ShowDialog(U(owner), *tpl, state, onEvent) : -1;
}

// ---------------------------------------------------------------------------
// Common dialogs, drops and the shell
// ---------------------------------------------------------------------------
FileDialogResult Win32Platform::ChooseFile(OPENFILENAME& ofn, bool save) {
  w32ui::FileRequest request;
  request.owner = U(ofn.hwndOwner);
  for (const FileFilter& f : ofn.filters) request.filters.emplace_back(f.description, f.pattern);
  // An index that names no filter shows the first, and the first is reported.
  request.filterIndex = ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= ofn.filters.size() ? ofn.nFilterIndex : 1;
  request.initialDir = ofn.initialDir;
  request.flags = ofn.flags;
  if (!w32ui::RunFileDialog(request, save)) {
    const auto error = static_cast<DWORD>(request.error);
    return {error ? FileDialogResult::kFailed : FileDialogResult::kCancelled, error};
  }
  ofn.file = request.file;
  ofn.fileTitle = request.fileTitle;
  ofn.nFilterIndex = request.filterIndex;
  return {FileDialogResult::kChosen};
}

void Win32Platform::DragAcceptFiles(HWND hWnd, bool accept) { w32ui::DragAcceptFiles(U(hWnd), accept); }

bool Win32Platform::ShellOpen(HWND owner, const char* file) {
  return w32ui::ShellOpen(U(owner), Text(file), GetCurrentDirectory());
}

// ---------------------------------------------------------------------------
// Sound and the single instance
// ---------------------------------------------------------------------------
bool Win32Platform::PlaySoundMemory(const void* wavImage, UINT flags) {
  if (wavImage == nullptr) return w32ui::PlayWaveImage(nullptr, 0);
  const size_t bytes = (flags & SND_MEMORY) ? WaveImageBytes(wavImage) : 0;
  if (bytes == 0) {
    w32ui::PlayWaveImage(nullptr, 0);
    return false;
  }
  return w32ui::PlayWaveImage(wavImage, bytes);
}

std::unique_ptr<InstanceLock> Win32Platform::LockSingleInstance(const char* name) {
  if (instanceHeld_) return std::make_unique<InstanceLock>();
  if (!w32ui::AcquireSingleInstance(Text(name))) return nullptr;
  instanceHeld_ = true;
  return std::make_unique<InstanceLock>([this] {
    w32ui::ReleaseSingleInstance();
    instanceHeld_ = false;
  });
}
