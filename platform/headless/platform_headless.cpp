#include "platform/headless/platform_headless.h"

#include <algorithm>
#include <thread>

#include "platform/os/os_services.h"

namespace headless {

// ---------------------------------------------------------------------------
// Windows and controls
// ---------------------------------------------------------------------------
struct HeadlessPlatform::Window {
  enum Kind { Main, Button, Status, Progress, Dialog } kind;
  HWND parent = nullptr;
  std::string text;
  int id = 0;
  int x = 0, y = 0, w = 0, h = 0;
  bool destroyed = false;
  // status bar
  std::vector<int> parts;
  std::string partText[3];
  // progress bar
  int high = 100, position = 0;
  // dialog, while it is open
  int templateId = 0;
  const DialogTemplate* dialogTemplate = nullptr;
  DialogState* dialog = nullptr;
  const DialogEventHandler* onEvent = nullptr;
};

class HeadlessPlatform::RecordingCanvas : public Canvas {
 public:
  explicit RecordingCanvas(std::vector<CanvasOp>& ops) : ops_(ops) {}
  void SetPen(int width, COLORREF colour, bool insideFrame) override {
    ops_.push_back({CanvasOp::Pen, width, static_cast<int>(colour), insideFrame ? 1 : 0, 0, 0, {}});
  }
  void MoveTo(int x, int y) override { ops_.push_back({CanvasOp::MoveTo, x, y, 0, 0, 0, {}}); }
  void LineTo(int x, int y) override { ops_.push_back({CanvasOp::LineTo, x, y, 0, 0, 0, {}}); }
  void DrawBitmap(int bitmapId, int x, int y, int w, int h) override {
    ops_.push_back({CanvasOp::Bitmap, bitmapId, x, y, w, h, {}});
  }
  void SetFont(const LOGFONT& font) override {
    ops_.push_back({CanvasOp::Font, static_cast<int>(font.lfHeight), static_cast<int>(font.lfWeight), 0, 0, 0,
                    font.lfFaceName});
  }
  void SetTextAlign(UINT align) override { ops_.push_back({CanvasOp::Align, static_cast<int>(align), 0, 0, 0, 0, {}}); }
  void PutText(int x, int y, const char* text) override { ops_.push_back({CanvasOp::Text, x, y, 0, 0, 0, text}); }

