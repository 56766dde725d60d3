#include "platform/web/platform_web.h"

#include <emscripten.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/midi/sim/sim_port.h"
#include "platform/midi/sim/sim_view.h"
#include "platform/web/page_calls.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"

namespace {

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Handles are small numbers the page names its elements by; never 0.
int IdOf(HWND h) { return static_cast<int>(reinterpret_cast<uintptr_t>(h)); }

std::string Json(const char* s) {
  std::string out = "\"";
  for (const char* p = s ? s : ""; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}
std::string Json(const std::string& s) { return Json(s.c_str()); }

std::string MenuJson() {
  std::string out = "[";
  for (const MenuPopup& popup : MainMenu()) {
    if (out.size() > 1) out += ",";
    out += "{\"text\":" + Json(popup.text) + ",\"items\":[";
    bool first = true;
    for (const MenuItem& item : popup.items) {
      if (!first) out += ",";
      first = false;
      out += "{\"text\":" + (item.text ? Json(item.text) : std::string("null")) + ",\"id\":" + std::to_string(item.id) + "}";
    }
    out += "]}";
  }
  return out + "]";
}

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Static: return "static";
    case ControlKind::GroupBox: return "group";
    case ControlKind::PushButton: return "button";
    case ControlKind::DefaultPushButton: return "default";
    case ControlKind::RadioButton: return "radio";
    case ControlKind::AutoRadioButton: return "autoradio";
    case ControlKind::AutoCheckBox: return "check";
    case ControlKind::Edit: return "edit";
    case ControlKind::DropDownList: return "list";
  }
  return "static";
}

std::string TemplateJson(const DialogTemplate& tpl) {
  std::string out = "{\"caption\":" + Json(tpl.caption) + ",\"w\":" + std::to_string(tpl.w) +
                    ",\"h\":" + std::to_string(tpl.h) + ",\"controls\":[";
  for (size_t i = 0; i < tpl.controls.size(); ++i) {
    const DialogControl& c = tpl.controls[i];
    if (i) out += ",";
    out += "{\"kind\":\"" + std::string(KindName(c.kind)) + "\",\"id\":" + std::to_string(c.id) +
           ",\"text\":" + Json(c.text) + ",\"x\":" + std::to_string(c.x) + ",\"y\":" + std::to_string(c.y) +
           ",\"w\":" + std::to_string(c.w) + ",\"h\":" + std::to_string(c.h) +
           ",\"right\":" + ((c.style & CS_ALIGN_RIGHT) ? "true" : "false") + "}";
  }
  return out + "]}";
}

std::string StateJson(const DialogState& state) {
  std::string out = "{";
  bool first = true;
  for (const auto& [id, item] : state.items) {
    if (!first) out += ",";
    first = false;
    out += "\"" + std::to_string(id) + "\":{\"text\":" + Json(item.text) +
           ",\"checked\":" + (item.checked ? "true" : "false") + ",\"enabled\":" + (item.enabled ? "true" : "false") +
           ",\"selection\":" + std::to_string(item.selection) + ",\"entries\":[";
    for (size_t i = 0; i < item.entries.size(); ++i) out += (i ? "," : "") + Json(item.entries[i]);
    out += "]}";
  }
  return out + "}";
}

std::string FiltersJson(const OPENFILENAME& ofn) {
  std::string out = "[";
  for (size_t i = 0; i < ofn.filters.size(); ++i)
    out += (i ? "," : "") + std::string("{\"description\":") + Json(ofn.filters[i].description) +
           ",\"pattern\":" + Json(ofn.filters[i].pattern) + "}";
  return out + "]";
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsUnder(const std::string& path, const char* folder) {
  const size_t n = std::strlen(folder);
  return path.size() > n && path.compare(0, n, folder) == 0 && path[n] == '/';
}

// The whole file's bytes; empty when it can't be read.
std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* fp = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(fp);
  }
  return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------
