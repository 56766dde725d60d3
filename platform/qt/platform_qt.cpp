#include "platform/qt/platform_qt.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "platform/qt/controls_qt.h"
#include "platform/qt/dialogs_qt.h"
#include "platform/qt/filedialog_qt.h"
#include "platform/qt/instance_qt.h"
#include "platform/qt/simdriver_qt.h"
#include "platform/qt/simulator_qt.h"
#include "platform/qt/sound_qt.h"
#include "platform/qt/window_qt.h"

namespace {

// Handles of this back end are numbers that are never addresses (the top
// bits make them non-canonical), so that they can't be mistaken for the
// dialog host's handles, and a destroyed control's handle is never reused.
constexpr uintptr_t kHandleTag = uintptr_t{0x7A1F} << 48;

// The default client size: three quarters of the screen, within bounds a
// 64-sample trace and four EPROM columns fit in.
QSize DefaultClientSize() {
  QSize size(800, 600);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) size = screen->availableGeometry().size() * 3 / 4;
  return size.expandedTo(QSize(640, 480)).boundedTo(QSize(1280, 960));
}

QString Text(const char* s) { return QString::fromUtf8(s ? s : ""); }

QMessageBox::Icon IconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// The buttons of a box, and the answer when it is closed without one (Esc,
// the close box, the program quitting under it). A Yes/No box takes a button
// and nothing else: Esc and the close box do nothing there.
struct BoxButtons {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton closeAnswer;
  bool buttonsOnly;
};

BoxButtons ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, false};
    case MB_YESNO: return {QMessageBox::Yes | QMessageBox::No, QMessageBox::No, true};
    default: return {QMessageBox::Ok, QMessageBox::Ok, false};
  }
}

// Swallows Esc and close requests, so that only a button ends the box.
// (QMessageBox would make a lone No button the escape button on its own.)
class ButtonsOnly : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel))
      return true;
    return QObject::eventFilter(watched, event);
  }
};

int AnswerOf(int button) {
  switch (button) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
  }
}

bool IsWebAddress(const QString& s) {
  return s.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
         s.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

}  // namespace

class QtPlatform::Host : public MainWindowHost {
 public:
  explicit Host(QtPlatform& platform) : platform_(platform) {}
  void ToProgram(const ProgramEvent& event) override { platform_.ToProgram(event); }
  void QueueToProgram(ProgramEvent event) override { platform_.QueueToProgram(platform_.main_, std::move(event)); }
  bool QueuedEventsPending() const override { return platform_.pendingEvents_ > 0; }

 private:
  QtPlatform& platform_;
};

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------
QtPlatform::QtPlatform()
    : host_(std::make_unique<Host>(*this)),
      queue_(std::make_unique<QObject>()),
      midi_(std::make_unique<MidiPortSet>()),
      instance_(std::make_unique<SingleInstance>([this] { RaiseMainWindow(); },
                                                 [this](std::vector<std::string> files) {
                                                   TakeHandedFiles(std::move(files));
                                                 })),
      player_(std::make_unique<QtSoundPlayer>()) {
  SetDataDirectory(os::InstalledDataDirectory());
  // Message boxes shown before the main window, or after it was hidden,
  // must not end the program when they close.
  QApplication::setQuitOnLastWindowClosed(false);
  // Received MIDI bytes are framed on the GUI thread: a device thread wakes
  // it, and whatever is left is delivered before the loop waits.
  QPointer<QObject> queue = queue_.get();
  midi_->SetWakeup([queue, this] {
    QMetaObject::invokeMethod(
        queue, [this] { midi_->Deliver(); }, Qt::QueuedConnection);
  });
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, queue_.get(), [this] {
      if (midi_->HasPendingInput()) midi_->Deliver();
    });
  }
}

QtPlatform::~QtPlatform() {
  midi_->SetWakeup(nullptr);
  timers_.clear();
  simulator_.reset();
  dialogs_.reset();
  window_.reset();
  player_.reset();
  instance_.reset();
  // The port set goes last but one: its devices may still hand bytes over.
  midi_.reset();
}

QtSimulatedKilnbox& QtPlatform::StartSimulator(double speed) {
  if (!simulator_) simulator_ = std::make_unique<QtSimulatedKilnbox>(*midi_, speed);
  return *simulator_;
}

