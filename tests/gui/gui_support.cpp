#include "tests/gui/gui_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "platform/qt/platform_qt.h"
#include "platform/qt/window_qt.h"

namespace guitest {

BoxAnswerer::BoxAnswerer(std::vector<QMessageBox::StandardButton> answers, int delayMs)
    : answers_(std::move(answers)), delayMs_(delayMs) {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
  timer_.start(10);
}

BoxAnswerer::~BoxAnswerer() { timer_.stop(); }

void BoxAnswerer::Check() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr || box == pending_) return;
  pending_ = box;
  seen_.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(), box->standardButtons()});
  const size_t index = std::min(seen_.size() - 1, answers_.size() - 1);
  const QMessageBox::StandardButton answer = answers_.empty() ? QMessageBox::Ok : answers_[index];
  QTimer::singleShot(delayMs_, box, [this, box, answer] {
    if (QAbstractButton* b = box->button(answer)) b->click();
    pending_ = nullptr;
  });
}

void ClickControl(QWidget* control) {
  if (control == nullptr) return ADD_FAILURE() << "no such control";
  const bool indicator = qobject_cast<QRadioButton*>(control) || qobject_cast<QCheckBox*>(control);
  const QPoint at = indicator ? QPoint(control->width() - 3, control->height() / 2) : control->rect().center();
  QTest::mouseClick(control, Qt::LeftButton, {}, at);
}

void PickEntry(QWidget* list, int index) {
  auto* box = qobject_cast<QComboBox*>(list);
  if (box == nullptr) return ADD_FAILURE() << "no such list";
  box->showPopup();
  QAbstractItemView* view = box->view();
  view->setCurrentIndex(view->model()->index(index, 0));
  QTest::keyClick(view, Qt::Key_Return);
}

std::string ShownText(QWidget* control) {
  QString text;
  if (auto* edit = qobject_cast<QLineEdit*>(control))
    text = edit->text();
  else if (auto* label = qobject_cast<QLabel*>(control))
    text = label->text();
  else if (auto* button = qobject_cast<QAbstractButton*>(control))
    text = button->text();
  else if (auto* box = qobject_cast<QGroupBox*>(control))
    text = box->title();
  else if (auto* list = qobject_cast<QComboBox*>(control))
    text = list->currentText();
  return text.toStdString();
}

void TypeInto(QWidget* edit, const std::string& text) {
  auto* line = qobject_cast<QLineEdit*>(edit);
  if (line == nullptr) return ADD_FAILURE() << "no such edit control";
  line->setFocus();
  line->selectAll();
  QTest::keyClicks(line, QString::fromStdString(text));
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QTest::qWait(5);
  }
  return true;
}

void Settle(QtPlatform& platform) {
  QCoreApplication::processEvents();
  if (!WaitFor([&] { return platform.ClientArea() == nullptr || !platform.ClientArea()->PaintPending(); }))
    ADD_FAILURE() << "the window's paint was still pending after " << kSettleLimitMs << " ms";
  QCoreApplication::processEvents();
}

void WhenModal(std::function<void(QWidget*)> act) {
  // Owned by the application, so a box that never comes leaks nothing.
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    poll->stop();
    poll->deleteLater();
    act(modal);
  });
  poll->start(10);
}

void ResizeClient(QtPlatform& platform, int w, int h) {
  QMainWindow* window = platform.MainWindowWidget();
  const QSize client = platform.ClientArea()->size();
  window->resize(window->size() + QSize(w, h) - client);
}

void SetClientSize(QtPlatform& platform, int w, int h) {
  ResizeClient(platform, w, h);
  if (!WaitFor([&] { return platform.ClientArea()->size() == QSize(w, h); }))
    ADD_FAILURE() << "the client area did not become " << w << " x " << h;
  Settle(platform);
}

}  // namespace guitest