// An event from the page, as the page script queued it.
// ---------------------------------------------------------------------------
struct WebPlatform::PageEvent {
  int kind = 0;
  int a = 0, b = 0, c = 0, d = 0;
  std::string text;
  std::vector<uint8_t> bytes;
};

namespace page_event {
constexpr int kCommand = 1;      // a: menu command id
constexpr int kButton = 2;       // a: button handle
constexpr int kClick = 3;        // a, b: client point; c: mouse_key flags
constexpr int kResize = 4;       // a, b: client size
constexpr int kBoxAnswer = 5;    // a: button_id
constexpr int kDialog = 6;       // a: dialog handle; b: control id; c: 0 click, 1 select, 2 edit; d: index; text
constexpr int kFileChosen = 7;   // a: 1 chosen; b: filter index; text: the path in the file system
constexpr int kMidiIn = 8;       // a: input index; bytes
constexpr int kDrop = 9;         // a, b: client point; text: the paths, one a line
constexpr int kSimAction = 11;   // a: index into simview::kButtons; b: type; text: an image file's path
constexpr int kMidiSent = 10;    // a: output index; b: 1 sent, 0 refused; text: the browser's words
}  // namespace page_event

// ---------------------------------------------------------------------------
// The canvas: every call goes straight to the page's 2D context.
// ---------------------------------------------------------------------------
class WebPlatform::WebCanvas : public Canvas {
 public:
  void SetPen(int width, Colour colour, bool) override { web_canvas_pen(std::max(1, width), static_cast<int>(colour)); }
  void MoveTo(int x, int y) override {
    x_ = x;
    y_ = y;
  }
  void LineTo(int x, int y) override {
    web_canvas_line(x_, y_, x, y);
    x_ = x;
    y_ = y;
  }
  void DrawBitmap(int bitmapId, int x, int y, int w, int h) override { web_canvas_bitmap(bitmapId, x, y, w, h); }
  void SetFont(const LogFont& f) override {
    const char* end = std::find(f.lfFaceName, f.lfFaceName + sizeof f.lfFaceName, '\0');
    const std::string face(f.lfFaceName, end);
    web_canvas_font(f.lfHeight, f.lfWeight, f.lfItalic, f.lfPitchAndFamily, face.c_str());
  }
  void SetTextAlign(uint32_t align) override { web_canvas_align(static_cast<int>(align)); }
  void PutText(int x, int y, const char* text) override { web_canvas_text(x, y, text ? text : ""); }

 private:
  int x_ = 0, y_ = 0;
};

// ---------------------------------------------------------------------------
// Web MIDI ports: the page holds the MIDIAccess; these name its ports by index.
// ---------------------------------------------------------------------------
class WebMidiInput : public MidiInputDevice {
 public:
  WebMidiInput(WebPlatform& platform, int index, std::string name)
      : platform_(platform), index_(index), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  MidiResult Open(MidiByteSink sink) override {
    if (!web_midi_open_input(index_)) return {midi_error::kAllocated, "The port could not be opened."};
    platform_.webInputs_[index_] = std::move(sink);
    return {};
  }
  void Close() override {
    web_midi_close_input(index_);
    platform_.webInputs_.erase(index_);
  }

 private:
  WebPlatform& platform_;
  int index_;
  std::string name_;
};

class WebMidiOutput : public MidiOutputDevice {
 public:
  WebMidiOutput(WebPlatform& platform, int index, std::string name)
      : platform_(platform), index_(index), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  MidiResult Open(SentReport report) override {
    if (!web_midi_open_output(index_)) return {midi_error::kAllocated, "The port could not be opened."};
    platform_.webOutputs_[index_] = std::move(report);
    return {};
  }
  // Messages handed over before still report when they have left.
  void Close() override { web_midi_close_output(index_); }
  // The page times each message to start once the one before has left the
  // wire, and tells (a page event) when its last byte has.
  MidiResult Send(const uint8_t* data, size_t size) override {
    if (!web_midi_send(index_, data, static_cast<int>(size)))
      return {midi_error::kNotReady, "The browser refused the message."};
    return {};
  }