void QtPlatform::ShowSimulatorWindow() {
  QWidget* simWindow = CreateSimulatorWindow(simulator_->Link(), window_.get());
  simWindow->adjustSize();
  // Beside the main window, where it hides nothing of it, as far as the
  // screen allows.
  QPoint at = window_->frameGeometry().topRight() + QPoint(8, 0);
  if (const QScreen* screen = window_->screen()) {
    const QRect room = screen->availableGeometry();
    at.setX(std::max(room.left(), std::min(at.x(), room.right() - simWindow->frameGeometry().width())));
  }
  simWindow->move(at);
  simWindow->show();
}

QMainWindow* QtPlatform::MainWindowWidget() const { return window_.get(); }

QtClientArea* QtPlatform::ClientArea() const { return window_ ? window_->Client() : nullptr; }

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------
HWND QtPlatform::AddHandle(Kind kind, QWidget* widget) {
  nextHandle_ += 0x10;
  HWND h = reinterpret_cast<HWND>(kHandleTag | nextHandle_);
  handles_[h] = Handle{kind, widget};
  return h;
}

const QtPlatform::Handle* QtPlatform::Find(HWND h) const {
  auto it = handles_.find(h);
  return it == handles_.end() ? nullptr : &it->second;
}

template <typename T>
T* QtPlatform::WidgetAs(HWND h, Kind kind) const {
  const Handle* handle = Find(h);
  return handle && handle->kind == kind ? static_cast<T*>(handle->widget) : nullptr;
}

QWidget* QtPlatform::WidgetOf(HWND h) const {
  const Handle* handle = Find(h);
  return handle ? handle->widget : nullptr;
}

QWidget* QtPlatform::ChildParent(HWND parent) const {
  const Handle* handle = Find(parent);
  return handle && handle->kind == Kind::Main ? handle->widget : nullptr;
}

QWidget* QtPlatform::BoxParent(HWND owner) const {
  const Handle* handle = Find(owner);
  if (handle && handle->widget && handle->widget->window()->isVisible()) return handle->widget->window();
  if (dialogs_ && owner != nullptr)
    if (QWidget* dialog = dialogs_->DialogWidget(owner)) return dialog;
  // Owned by nobody: stay over whatever modal window is up, else over the
  // main window.
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return window_ && window_->isVisible() ? window_.get() : nullptr;
}

// ---------------------------------------------------------------------------
// Windows and messages
// ---------------------------------------------------------------------------
HWND QtPlatform::CreateMainWindow(const char* caption, WindowEvents& events) {
  window_ = std::make_unique<QtMainWindow>(*host_, Text(caption));
  window_->setWindowIcon(QIcon(QStringLiteral(":/icons/talverine.png")));
  window_->resize(DefaultClientSize());
  dialogs_ = std::make_unique<QtDialogHost>(window_.get());
  // Lay the window out now, so that its creation reads the real client size.
  window_->ensurePolished();
  if (window_->layout()) window_->layout()->activate();
  main_ = AddHandle(Kind::Main, window_->Client());
  events_ = &events;
  if (!events.Created(main_)) {
    DestroyWindow(main_);
    return nullptr;
  }
  window_->Client()->SetCreated(true);
  window_->show();
  window_->Client()->Invalidate(true);
  if (simulator_) ShowSimulatorWindow();
  return main_;
}

int QtPlatform::RunMessageLoop() {
  if (!quitDelivered_) QApplication::exec();
  return exitCode_;
}

// Each queued event is one Qt event on the queue object, so that they come
// in order, and the quit after them.
void QtPlatform::QueueToProgram(HWND hWnd, ProgramEvent event) {
  ++pendingEvents_;
  QMetaObject::invokeMethod(
      queue_.get(),
      [this, hWnd, event = std::move(event)] {
        --pendingEvents_;
        // An event for a window that is gone (or was never ours) is dropped.
        if (hWnd == main_) ToProgram(event);
      },
      Qt::QueuedConnection);
}

void QtPlatform::ToProgram(const ProgramEvent& event) {
  if (!quitDelivered_ && main_ != nullptr && events_ != nullptr) event(*events_);
}

void QtPlatform::RequestClose(HWND hWnd) {
  QueueToProgram(hWnd, [](WindowEvents& e) { e.CloseRequested(); });
}