 private:
  std::vector<CanvasOp>& ops_;
};

HeadlessPlatform::HeadlessPlatform()
    : midi_(std::make_unique<MidiPortSet>()),
      canvas_(std::make_unique<RecordingCanvas>(lastPaint)) {
  SetTraceSink([this](const char* text) { debugTraces.emplace_back(text); });
  midi_->SetWakeup([this] {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    woken_ = true;
    wakeCv_.notify_all();
  });
}

// The single instance: among the platforms of this process.
namespace {
std::map<std::string, HeadlessPlatform*>& InstanceNames() {
  static std::map<std::string, HeadlessPlatform*> names;
  return names;
}
}  // namespace

HeadlessPlatform::~HeadlessPlatform() {
  std::erase_if(InstanceNames(), [this](const auto& held) { return held.second == this; });
  midi_->SetWakeup(nullptr);
}

uint64_t HeadlessPlatform::NowMs() const {
  if (!realClock_) return now_;
  const auto elapsed = std::chrono::steady_clock::now() - epoch_;
  return epochMs_ + static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void HeadlessPlatform::UseRealClock() {
  realClock_ = true;
  epoch_ = std::chrono::steady_clock::now();
  epochMs_ = now_;
}

void HeadlessPlatform::SyncClock() {
  if (realClock_) now_ = std::max(now_, NowMs());
}

void HeadlessPlatform::WaitForWakeup(uint64_t maxMs) {
  std::unique_lock<std::mutex> lock(wakeMutex_);
  wakeCv_.wait_for(lock, std::chrono::milliseconds(maxMs), [this] { return woken_; });
  woken_ = false;
}

void HeadlessPlatform::AdvanceRealTime(uint64_t ms) {
  SyncClock();
  const uint64_t target = now_ + ms;
  Pump();
  while (!quit_) {
    SyncClock();
    if (now_ >= target) break;
    std::optional<uint64_t> next = NextEventTime();
    const uint64_t until = next ? std::min(*next, target) : target;
    if (until > now_ && !midi_->HasPendingInput()) WaitForWakeup(until - now_);
    SyncClock();
    RunTimeSourcesTo(now_);
    FireDueTimers();
    Pump();
  }
}

HeadlessPlatform::Window* HeadlessPlatform::Find(HWND h) const {
  for (const auto& w : windows_)
    if (reinterpret_cast<HWND>(w.get()) == h) return w.get();
  return nullptr;
}

HWND HeadlessPlatform::NewWindow(std::unique_ptr<Window> w) {
  HWND handle = reinterpret_cast<HWND>(w.get());
  windows_.push_back(std::move(w));
  return handle;
}

HWND HeadlessPlatform::MainWindow() const { return main_; }

// ---------------------------------------------------------------------------
// The message loop
// ---------------------------------------------------------------------------
void HeadlessPlatform::ToWindow(const std::function<void(WindowEvents&)>& event) {
  if (main_ != nullptr && events_ != nullptr) event(*events_);
}

void HeadlessPlatform::Deliver(const Queued& q) {
  if (q.window == nullptr) {
    // A timer set without a window: the thread's own.
    if (q.kind == Queued::Timer && onThreadTimer) onThreadTimer(q.id);
    return;
  }
  if (q.window != main_) return;
  switch (q.kind) {
    case Queued::Command: ToWindow([&](WindowEvents& e) { e.Command(static_cast<int>(q.id)); }); break;
    case Queued::Timer: ToWindow([&](WindowEvents& e) { e.Timer(q.id); }); break;
    case Queued::Close: ToWindow([](WindowEvents& e) { e.CloseRequested(); }); break;
  }
}

bool HeadlessPlatform::DispatchOne() {
  midi_->Deliver();
  if (queue_.empty()) return false;
  Queued q = queue_.front();
  queue_.pop_front();
  Deliver(q);
  return true;
}

void HeadlessPlatform::PaintIfNeeded() {
  if (!invalidated || main_ == nullptr) return;
  lastPaint.clear();
  invalidated = false;
  ToWindow([this](WindowEvents& e) { e.Paint(*canvas_); });
  ++paintCount;
}

void HeadlessPlatform::Pump() {
  for (;;) {
    while (DispatchOne()) {
    }
    DeliverHandedFiles();
    PaintIfNeeded();
    midi_->Deliver();
    if (queue_.empty() && !invalidated) return;
  }
}

void HeadlessPlatform::DeliverHandedFiles() {
  handedFiles_.Deliver([this] { return main_ != nullptr && acceptsDrops; },
                       [this](DroppedFiles& dropped) {
                         ToWindow([&](WindowEvents& e) { e.FilesDropped(dropped); });
                       });
}

std::optional<uint64_t> HeadlessPlatform::NextEventTime() const {
  std::optional<uint64_t> next;
  for (const Timer& t : timers_)
    if (!next || t.due < *next) next = t.due;
  for (const TimeSource* s : timeSources_) {
    std::optional<uint64_t> due = s->NextDue();
    if (due && (!next || *due < *next)) next = due;
  }
  return next;
}

void HeadlessPlatform::RunTimeSourcesTo(uint64_t t) {
  // Copy: a source may add or remove sources while it runs.
  std::vector<TimeSource*> sources = timeSources_;
  for (TimeSource* s : sources)
    if (std::find(timeSources_.begin(), timeSources_.end(), s) != timeSources_.end()) s->RunTo(t);
}

void HeadlessPlatform::FireDueTimers() {
  for (Timer& t : timers_) {
    if (t.due > now_) continue;
    // One tick for this period; the next is a period later.
    t.due += t.period;
    if (t.due <= now_) t.due = now_ + t.period;
    queue_.push_back({t.window, Queued::Timer, t.id});
  }
}

void HeadlessPlatform::AdvanceTime(uint64_t ms) {
  if (realClock_) {
    AdvanceRealTime(ms);
    return;
  }
  const uint64_t target = now_ + ms;
  Pump();
  for (;;) {
    std::optional<uint64_t> next = NextEventTime();
    if (!next || *next > target) break;
    if (*next > now_) now_ = *next;
    RunTimeSourcesTo(now_);
    FireDueTimers();
    Pump();
    if (quit_) return;
  }
  now_ = std::max(now_, target);
  RunTimeSourcesTo(now_);
  Pump();
}

bool HeadlessPlatform::RunUntil(const std::function<bool()>& done, uint64_t maxMs, uint64_t stepMs) {
  SyncClock();
  const uint64_t end = now_ + maxMs;
  Pump();
  while (!done()) {
    SyncClock();
    if (now_ >= end || quit_) return done();
    AdvanceTime(std::min(stepMs, end - now_));
  }
  return true;
}

int HeadlessPlatform::RunMessageLoop() {
  // Runs on virtual time until the program quits or nothing is left to do.
  Pump();
  while (!quit_) {
    std::optional<uint64_t> next = NextEventTime();
    if (!next) break;
    AdvanceTime(*next > now_ ? *next - now_ : 0);
  }
  return exitCode_;
}

void HeadlessPlatform::RequestClose(HWND hWnd) { queue_.push_back({hWnd, Queued::Close, 0}); }

void HeadlessPlatform::Quit(int exitCode) {
  quit_ = true;
  exitCode_ = exitCode;
}

UINT HeadlessPlatform::SetTimer(HWND hWnd, UINT id, UINT periodMs) {
  KillTimer(hWnd, id);
  SyncClock();
  timers_.push_back({hWnd, id, std::max<UINT>(periodMs, 1), now_ + std::max<UINT>(periodMs, 1)});
  return id;
}

void HeadlessPlatform::KillTimer(HWND hWnd, UINT id) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.window == hWnd && t.id == id; }),
                timers_.end());
}