 private:
  WebPlatform& platform_;
  int index_;
  std::string name_;
};

// ---------------------------------------------------------------------------
// An option dialog while it shows.
// ---------------------------------------------------------------------------
struct WebPlatform::DialogRun {
  HWND handle;
  DialogState* state;
  const DialogEventHandler* onEvent;
  DialogRun* outer;
  bool gone = false;
};

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------
WebPlatform::WebPlatform() : midi_(std::make_unique<MidiPortSet>()), canvas_(std::make_unique<WebCanvas>()) {
  SetConfigDirectory(kConfigFolder);
  SetDataDirectory(kDataFolder);
}

WebPlatform::~WebPlatform() {
  simView_.reset();
  midi_.reset();
}

void WebPlatform::StartSimulator() {
  if (simulator_) return;
  simulator_ = std::make_shared<simport::KilnboxLink>(simport::SteadyClock());
  simport::RegisterPorts(*midi_, simulator_);
  simView_ = std::make_unique<simview::SimulatorView>(simulator_);
  std::string setup = "{\"title\":" + Json(simview::kTitle) + ",\"typeLabel\":" + Json(simview::kTypeListLabel) +
                      ",\"defaultType\":" + std::to_string(simview::DefaultType()) + ",\"types\":[";
  const std::vector<std::string> types = simview::TypeNames();
  for (size_t i = 0; i < types.size(); ++i) setup += (i ? "," : "") + Json(types[i]);
  setup += "],\"buttons\":[";
  for (size_t i = 0; i < std::size(simview::kButtons); ++i) {
    const simview::Button& b = simview::kButtons[i];
    setup += std::string(i ? "," : "") + "{\"label\":" + Json(b.label) + ",\"row\":" + std::to_string(b.row) +
             ",\"column\":" + std::to_string(b.column) + ",\"asksForFile\":" + (b.asksForFile ? "true" : "false") +
             ",\"needsEprom\":" + (b.needsEprom ? "true" : "false") + "}";
  }
  web_sim_panel((setup + "]}").c_str());
  ShowSimulator(true);
}

void WebPlatform::ShowSimulator(bool now) {
  const uint64_t t = NowMs();
  if (!simView_ || (!now && t < simShownAt_ + simview::kRefreshMs)) return;
  simShownAt_ = t;
  const simview::State state = simView_->Read();
  web_sim_show(state.display.c_str(), state.socket.c_str(), state.eprom ? 1 : 0);
}

void WebPlatform::RegisterWebMidiPorts() {
  for (int i = 0, n = web_midi_input_count(); i < n; ++i) {
    char* name = web_midi_input_name(i);
    midi_->AddInput(std::make_unique<WebMidiInput>(*this, i, name ? name : ""));
    std::free(name);
  }
  for (int i = 0, n = web_midi_output_count(); i < n; ++i) {
    char* name = web_midi_output_name(i);
    midi_->AddOutput(std::make_unique<WebMidiOutput>(*this, i, name ? name : ""));
    std::free(name);
  }
}

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------
HWND WebPlatform::AddHandle(Kind kind) {
  HWND h = reinterpret_cast<HWND>(++nextHandle_);
  handles_[h] = kind;
  return h;
}

bool WebPlatform::Is(HWND h, Kind kind) const {
  auto it = handles_.find(h);
  return it != handles_.end() && it->second == kind;
}

void WebPlatform::ToWindow(const Queued& event) {
  if (main_ != nullptr && events_ != nullptr && !quit_) event(*events_);
}