void QtPlatform::Quit(int exitCode) {
  if (quitPosted_) return;
  quitPosted_ = true;
  exitCode_ = exitCode;
  QMetaObject::invokeMethod(
      queue_.get(),
      [this] {
        quitDelivered_ = true;
        // Ends the loop (and any nested one still open) with the exit code.
        QCoreApplication::exit(exitCode_);
      },
      Qt::QueuedConnection);
}

UINT QtPlatform::SetTimer(HWND hWnd, UINT id, UINT periodMs) {
  auto& timer = timers_[{hWnd, id}];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    // A coarse timer may fire 5 % early: 237 ms for a 250 ms pause.
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, queue_.get(), [this, hWnd, id] {
      if (hWnd == main_) ToProgram([id](WindowEvents& e) { e.Timer(id); });
    });
  }
  // Ticks missed while the thread is blocked are not made up: a QTimer
  // fires once when it can.
  timer->start(static_cast<int>(std::max<UINT>(periodMs, 1)));
  return id;
}

void QtPlatform::KillTimer(HWND hWnd, UINT id) { timers_.erase({hWnd, id}); }

int QtPlatform::ShowMessage(HWND owner, const char* text, const char* caption, UINT type) {
  const BoxButtons buttons = ButtonsOf(type);
  // The desktop's default caption for a box that names none.
  QMessageBox box(IconOf(type), caption ? Text(caption) : QStringLiteral("Error"), Text(text), buttons.buttons,
                  BoxParent(owner));
  ButtonsOnly buttonsOnly;
  if (buttons.buttonsOnly) {
    box.installEventFilter(&buttonsOnly);
  } else {
    box.setEscapeButton(buttons.closeAnswer);
  }
  box.setDefaultButton(static_cast<QMessageBox::StandardButton>(
      (type & MB_TYPEMASK) == MB_YESNO ? QMessageBox::Yes : QMessageBox::Ok));
  // Every box is modal for the whole program (task-modal ones included):
  // its nested loop goes on handling timer ticks and MIDI input.
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  // A box that ends without a button (the program quitting under it)
  // answers as its close box would.
  QAbstractButton* clicked = box.clickedButton();
  return AnswerOf(clicked ? box.standardButton(clicked) : buttons.closeAnswer);
}

void QtPlatform::InvalidateRect(HWND hWnd, bool erase) {
  if ((hWnd == main_ || hWnd == nullptr) && ClientArea()) ClientArea()->Invalidate(erase);
}

RECT QtPlatform::GetClientRect(HWND hWnd) {
  QWidget* w = WidgetOf(hWnd);
  if (w == nullptr) return {0, 0, 0, 0};
  return {0, 0, w->width(), w->height()};
}

void QtPlatform::DestroyWindow(HWND hWnd) {
  const Handle* handle = Find(hWnd);
  if (handle == nullptr) return;
  const Kind kind = handle->kind;
  QWidget* widget = handle->widget;
  handles_.erase(hWnd);
  if (kind == Kind::Main) {
    // The window object lives on with the platform; it only stops taking
    // messages.
    if (window_) window_->hide();
    main_ = nullptr;
    return;
  }
  // Deleted later: a button may be destroyed from inside its own click.
  widget->hide();
  widget->deleteLater();
}

void QtPlatform::MoveWindow(HWND hWnd, int x, int y, int w, int h, bool repaint) {
  const Handle* handle = Find(hWnd);
  if (handle == nullptr) return;
  if (handle->kind == Kind::Main) {
    if (window_) window_->setGeometry(x, y, w, h);
    return;
  }
  handle->widget->setGeometry(x, y, std::max(0, w), std::max(0, h));
  if (repaint) handle->widget->update();
}

void QtPlatform::RaiseMainWindow() {
  if (!window_) return;
  if (window_->isMinimized()) window_->showNormal();
  window_->raise();
  window_->activateWindow();
}

void QtPlatform::TakeHandedFiles(std::vector<std::string> files) {
  handedFiles_.Hold(std::move(files));
  if (main_ != nullptr) DeliverHandedFilesLater();
}