bool HeadlessPlatform::TimerRunning(UINT id) const {
  return std::any_of(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
}

void HeadlessPlatform::AddTimeSource(TimeSource* source) { timeSources_.push_back(source); }

void HeadlessPlatform::RemoveTimeSource(TimeSource* source) {
  timeSources_.erase(std::remove(timeSources_.begin(), timeSources_.end(), source), timeSources_.end());
}

// ---------------------------------------------------------------------------
// Driving the main window
// ---------------------------------------------------------------------------
HWND HeadlessPlatform::CreateMainWindow(const char* caption, WindowEvents& events) {
  auto w = std::make_unique<Window>();
  w->kind = Window::Main;
  w->text = caption ? caption : "";
  w->w = clientWidth_;
  w->h = clientHeight_;
  main_ = NewWindow(std::move(w));
  events_ = &events;
  if (!events.Created(main_)) {
    DestroyWindow(main_);
    main_ = nullptr;
  }
  return main_;
}

void HeadlessPlatform::SetClientSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
  if (main_ == nullptr) return;
  ToWindow([](WindowEvents& e) { e.Resized(); });
  invalidated = true;
  Pump();
}

void HeadlessPlatform::Close() {
  ToWindow([](WindowEvents& e) { e.CloseRequested(); });
}

void HeadlessPlatform::FireTimer(UINT id) {
  ToWindow([id](WindowEvents& e) { e.Timer(id); });
}

void HeadlessPlatform::Command(int id) {
  queue_.push_back({main_, Queued::Command, static_cast<UINT>(id)});
  Pump();
}