// ---------------------------------------------------------------------------
// Windows, the queue and the loop
// ---------------------------------------------------------------------------
HWND WebPlatform::CreateMainWindow(const char* caption, WindowEvents& events) {
  web_create_main(caption ? caption : "", MenuJson().c_str());
  clientWidth_ = web_client_width();
  clientHeight_ = web_client_height();
  main_ = AddHandle(Kind::Main);
  events_ = &events;
  if (!events.Created(main_)) {
    DestroyWindow(main_);
    return nullptr;
  }
  ToWindow([](WindowEvents& e) { e.Resized(); });
  InvalidateRect(main_, true);
  return main_;
}

void WebPlatform::PumpOnce() {
  if (DispatchQueued()) return;
  FireDueTimers();
  if (simulator_) simulator_->Poll();
  ShowSimulator(false);
  if (midi_->HasPendingInput()) midi_->Deliver();
  if (!queue_.empty()) return;
  PaintIfNeeded();
  WaitForPage();
}

bool WebPlatform::DispatchQueued() {
  if (queue_.empty()) return false;
  const Queued event = std::move(queue_.front());
  queue_.pop_front();
  ToWindow(event);
  return true;
}

void WebPlatform::FireDueTimers() {
  const uint64_t now = NowMs();
  // A copy: a tick may set or kill timers. Ticks missed are not made up.
  const std::vector<Timer> timers = timers_;
  for (const Timer& t : timers) {
    if (t.due > now) continue;
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const Timer& x) { return x.window == t.window && x.id == t.id; });
    if (it == timers_.end() || it->due > now) continue;
    it->due = now + it->period;
    if (t.window == main_) ToWindow([id = t.id](WindowEvents& e) { e.Timer(id); });
  }
}

void WebPlatform::PaintIfNeeded() {
  if (!invalidated_ || main_ == nullptr || quit_) return;
  invalidated_ = false;
  web_paint_begin(eraseWanted_ ? 1 : 0);
  eraseWanted_ = false;
  ToWindow([this](WindowEvents& e) { e.Paint(*canvas_); });
  web_paint_end();
}

void WebPlatform::WaitForPage() {
  uint64_t waitMs = 60000;
  const uint64_t now = NowMs();
  for (const Timer& t : timers_) waitMs = std::min<uint64_t>(waitMs, t.due > now ? t.due - now : 0);
  if (simulator_) waitMs = std::min<uint64_t>(waitMs, simulator_->MsUntilNextPoll());
  if (simView_) waitMs = std::min<uint64_t>(waitMs, simShownAt_ + simview::kRefreshMs - std::min(now, simShownAt_ + simview::kRefreshMs));
  if (invalidated_ || !queue_.empty()) waitMs = 0;
  // Even a wait of nothing lets the browser run once, so that it paints and
  // takes input.
  web_wait_event(static_cast<int>(waitMs));
  // Everything the page has queued meanwhile, in order.
  PageEvent e;
  int ints[6];
  while (char* text = web_take_event(ints)) {
    e.kind = ints[0];
    e.a = ints[1];
    e.b = ints[2];
    e.c = ints[3];
    e.d = ints[4];
    e.text = text;
    std::free(text);
    e.bytes.resize(static_cast<size_t>(std::max(0, ints[5])));
    if (!e.bytes.empty()) web_take_event_bytes(e.bytes.data());
    HandlePageEvent(e);
  }
}

