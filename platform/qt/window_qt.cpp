#include "platform/qt/window_qt.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "platform/qt/canvas_qt.h"
#include "resources/menu.h"

namespace {

// A paint waits behind queued events as the desktop's paint does, but never
// for ever: after this many turns it runs anyway.
constexpr int kMaxPaintDeferrals = 16;

std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> files;
  if (mime == nullptr || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  return files;
}

// A white picture of `size` client pixels, at the screen's own resolution
// so that a high-density screen shows it sharp.
QImage BlankImage(const QSize& size, qreal pixelRatio) {
  QImage image(size.expandedTo(QSize(1, 1)) * pixelRatio, QImage::Format_RGB32);
  image.setDevicePixelRatio(pixelRatio);
  image.fill(Qt::white);
  return image;
}

}  // namespace

WPARAM KeyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  WPARAM keys = 0;
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
  if (buttons & Qt::BackButton) keys |= MK_XBUTTON1;
  if (buttons & Qt::ForwardButton) keys |= MK_XBUTTON2;
  if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
  return keys;
}

// ---------------------------------------------------------------------------
// The client area
// ---------------------------------------------------------------------------
QtClientArea::QtClientArea(MainWindowHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  setCursor(Qt::CrossCursor);
  // White comes from paintEvent alone: the controls on the area keep the
  // ordinary palette.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
}

void QtClientArea::Invalidate(bool erase) {
  dirty_ = true;
  erase_ = erase_ || erase;
  SchedulePaint();
}

void QtClientArea::SchedulePaint() {
  if (scheduled_) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, [this] { RunScheduledPaint(); }, Qt::QueuedConnection);
}

void QtClientArea::RunScheduledPaint() {
  scheduled_ = false;
  if (!dirty_) return;
  if (host_.QueuedEventsPending() && deferrals_ < kMaxPaintDeferrals) {
    ++deferrals_;
    SchedulePaint();
    return;
  }
  deferrals_ = 0;
  PaintNow();
}

void QtClientArea::PaintNow() {
  // A paint re-entered from a message box of the paint under way waits for
  // that one to finish; the area is still marked.
  if (rendering_ || !created_ || !dirty_) return;
  rendering_ = true;
  dirty_ = false;
  const qreal pixelRatio = devicePixelRatioF();
  const bool erase = erase_ || frame_.deviceIndependentSize() != QSizeF(size()) ||
                     frame_.devicePixelRatio() != pixelRatio;
  erase_ = false;
  QImage image = erase ? BlankImage(size(), pixelRatio) : frame_.copy();
  {
    QPainter painter(&image);
    QtCanvas canvas(painter);
    host_.ToProgram([&canvas](WindowEvents& e) { e.Paint(canvas); });
  }
  frame_ = image;
  rendering_ = false;
  update();
  if (dirty_) SchedulePaint();
}

void QtClientArea::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (!frame_.isNull()) p.drawImage(QPoint(0, 0), frame_);
}

void QtClientArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!created_) return;
  host_.ToProgram([](WindowEvents& e) { e.Resized(); });
  // The whole area is repainted on every change of size.
  Invalidate(true);
}

void QtClientArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint at = event->position().toPoint();
  const WPARAM keys = KeyStateOf(event->buttons(), event->modifiers());
  host_.ToProgram([&](WindowEvents& e) { e.LeftButtonDown(POINT{at.x(), at.y()}, keys); });
}

void QtClientArea::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void QtClientArea::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void QtClientArea::dropEvent(QDropEvent* event) {
  DroppedFiles dropped;
  dropped.names = LocalFiles(event->mimeData());
  if (dropped.names.empty()) return;
  event->acceptProposedAction();
  const QPoint at = event->position().toPoint();
  dropped.point = POINT{at.x(), at.y()};
  dropped.inClient = rect().contains(at);
  host_.ToProgram([&dropped](WindowEvents& e) { e.FilesDropped(dropped); });
}

// ---------------------------------------------------------------------------
// The main window
// ---------------------------------------------------------------------------
QtMainWindow::QtMainWindow(MainWindowHost& host, const QString& caption)
    : host_(host), client_(new QtClientArea(host, this)) {
  setWindowTitle(caption);
  setCentralWidget(client_);
  BuildMenu();
}

void QtMainWindow::BuildMenu() {
  for (const MenuPopup& popup : MainMenu()) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(popup.text));
    for (const MenuItem& item : popup.items) {
      if (item.text == nullptr) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromUtf8(item.text));
      action->setProperty(kCommandIdProperty, item.id);
      const int id = item.id;
      connect(action, &QAction::triggered, this,
              [this, id] { host_.QueueToProgram([id](WindowEvents& e) { e.Command(id); }); });
    }
  }
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
  // The program decides; it ends when its loop does.
  event->ignore();
  host_.ToProgram([](WindowEvents& e) { e.CloseRequested(); });
}