bool HeadlessPlatform::ClickButton(int id) {
  for (const auto& w : windows_) {
    if (w->kind != Window::Button || w->destroyed || w->id != id) continue;
    // A button reports its click at once.
    ToWindow([id](WindowEvents& e) { e.Command(id); });
    Pump();
    return true;
  }
  return false;
}

void HeadlessPlatform::LeftClick(int x, int y, WPARAM keys) {
  ToWindow([&](WindowEvents& e) { e.LeftButtonDown(POINT{x, y}, keys); });
  Pump();
}

void HeadlessPlatform::DropFiles(const std::vector<std::string>& files, POINT at, bool inClient) {
  ToWindow([&](WindowEvents& e) { e.FilesDropped(DroppedFiles{files, at, inClient}); });
  Pump();
}

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------
void HeadlessPlatform::QueueMessageBoxAnswer(int button, uint64_t waitMs) {
  boxAnswers_.push_back({button, waitMs, nullptr, 0});
}

void HeadlessPlatform::QueueMessageBoxAnswerWhen(int button, std::function<bool()> ready, uint64_t maxMs) {
  boxAnswers_.push_back({button, 0, std::move(ready), maxMs});
}

static int FirstButton(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_YESNO: return IDYES;
    default: return IDOK;
  }
}

// What Esc or the close button answers; 0 where they do nothing.
static int CloseAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_YESNO: return 0;
    case MB_OKCANCEL: return IDCANCEL;
    default: return IDOK;
  }
}

int HeadlessPlatform::ShowMessage(HWND owner, const char* text, const char* caption, UINT type) {
  MessageBoxRecord r;
  r.owner = owner;
  r.text = text ? text : "";
  r.defaultCaption = caption == nullptr;
  r.caption = caption ? caption : "Error";
  r.type = type;
  r.timeMs = now_;
  while (r.answer == 0 && !boxAnswers_.empty()) {
    const BoxAnswer next = boxAnswers_.front();
    boxAnswers_.pop_front();
    // The box is modal: the nested loop keeps delivering while it is open.
    if (next.waitMs) AdvanceTime(next.waitMs);
    if (next.ready) RunUntil(next.ready, next.maxMs);
    r.answer = next.button == kCloseBox ? CloseAnswer(type) : next.button;
  }
  if (r.answer == 0) r.answer = onMessageBox ? onMessageBox(r) : FirstButton(type);
  messageBoxes.push_back(r);
  return r.answer;
}

// ---------------------------------------------------------------------------
// Child windows
// ---------------------------------------------------------------------------
void HeadlessPlatform::InvalidateRect(HWND hWnd, bool /*erase*/) {
  if (hWnd != main_ && hWnd != nullptr) return;
  invalidated = true;
}

RECT HeadlessPlatform::GetClientRect(HWND hWnd) {
  if (Window* w = Find(hWnd); w && w->kind != Window::Main) return {0, 0, w->w, w->h};
  return {0, 0, clientWidth_, clientHeight_};
}

void HeadlessPlatform::DestroyWindow(HWND hWnd) {
  if (Window* w = Find(hWnd)) w->destroyed = true;
  if (hWnd == main_) main_ = nullptr;
}

void HeadlessPlatform::MoveWindow(HWND hWnd, int x, int y, int w, int h, bool /*repaint*/) {
  if (Window* win = Find(hWnd)) {
    win->x = x;
    win->y = y;
    win->w = w;
    win->h = h;
  }
}

HWND HeadlessPlatform::CreateButton(HWND parent, const char* label, int id, int x, int y, int w, int h) {
  auto b = std::make_unique<Window>();
  b->kind = Window::Button;
  b->parent = parent;
  b->text = label ? label : "";
  b->id = id;
  b->x = x;
  b->y = y;
  b->w = w;
  b->h = h;
  return NewWindow(std::move(b));
}