void WebPlatform::HandlePageEvent(const PageEvent& e) {
  switch (e.kind) {
    case page_event::kCommand: queue_.push_back([id = e.a](WindowEvents& w) { w.Command(id); }); break;
    case page_event::kButton:
      // A button reports its click at once.
      if (Is(reinterpret_cast<HWND>(static_cast<uintptr_t>(e.a)), Kind::Button))
        ToWindow([id = e.b](WindowEvents& w) { w.Command(id); });
      break;
    case page_event::kClick:
      ToWindow([&](WindowEvents& w) { w.LeftButtonDown(POINT{e.a, e.b}, static_cast<uintptr_t>(e.c)); });
      break;
    case page_event::kResize:
      clientWidth_ = e.a;
      clientHeight_ = e.b;
      ToWindow([](WindowEvents& w) { w.Resized(); });
      InvalidateRect(main_, true);
      break;
    case page_event::kBoxAnswer: boxAnswer_ = e.a; break;
    case page_event::kDialog: {
      DialogRun* run = dialog_;
      while (run && IdOf(run->handle) != e.a) run = run->outer;
      if (run == nullptr || run->state->ended) break;
      auto it = run->state->items.find(e.b);
      if (it != run->state->items.end() && !it->second.enabled) break;
      DialogEvent event = DialogEvent::Click;
      if (e.c == 1) {
        event = DialogEvent::Select;
        if (it != run->state->items.end()) it->second.selection = e.d;
      } else if (e.c == 2) {
        event = DialogEvent::Edit;
        if (it != run->state->items.end()) it->second.text = e.text;
      }
      (*run->onEvent)(e.b, event);
      if (!run->state->ended) web_dialog_update(e.a, StateJson(*run->state).c_str());
      break;
    }
    case page_event::kFileChosen:
      fileAnswer_.done = true;
      fileAnswer_.chosen = e.a != 0;
      fileAnswer_.filterIndex = e.b;
      fileAnswer_.path = e.text;
      break;
    case page_event::kMidiIn: {
      auto it = webInputs_.find(e.a);
      if (it != webInputs_.end() && it->second) it->second(e.bytes.data(), e.bytes.size());
      break;
    }
    case page_event::kSimAction: {
      if (!simView_ || e.a < 0 || e.a >= static_cast<int>(std::size(simview::kButtons))) break;
      const std::string error = simView_->Do(simview::kButtons[e.a].action, e.b, e.text);
      if (!error.empty()) ShowMessage(nullptr, error.c_str(), simview::kTitle, MB_OK | MB_ICONWARNING);
      ShowSimulator(true);
      break;
    }
    case page_event::kMidiSent: {
      auto it = webOutputs_.find(e.a);
      if (it == webOutputs_.end() || !it->second) break;
      it->second(e.b ? MidiResult{} : MidiResult{midi_error::kError, e.text});
      break;
    }
    case page_event::kDrop: {
      if (!acceptsDrops_) break;
      DroppedFiles dropped;
      size_t start = 0;
      while (start < e.text.size()) {
        size_t end = e.text.find('\n', start);
        if (end == std::string::npos) end = e.text.size();
        if (end > start) dropped.names.push_back(e.text.substr(start, end - start));
        start = end + 1;
      }
      dropped.point = {e.a, e.b};
      dropped.inClient = e.a >= 0 && e.b >= 0 && e.a < clientWidth_ && e.b < clientHeight_;
      ToWindow([&](WindowEvents& w) { w.FilesDropped(dropped); });
      break;
    }
    default: break;
  }
}

int WebPlatform::RunMessageLoop() {
  while (!quit_) PumpOnce();
  return exitCode_;
}

void WebPlatform::RequestClose(HWND hWnd) {
  if (hWnd == main_ && main_ != nullptr) queue_.push_back([](WindowEvents& e) { e.CloseRequested(); });
}

void WebPlatform::Quit(int exitCode) {
  if (quit_) return;
  quit_ = true;
  exitCode_ = exitCode;
}

UINT WebPlatform::SetTimer(HWND hWnd, UINT id, UINT periodMs) {
  const UINT period = std::max<UINT>(periodMs, 1);
  for (Timer& t : timers_) {
    if (t.window == hWnd && t.id == id) {
      t.period = period;
      t.due = NowMs() + period;
      return id;
    }
  }
  timers_.push_back({hWnd, id, period, NowMs() + period});
  return id;
}

void WebPlatform::KillTimer(HWND hWnd, UINT id) {
  std::erase_if(timers_, [&](const Timer& t) { return t.window == hWnd && t.id == id; });
}