void QtPlatform::DeliverHandedFilesLater() {
  QMetaObject::invokeMethod(
      queue_.get(),
      [this] {
        handedFiles_.Deliver([this] { return ClientArea() != nullptr && ClientArea()->acceptDrops(); },
                             [this](DroppedFiles& dropped) {
                               ToProgram([&dropped](WindowEvents& e) { e.FilesDropped(dropped); });
                             });
      },
      Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// Child controls
// ---------------------------------------------------------------------------
HWND QtPlatform::CreateButton(HWND parent, const char* label, int id, int x, int y, int w, int h) {
  QWidget* client = ChildParent(parent);
  if (client == nullptr) return nullptr;
  const HWND handle = AddHandle(Kind::Button, nullptr);
  // A button reports its click to its parent at once, with its own handle.
  auto clicked = [this, parent, id, handle] {
    if (Find(handle) != nullptr && parent == main_) ToProgram([id](WindowEvents& e) { e.Command(id); });
  };
  handles_[handle].widget =
      MakePushButton(client, Text(label), id, QRect(x, y, std::max(0, w), std::max(0, h)), clicked);
  return handle;
}

HWND QtPlatform::CreateStatusBar(HWND parent, int /*id*/) {
  QWidget* client = ChildParent(parent);
  if (client == nullptr) return nullptr;
  auto* bar = new QtStatusBar(client);
  bar->Reposition();
  bar->show();
  return AddHandle(Kind::Status, bar);
}

void QtPlatform::StatusSetParts(HWND status, int count, const int* rightEdges) {
  if (auto* bar = WidgetAs<QtStatusBar>(status, Kind::Status); bar && count > 0 && rightEdges)
    bar->SetParts(std::vector<int>(rightEdges, rightEdges + count));
}

void QtPlatform::StatusSetText(HWND status, int part, const char* text) {
  if (auto* bar = WidgetAs<QtStatusBar>(status, Kind::Status)) bar->SetPartText(part, Text(text));
}

HWND QtPlatform::CreateProgressBar(HWND parent, int x, int y, int w, int h) {
  QWidget* client = ChildParent(parent);
  if (client == nullptr) return nullptr;
  auto* bar = new QtProgressBar(client);
  bar->setGeometry(x, y, std::max(0, w), std::max(0, h));
  bar->show();
  return AddHandle(Kind::Progress, bar);
}

void QtPlatform::ProgressSet(HWND bar, int position, int range) {
  if (auto* p = WidgetAs<QtProgressBar>(bar, Kind::Progress)) p->Set(position, range);
}

// ---------------------------------------------------------------------------
// Option dialogs: the dialog host builds them from their templates.
// ---------------------------------------------------------------------------
INT_PTR QtPlatform::ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) {
  return dialogs_ ? dialogs_->ShowDialog(owner, templateId, state, onEvent) : -1;
}

// ---------------------------------------------------------------------------
// File dialogs, drops and the shell
// ---------------------------------------------------------------------------
// Qt's dialog cannot fail to open; a cancel is not an error.
FileDialogResult QtPlatform::ChooseFile(OPENFILENAME& ofn, bool save) {
  const bool chosen =
      RunFileDialog(BoxParent(ofn.hwndOwner), ofn, save, QFile::decodeName(CurrentDirectory().c_str()));
  return {chosen ? FileDialogResult::kChosen : FileDialogResult::kCancelled};
}

void QtPlatform::DragAcceptFiles(HWND hWnd, bool accept) {
  if (hWnd != main_ || !ClientArea()) return;
  ClientArea()->AcceptDrops(accept);
  if (accept && handedFiles_.Holding()) DeliverHandedFilesLater();
}

bool QtPlatform::ShellOpen(HWND, const char* file) {
  const QString target = Text(file);
  if (target.isEmpty()) return false;
  const QUrl url = IsWebAddress(target) ? QUrl(target) : QUrl::fromLocalFile(QFile::decodeName(Resolve(file).c_str()));
  return QDesktopServices::openUrl(url);
}

// ---------------------------------------------------------------------------
// Sound
// ---------------------------------------------------------------------------
bool QtPlatform::PlaySoundMemory(const void* wavImage, UINT flags) {
  if (onPlaySound) onPlaySound(wavImage, flags);
  return player_->Play(wavImage, flags);
}

// ---------------------------------------------------------------------------
// Single instance
// ---------------------------------------------------------------------------
std::unique_ptr<InstanceLock> QtPlatform::LockSingleInstance(const char* name, const std::vector<std::string>& files) {
  if (instance_->Held()) return std::make_unique<InstanceLock>();
  if (!instance_->Acquire(name, files)) return nullptr;
  return std::make_unique<InstanceLock>([this] { instance_->Release(); });
}