std::vector<HeadlessPlatform::ButtonInfo> HeadlessPlatform::Buttons() const {
  std::vector<ButtonInfo> out;
  for (const auto& w : windows_)
    if (w->kind == Window::Button && !w->destroyed) out.push_back({w->id, w->text, w->x, w->y, w->w, w->h});
  return out;
}

HWND HeadlessPlatform::CreateStatusBar(HWND parent, int id) {
  auto s = std::make_unique<Window>();
  s->kind = Window::Status;
  s->parent = parent;
  s->id = id;
  return NewWindow(std::move(s));
}

void HeadlessPlatform::StatusSetParts(HWND status, int count, const int* rightEdges) {
  if (Window* w = Find(status)) w->parts.assign(rightEdges, rightEdges + count);
}

void HeadlessPlatform::StatusSetText(HWND status, int part, const char* text) {
  Window* w = Find(status);
  if (w == nullptr || w->kind != Window::Status || part < 0 || part > 2) return;
  w->partText[part] = text ? text : "";
  StatusRecord r{part, w->partText[part], now_};
  statusLog.push_back(r);
  if (onStatus) onStatus(r);
}

std::string HeadlessPlatform::StatusText(int part) const {
  for (const auto& w : windows_)
    if (w->kind == Window::Status && !w->destroyed && part >= 0 && part <= 2) return w->partText[part];
  return "";
}

std::vector<int> HeadlessPlatform::StatusParts() const {
  for (const auto& w : windows_)
    if (w->kind == Window::Status && !w->destroyed) return w->parts;
  return {};
}

HWND HeadlessPlatform::CreateProgressBar(HWND parent, int x, int y, int w, int h) {
  auto p = std::make_unique<Window>();
  p->kind = Window::Progress;
  p->parent = parent;
  p->x = x;
  p->y = y;
  p->w = w;
  p->h = h;
  return NewWindow(std::move(p));
}

void HeadlessPlatform::ProgressSet(HWND bar, int position, int range) {
  if (Window* w = Find(bar)) {
    w->high = range;
    w->position = position;
  }
}

std::vector<HeadlessPlatform::ProgressInfo> HeadlessPlatform::ProgressBars() const {
  std::vector<ProgressInfo> out;
  for (const auto& w : windows_)
    if (w->kind == Window::Progress)
      out.push_back({w->x, w->y, w->w, w->h, w->high, w->position, !w->destroyed});
  return out;
}

// ---------------------------------------------------------------------------
// Dialogs
// ---------------------------------------------------------------------------
void HeadlessPlatform::QueueDialog(DialogScript script) { dialogScripts_.push_back(std::move(script)); }

INT_PTR HeadlessPlatform::ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  if (tpl == nullptr) return -1;
  auto d = std::make_unique<Window>();
  d->kind = Window::Dialog;
  d->parent = owner;
  d->templateId = templateId;
  d->text = tpl->caption;
  d->dialogTemplate = tpl;
  d->dialog = &state;
  d->onEvent = &onEvent;
  Window* dialog = d.get();
  HWND hDlg = NewWindow(std::move(d));
  state.window = hDlg;

  DialogRecord record{templateId, 0, true};
  DialogDriver driver(*this, hDlg);
  if (!state.ended && !dialogScripts_.empty()) {
    DialogScript script = std::move(dialogScripts_.front());
    dialogScripts_.pop_front();
    script(driver);
  }
  // A dialog the script left open is closed as a user in a hurry would:
  // OK first, then Cancel.
  if (!state.ended) {
    record.endedByScript = false;
    driver.PressOk();
  }
  if (!state.ended) driver.PressCancel();
  record.result = state.ended ? state.result : -1;
  dialog->destroyed = true;
  dialog->dialog = nullptr;
  dialog->onEvent = nullptr;
  state.window = nullptr;
  dialogs.push_back(record);
  return record.result;
}

