#include "platform/qt/controls_qt.h"

#include <QEvent>
#include <QPainter>
#include <qdrawutil.h>
#include <algorithm>

namespace {

// The desktop status bar is about 20 pixels high at 96 dpi; grow with the
// font so its text always fits.
int StatusBarHeight(const QWidget& w) { return std::max(20, w.fontMetrics().height() + 6); }

}  // namespace

QtStatusBar::QtStatusBar(QWidget* parent) : QWidget(parent), texts_(1) {
  setCursor(Qt::ArrowCursor);
  setAutoFillBackground(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedHeight(StatusBarHeight(*this));
  // One part spanning the bar until parts are set, as the control starts.
  edges_ = {-1};
  if (parent) parent->installEventFilter(this);
}

void QtStatusBar::SetParts(const std::vector<int>& rightEdges) {
  edges_ = rightEdges;
  texts_.resize(edges_.size());
  update();
}

void QtStatusBar::SetPartText(int part, const QString& text) {
  if (part < 0 || part >= static_cast<int>(texts_.size())) return;
  texts_[static_cast<size_t>(part)] = text;
  update();
}

QString QtStatusBar::PartText(int part) const {
  if (part < 0 || part >= static_cast<int>(texts_.size())) return {};
  return texts_[static_cast<size_t>(part)];
}

bool QtStatusBar::eventFilter(QObject* watched, QEvent* event) {
  // Before the parent's own handling, which tells the window procedure.
  if (watched == parentWidget() && event->type() == QEvent::Resize) Reposition();
  return QWidget::eventFilter(watched, event);
}

void QtStatusBar::Reposition() {
  if (parentWidget() == nullptr) return;
  const int h = height();
  setGeometry(0, parentWidget()->height() - h, parentWidget()->width(), h);
  raise();
}

QRect QtStatusBar::PartRect(int part) const {
  if (part < 0 || part >= static_cast<int>(edges_.size())) return {};
  const int left = part == 0 ? 0 : edges_[static_cast<size_t>(part) - 1];
  const int edge = edges_[static_cast<size_t>(part)];
  const int right = edge < 0 ? width() : edge;
  return QRect(QPoint(left, 0), QPoint(right - 1, height() - 1));
}

void QtStatusBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  for (int part = 0; part < static_cast<int>(edges_.size()); ++part) {
    // Each part a sunken panel with a two-pixel gap before the next.
    const QRect r = PartRect(part).adjusted(0, 2, -2, 0);
    if (r.width() <= 0) continue;
    qDrawShadePanel(&p, r, palette(), true, 1);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(r.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               texts_[static_cast<size_t>(part)]);
  }
}

QtProgressBar::QtProgressBar(QWidget* parent) : QProgressBar(parent) {
  setCursor(Qt::ArrowCursor);
  setTextVisible(false);
  Set(0, 100);
}

void QtProgressBar::Set(int position, int range) {
  const int high = std::max(0, range);
  position_ = std::clamp(position, 0, high);
  setRange(0, high);
  setValue(position_);
}

QPushButton* MakePushButton(QWidget* parent, const QString& label, int id, const QRect& at,
                            std::function<void()> clicked) {
  auto* button = new QPushButton(label, parent);
  button->setCursor(Qt::ArrowCursor);
  // Drawn with the heavy border of a default button, as the buttons beside
  // the EPROM pictures always were.
  button->setDefault(true);
  button->setProperty(kControlIdProperty, id);
  button->setGeometry(at);
  QObject::connect(button, &QPushButton::clicked, button, [fn = std::move(clicked)] { fn(); });
  button->show();
  return button;
}
