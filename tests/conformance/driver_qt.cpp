// The conformance tests on the Qt back end, offscreen: the user's clicks,
// keys and drops are Qt's events on the real widgets, and each answer waits
// for its modal window to come up.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <string>

#include "platform/qt/dialogs_qt.h"
#include "platform/qt/instance_qt.h"
#include "platform/qt/platform_qt.h"
#include "platform/qt/window_qt.h"
#include "tests/conformance/conformance_fixture.h"
#include "tests/conformance/queued_driver.h"
#include "tests/gui/gui_support.h"

class QtPlatformTestAccess {
 public:
  static QtDialogHost& Dialogs(QtPlatform& platform) { return *platform.dialogs_; }
};

namespace conformance {
namespace {

UINT TypeOf(const QMessageBox& box) {
  UINT type = MB_OK;
  if (box.standardButtons() == (QMessageBox::Yes | QMessageBox::No)) type = MB_YESNO;
  if (box.standardButtons() == (QMessageBox::Ok | QMessageBox::Cancel)) type = MB_OKCANCEL;
  switch (box.icon()) {
    case QMessageBox::Critical: return type | MB_ICONERROR;
    case QMessageBox::Question: return type | MB_ICONQUESTION;
    case QMessageBox::Warning: return type | MB_ICONWARNING;
    case QMessageBox::Information: return type | MB_ICONINFORMATION;
    default: return type;
  }
}

QMessageBox::StandardButton ButtonOf(int answer) {
  switch (answer) {
    case IDCANCEL: return QMessageBox::Cancel;
    case IDYES: return QMessageBox::Yes;
    case IDNO: return QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

class QtUser : public DialogUser {
 public:
  QtUser(QtDialogHost& host, HWND dialog) : host_(host), dialog_(dialog) {}
  void Click(int id) override { guitest::ClickControl(host_.ControlWidget(dialog_, id)); }
  void Pick(int id, int index) override { guitest::PickEntry(host_.ControlWidget(dialog_, id), index); }
  void Type(int id, const std::string& text) override { guitest::TypeInto(host_.ControlWidget(dialog_, id), text); }
  void PressEnter() override { QTest::keyClick(Window(), Qt::Key_Return); }
  void PressEsc() override { QTest::keyClick(Window(), Qt::Key_Escape); }
  void CloseBox() override { Window()->close(); }
  bool IsEnabled(int id) override {
    QWidget* control = host_.ControlWidget(dialog_, id);
    return control && control->isEnabled();
  }
  bool IsChecked(int id) override {
    auto* button = qobject_cast<QAbstractButton*>(host_.ControlWidget(dialog_, id));
    return button && button->isChecked();
  }
  std::string Text(int id) override { return guitest::ShownText(host_.ControlWidget(dialog_, id)); }

 private:
  QWidget* Window() const { return host_.DialogWidget(dialog_); }
  QtDialogHost& host_;
  HWND dialog_;
};

class QtDriver : public QueuedDriver {
 public:
  QtDriver() : runtime_("XDG_RUNTIME_DIR", temp_.path()) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { AnswerModal(); });
    poll_.start(10);
  }
  plat::Parts Parts() override { return &platform_; }
  bool PumpUntil(const std::function<bool()>& done) override { return guitest::WaitFor(done, kWaitLimitMs); }
  void PumpOnce() override { QCoreApplication::processEvents(); }
  void Idle(int ms) override { QTest::qWait(ms); }
  void SetClientSize(int width, int height) override { guitest::SetClientSize(platform_, width, height); }

  void DropFiles(const std::vector<std::string>& files, POINT at) override {
    QList<QUrl> urls;
    for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(at.x, at.y), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(platform_.ClientArea(), &enter);
    EXPECT_TRUE(enter.isAccepted()) << "the window refused the drop";
    QDropEvent drop(QPointF(at.x, at.y), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(platform_.ClientArea(), &drop);
  }
  bool AcceptsDrops() override { return platform_.ClientArea()->acceptDrops(); }
  bool SecondInstanceAcquires(const char* name, const std::vector<std::string>& files) override {
    platform_.MainWindowWidget()->showMinimized();
    SingleInstance second([] {});
    return second.Acquire(name, files);
  }
  bool MainWindowRaised() override { return !platform_.MainWindowWidget()->isMinimized(); }

 private:
  QtDialogHost& Host() { return QtPlatformTestAccess::Dialogs(platform_); }
  // Answers the modal window that is up, once, with the next answer of its
  // kind; runs in the window's own loop.
  void AnswerModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || Answered(modal)) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal); box && !boxes_.empty()) {
      answered_.push_back(modal);
      AnswerBox(*box, Take(boxes_));
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !files_.empty()) {
      answered_.push_back(modal);
      AnswerFileDialog(*dialog, Take(files_));
    } else if (HWND h = Host().ActiveDialog(); h && Host().DialogWidget(h) == modal && !dialogs_.empty()) {
      answered_.push_back(modal);
      RunDialogScript(h, Take(dialogs_));
    }
  }
  bool Answered(QWidget* modal) const {
    return std::any_of(answered_.begin(), answered_.end(), [modal](const QPointer<QWidget>& w) { return w == modal; });
  }
  void AnswerBox(QMessageBox& box, const BoxAnswer& answer) {
    if (answer.ready && !guitest::WaitFor(answer.ready, kWaitLimitMs)) ADD_FAILURE() << "the box's wait never ended";
    seenBoxes_.push_back({box.windowTitle().toStdString(), box.text().toStdString(), TypeOf(box)});
    QPointer<QMessageBox> open(&box);
    for (int action : answer.actions) {
      if (!open || !open->isVisible()) break;
      if (action == kPressEsc) {
        QTest::keyClick(open, Qt::Key_Escape);
      } else if (action == kCloseBox) {
        open->close();
      } else if (QAbstractButton* button = open->button(ButtonOf(action))) {
        button->click();
      }
    }
    if (open && open->isVisible()) {
      ADD_FAILURE() << "the message box stayed open";
      open->buttons().front()->click();
    }
  }
  void AnswerFileDialog(QFileDialog& dialog, const FileChoice& choice) {
    SeenFileDialog seen;
    for (const QString& filter : dialog.nameFilters()) seen.filters.push_back(filter.toStdString());
    seen.shownFilter = static_cast<DWORD>(dialog.nameFilters().indexOf(dialog.selectedNameFilter()) + 1);
    seenFiles_.push_back(seen);
    if (!choice.choose) return dialog.reject();
    if (choice.filterIndex > 0) dialog.selectNameFilter(dialog.nameFilters().value(choice.filterIndex - 1));
    QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")), QString::fromStdString(choice.name));
    QMetaObject::invokeMethod(&dialog, "accept");
  }
  void RunDialogScript(HWND h, const std::function<void(DialogUser&)>& script) {
    QtUser user(Host(), h);
    script(user);
    if (QWidget* dialog = Host().DialogWidget(h)) dialog->close();
  }

  testsupport::TempDir temp_;
  guitest::ScopedEnv runtime_;  // the single-instance lock and socket live here
  QtPlatform platform_;
  QTimer poll_;
  std::vector<QPointer<QWidget>> answered_;
};

std::unique_ptr<BackendDriver> MakeQtDriver() { return std::make_unique<QtDriver>(); }

TALVERINE_CONFORMANCE_TESTS(Qt, &MakeQtDriver);

}  // namespace
}  // namespace conformance