const DialogControl* HeadlessPlatform::DialogControlOf(HWND hDlg, int id) const {
  const Window* w = Find(hDlg);
  if (w == nullptr || w->dialog == nullptr || id == IDC_STATIC) return nullptr;
  for (const DialogControl& c : w->dialogTemplate->controls)
    if (c.id == id) return &c;
  return nullptr;
}

DialogItem* HeadlessPlatform::DialogItemOf(HWND hDlg, int id) const {
  if (DialogControlOf(hDlg, id) == nullptr) return nullptr;
  return &Find(hDlg)->dialog->items[id];
}

int DialogDriver::TemplateId() const {
  auto* w = platform_.Find(dialog_);
  return w ? w->templateId : 0;
}

bool DialogDriver::Ended() const {
  auto* w = platform_.Find(dialog_);
  return w == nullptr || w->dialog == nullptr || w->dialog->ended;
}

void DialogDriver::Report(int id, DialogEvent event) { (*platform_.Find(dialog_)->onEvent)(id, event); }

void DialogDriver::Command(int id) {
  if (!Ended()) Report(id, DialogEvent::Click);
}

bool DialogDriver::Click(int id) {
  const DialogControl* c = platform_.DialogControlOf(dialog_, id);
  if (c == nullptr || !platform_.DialogItemOf(dialog_, id)->enabled || Ended()) return false;
  if (c->kind == ControlKind::Static || c->kind == ControlKind::GroupBox || c->kind == ControlKind::Edit ||
      c->kind == ControlKind::DropDownList)
    return false;
  Report(id, DialogEvent::Click);
  return true;
}

bool DialogDriver::SelectListEntry(int id, int index) {
  DialogItem* list = platform_.DialogItemOf(dialog_, id);
  if (list == nullptr || !list->enabled || Ended() || index < 0 || index >= static_cast<int>(list->entries.size()))
    return false;
  list->selection = index;
  Report(id, DialogEvent::Select);
  return true;
}

bool DialogDriver::Type(int id, const std::string& text) {
  const DialogControl* c = platform_.DialogControlOf(dialog_, id);
  if (c == nullptr || c->kind != ControlKind::Edit || !platform_.DialogItemOf(dialog_, id)->enabled || Ended())
    return false;
  // The first key replaces the whole text, as typed over a selection; an
  // empty text is the selection deleted.
  for (size_t typed = 1; typed <= std::max<size_t>(text.size(), 1) && !Ended(); ++typed) {
    platform_.DialogItemOf(dialog_, id)->text = text.substr(0, typed);
    Report(id, DialogEvent::Edit);
  }
  return true;
}

void DialogDriver::PressEnter() {
  auto* w = platform_.Find(dialog_);
  if (w == nullptr || w->dialog == nullptr) return;
  for (const DialogControl& c : w->dialogTemplate->controls)
    if (c.kind == ControlKind::DefaultPushButton && IsEnabled(c.id)) return Command(c.id);
}

void DialogDriver::AdvanceTime(uint64_t ms) { platform_.AdvanceTime(ms); }

bool DialogDriver::IsChecked(int id) const {
  const DialogItem* item = platform_.DialogItemOf(dialog_, id);
  return item && item->checked;
}

bool DialogDriver::IsEnabled(int id) const {
  const DialogItem* item = platform_.DialogItemOf(dialog_, id);
  return item && item->enabled;
}

std::string DialogDriver::Text(int id) const {
  const DialogItem* item = platform_.DialogItemOf(dialog_, id);
  return item ? item->text : "";
}

std::vector<std::string> DialogDriver::ListItems(int id) const {
  const DialogItem* item = platform_.DialogItemOf(dialog_, id);
  return item ? item->entries : std::vector<std::string>{};
}

int DialogDriver::ListSelection(int id) const {
  const DialogItem* item = platform_.DialogItemOf(dialog_, id);
  return item ? item->selection : -1;
}