int WebPlatform::ShowMessage(HWND, const char* text, const char* caption, UINT type) {
  const int saved = boxAnswer_;
  boxAnswer_ = 0;
  // The desktop's default caption for a box that names none.
  web_message_box(text ? text : "", caption ? caption : "Error", static_cast<int>(type));
  // The nested loop goes on with timers, MIDI and paints meanwhile; a box
  // the program quits under answers as its close box would.
  while (boxAnswer_ == 0 && !quit_) PumpOnce();
  int answer = boxAnswer_;
  if (answer == 0) answer = (type & MB_TYPEMASK) == MB_OKCANCEL ? IDCANCEL : (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
  web_message_box_close();
  boxAnswer_ = saved;
  return answer;
}

void WebPlatform::InvalidateRect(HWND hWnd, bool erase) {
  if (hWnd != main_ && hWnd != nullptr) return;
  invalidated_ = true;
  eraseWanted_ = eraseWanted_ || erase;
}

RECT WebPlatform::GetClientRect(HWND hWnd) {
  if (hWnd != main_ || main_ == nullptr) return {0, 0, 0, 0};
  return {0, 0, clientWidth_, clientHeight_};
}

void WebPlatform::DestroyWindow(HWND hWnd) {
  if (!handles_.count(hWnd)) return;
  handles_.erase(hWnd);
  if (hWnd == main_) {
    main_ = nullptr;
    web_destroy_main();
    return;
  }
  web_destroy_element(IdOf(hWnd));
}

void WebPlatform::MoveWindow(HWND hWnd, int x, int y, int w, int h, bool) {
  if (!handles_.count(hWnd) || hWnd == main_) return;
  web_move_element(IdOf(hWnd), x, y, std::max(0, w), std::max(0, h));
}

// ---------------------------------------------------------------------------
// Child controls
// ---------------------------------------------------------------------------
HWND WebPlatform::CreateButton(HWND parent, const char* label, int id, int x, int y, int w, int h) {
  if (parent != main_ || main_ == nullptr) return nullptr;
  const HWND handle = AddHandle(Kind::Button);
  web_create_button(IdOf(handle), label ? label : "", id, x, y, std::max(0, w), std::max(0, h));
  return handle;
}

HWND WebPlatform::CreateStatusBar(HWND parent, int) {
  if (parent != main_ || main_ == nullptr) return nullptr;
  const HWND handle = AddHandle(Kind::Status);
  web_create_status(IdOf(handle));
  return handle;
}

void WebPlatform::StatusSetParts(HWND status, int count, const int* rightEdges) {
  if (!Is(status, Kind::Status) || count <= 0 || rightEdges == nullptr) return;
  web_status_parts(IdOf(status), rightEdges, count);
}

void WebPlatform::StatusSetText(HWND status, int part, const char* text) {
  if (Is(status, Kind::Status)) web_status_text(IdOf(status), part, text ? text : "");
}

HWND WebPlatform::CreateProgressBar(HWND parent, int x, int y, int w, int h) {
  if (parent != main_ || main_ == nullptr) return nullptr;
  const HWND handle = AddHandle(Kind::Progress);
  web_create_progress(IdOf(handle), x, y, std::max(0, w), std::max(0, h));
  return handle;
}

void WebPlatform::ProgressSet(HWND bar, int position, int range) {
  if (Is(bar, Kind::Progress)) web_progress_set(IdOf(bar), position, range);
}

// ---------------------------------------------------------------------------
// Option dialogs, built by the page from the templates.
// ---------------------------------------------------------------------------
INT_PTR WebPlatform::ShowDialog(HWND, int templateId, DialogState& state, const DialogEventHandler& onEvent) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  if (tpl == nullptr) return -1;
  if (state.ended) return state.result;
  DialogRun run{AddHandle(Kind::Dialog), &state, &onEvent, dialog_};
  handles_[run.handle] = Kind::Dialog;
  dialog_ = &run;
  state.window = run.handle;
  web_dialog_show(IdOf(run.handle), TemplateJson(*tpl).c_str(), StateJson(state).c_str());
  while (!state.ended && !quit_) PumpOnce();
  web_dialog_close(IdOf(run.handle));
  dialog_ = run.outer;
  handles_.erase(run.handle);
  state.window = nullptr;
  return state.ended ? state.result : -1;
}