// ---------------------------------------------------------------------------
// File dialogs and the shell
// ---------------------------------------------------------------------------
void HeadlessPlatform::QueueFileDialogAnswer(FileDialogAnswer answer) { fileAnswers_.push_back(std::move(answer)); }

FileDialogAnswer HeadlessPlatform::NextFileDialogAnswer() {
  if (fileAnswers_.empty()) return {};
  FileDialogAnswer a = fileAnswers_.front();
  fileAnswers_.pop_front();
  return a;
}

FileDialogResult HeadlessPlatform::ChooseFile(OPENFILENAME& ofn, bool save) {
  // The dialog opens on the filter the index names, the first when it names
  // none, and reports the filter in use when it closes.
  const size_t filters = ofn.filters.size();
  const DWORD opened = filters == 0 ? 0 : ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= filters ? ofn.nFilterIndex : 1;
  fileDialogs.push_back({save, ofn, opened});
  FileDialogAnswer a = NextFileDialogAnswer();
  if (!a.chosen) return {a.error ? FileDialogResult::kFailed : FileDialogResult::kCancelled, a.error};
  // A name without a folder is one of the folder the dialog shows.
  ofn.file = Resolve(os::ResolvePath(ofn.initialDir, a.path));
  const std::string::size_type slash = ofn.file.find_last_of('/');
  ofn.fileTitle = slash == std::string::npos ? ofn.file : ofn.file.substr(slash + 1);
  if (a.filterIndex != 0) ofn.nFilterIndex = a.filterIndex;
  else if (opened != 0) ofn.nFilterIndex = opened;
  return {FileDialogResult::kChosen};
}

void HeadlessPlatform::DragAcceptFiles(HWND, bool accept) { acceptsDrops = accept; }

bool HeadlessPlatform::ShellOpen(HWND, const char* file) {
  shellOpened.push_back(Resolve(file ? file : ""));
  return !shellOpenFails;
}

bool HeadlessPlatform::PlaySoundMemory(const void* wavImage, UINT) {
  soundsPlayed.push_back(wavImage);
  return true;
}

// ---------------------------------------------------------------------------
// The clock
// ---------------------------------------------------------------------------
void HeadlessPlatform::Sleep(UINT ms) {
  sleeps.push_back(ms);
  if (realClock_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    SyncClock();
  } else {
    now_ += ms;
  }
  // The outside world goes on while the program sleeps; its timer does not
  // catch up on the ticks it missed.
  RunTimeSourcesTo(now_);
  for (Timer& t : timers_)
    while (t.due <= now_) t.due += t.period;
}

int64_t HeadlessPlatform::TimeSeconds() { return static_cast<int64_t>(NowMs() / 1000); }

// ---------------------------------------------------------------------------
// Single instance
// ---------------------------------------------------------------------------
std::unique_ptr<InstanceLock> HeadlessPlatform::LockSingleInstance(const char* name,
                                                                   const std::vector<std::string>& files) {
  auto [held, fresh] = InstanceNames().try_emplace(name ? name : "", this);
  if (!fresh && held->second == this) return std::make_unique<InstanceLock>();
  if (!fresh) {
    // The running instance's window comes to the front; the files wait
    // for its loop.
    if (held->second->MainWindow() != nullptr) ++held->second->timesRaised;
    held->second->handedFiles_.Hold(files);
    return nullptr;
  }
  // Let go only while still this platform's: it may have gone before the lock.
  return std::make_unique<InstanceLock>([name = held->first, owner = this] {
    if (auto it = InstanceNames().find(name); it != InstanceNames().end() && it->second == owner)
      InstanceNames().erase(it);
  });
}

// ---------------------------------------------------------------------------
ScopedHeadless::ScopedHeadless()
    : platform_(std::make_unique<HeadlessPlatform>()), previous_(plat::Install(platform_.get())) {}

ScopedHeadless::~ScopedHeadless() { plat::Install(previous_); }

}  // namespace headless