// ---------------------------------------------------------------------------
// File dialogs, drops and the shell
// ---------------------------------------------------------------------------
FileDialogResult WebPlatform::ChooseFile(OPENFILENAME& ofn, bool save) {
  fileAnswer_ = {};
  std::string suggested = BaseName(ofn.file);
  web_choose_file(save ? 1 : 0, FiltersJson(ofn).c_str(), static_cast<int>(ofn.nFilterIndex), suggested.c_str());
  while (!fileAnswer_.done && !quit_) PumpOnce();
  if (!fileAnswer_.chosen || fileAnswer_.path.empty()) return {FileDialogResult::kCancelled};
  ofn.file = fileAnswer_.path;
  ofn.fileTitle = BaseName(fileAnswer_.path);
  if (fileAnswer_.filterIndex > 0) ofn.nFilterIndex = static_cast<uint32_t>(fileAnswer_.filterIndex);
  return {FileDialogResult::kChosen};
}

void WebPlatform::DragAcceptFiles(HWND hWnd, bool accept) {
  if (hWnd == main_) acceptsDrops_ = accept;
}

bool WebPlatform::ShellOpen(HWND, const char* file) {
  std::string target = file ? file : "";
  if (target.empty()) return false;
  const bool address = target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0 ||
                       target.rfind("mailto:", 0) == 0;
  if (!address) {
    // The help pages the program installed are served beside the page;
    // no other file of the program's file system is.
    target = Resolve(target);
    const std::string data = std::string(kDataFolder) + "/";
    if (target.compare(0, data.size(), data) != 0) return false;
    target = target.substr(data.size());
  }
  return web_open_address(target.c_str()) != 0;
}

bool WebPlatform::PlaySoundMemory(const void* wavImage, UINT) {
  if (wavImage == nullptr) {
    web_play_sound(nullptr, 0);
    return true;
  }
  // A RIFF image: its size follows the tag, the 8 header bytes not counted.
  const auto* bytes = static_cast<const uint8_t*>(wavImage);
  const uint32_t size = static_cast<uint32_t>(bytes[4]) | static_cast<uint32_t>(bytes[5]) << 8 |
                        static_cast<uint32_t>(bytes[6]) << 16 | static_cast<uint32_t>(bytes[7]) << 24;
  return web_play_sound(bytes, static_cast<int>(size + 8)) != 0;
}

std::unique_ptr<InstanceLock> WebPlatform::LockSingleInstance(const char*, const std::vector<std::string>&) {
  // The page asks the browser before the program starts (a second tab says
  // the program is open and stops there); within the page there is one.
  return std::make_unique<InstanceLock>();
}

// ---------------------------------------------------------------------------
// Files and the clock
// ---------------------------------------------------------------------------
bool WebPlatform::RenameOver(const std::string& from, const std::string& to) {
  if (!os::SystemServices::RenameOver(from, to)) return false;
  const std::string path = Resolve(to);
  if (IsUnder(path, kConfigFolder)) {
    const std::vector<uint8_t> bytes = ReadAll(path);
    return web_store_config(BaseName(path).c_str(), bytes.data(), static_cast<int>(bytes.size())) != 0;
  }
  if (IsUnder(path, kDownloadFolder)) {
    const std::vector<uint8_t> bytes = ReadAll(path);
    web_download(BaseName(path).c_str(), bytes.data(), static_cast<int>(bytes.size()));
    // Gone once handed over, so that saving under the name again asks nothing.
    std::remove(path.c_str());
  }
  return true;
}

// The page never blocks: a wait lets the browser run meanwhile.
void WebPlatform::Sleep(UINT ms) { emscripten_sleep(ms); }
