// The Qt back end's own mechanics, under a window procedure that records
// what reaches it: the window, paints under a message box, the quit, clicks,
// what a drop leaves out, controls, drawing, the file dialog's list and MIDI
// input. What every back end must do alike is in tests/conformance.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontInfo>
#include <QListView>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QTest>
#include <QUrl>
#include <memory>
#include <thread>

#include "platform/midi/memory_port.h"
#include "platform/qt/canvas_qt.h"
#include "platform/qt/controls_qt.h"
#include "platform/qt/filedialog_qt.h"
#include "platform/qt/platform_qt.h"
#include "platform/qt/window_qt.h"
#include "tests/gui/gui_support.h"
#include "tests/support/core_fixture.h"
#include "tests/support/window_recorder.h"

namespace {

using testsupport::Received;
using Ev = testsupport::Event;

class QtPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = plat::Install(&platform_);
    window_ = plat::CreateMainWindow("Caption", recorder_);
    ASSERT_NE(window_, nullptr);
    guitest::SetClientSize(platform_, 600, 480);
  }
  void TearDown() override { plat::Install(previous_); }
  int Count(Ev event) const { return recorder_.Count(event); }
  QImage Grab() {
    guitest::Settle(platform_);
    return platform_.ClientArea()->grab().toImage();
  }

  testsupport::WindowRecorder recorder_;
  QtPlatform platform_;
  plat::Parts previous_;
  HWND window_ = nullptr;
  testsupport::TempDir temp_;
};

TEST_F(QtPlatformTest, TheMainWindowShowsItsCaptionAndACrossCursor) {
  EXPECT_EQ(platform_.MainWindowWidget()->windowTitle(), QStringLiteral("Caption"));
  EXPECT_EQ(platform_.ClientArea()->cursor().shape(), Qt::CrossCursor);
}

TEST_F(QtPlatformTest, APaintThatShowsAMessageBoxIsNeverEnteredTwice) {
  recorder_.paints = 0;
  bool boxShown = false;
  recorder_.paint = [&](Canvas& dc) {
    dc.SetPen(4, RGB(128, 128, 128), true);
    dc.MoveTo(10, 100);
    dc.LineTo(200, 100);
    if (!boxShown) {
      boxShown = true;
      // While the box is open the area is invalidated and resized again.
      QTimer::singleShot(50, [&] { guitest::ResizeClient(platform_, 500, 400); });
      plat::MessageBox(window_, "Scale problem", nullptr, MB_OK);
    }
  };
  guitest::BoxAnswerer answerer({QMessageBox::Ok}, 300);
  plat::InvalidateRect(window_, true);
  ASSERT_TRUE(guitest::WaitFor([&] { return recorder_.paints >= 2 && !platform_.ClientArea()->PaintPending(); }));
  EXPECT_EQ(recorder_.deepestPaint, 1);
  const QImage frame = Grab();
  EXPECT_EQ(frame.size(), QSize(500, 400));
  EXPECT_EQ(frame.pixelColor(100, 100), QColor(128, 128, 128));
  EXPECT_EQ(frame.pixelColor(100, 110), QColor(Qt::white));
}

TEST_F(QtPlatformTest, QuitEndsTheLoopWithItsCodeAfterTheEventsQueuedBefore) {
  QTimer::singleShot(0, [&] {
    plat::RequestClose(window_);
    plat::Quit(3);
    plat::RequestClose(window_);
  });
  recorder_.log.clear();
  EXPECT_EQ(plat::RunMessageLoop(), 3);
  ASSERT_EQ(Count(Ev::CloseRequested), 1);
  EXPECT_EQ(recorder_.log.back().event, Ev::CloseRequested);
}

TEST_F(QtPlatformTest, LeftClicksCarryTheKeyStateAndTheClientPosition) {
  QWidget* client = platform_.ClientArea();
  recorder_.log.clear();
  QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
  QTest::mouseClick(client, Qt::LeftButton, Qt::ShiftModifier, QPoint(31, 41));
  QTest::mouseClick(client, Qt::LeftButton, Qt::ControlModifier, QPoint(32, 42));
  QTest::mouseClick(client, Qt::RightButton, Qt::NoModifier, QPoint(33, 43));
  std::vector<Received> clicks;
  for (const Received& r : recorder_.log)
    if (r.event == Ev::LeftButtonDown) clicks.push_back(r);
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_EQ(clicks[0].value, MK_LBUTTON);
  EXPECT_EQ(clicks[0].at.x, 30);
  EXPECT_EQ(clicks[0].at.y, 40);
  EXPECT_EQ(clicks[1].value, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(clicks[2].value, MK_LBUTTON | MK_CONTROL);
  EXPECT_EQ(KeyStateOf(Qt::LeftButton | Qt::RightButton | Qt::MiddleButton, Qt::NoModifier),
            MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
  // A left click with a side button held is not a plain click either.
  EXPECT_EQ(KeyStateOf(Qt::LeftButton | Qt::BackButton | Qt::ForwardButton, Qt::NoModifier),
            MK_LBUTTON | MK_XBUTTON1 | MK_XBUTTON2);
}

TEST_F(QtPlatformTest, OnlyTheLocalFilesOfADropReachTheWindow) {
  std::vector<std::string> names;
  recorder_.onDrop = [&](const DroppedFiles& drop) { names = drop.names; };
  plat::DragAcceptFiles(window_, true);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(temp_.File("b.bin"))),
                QUrl(QStringLiteral("https://example.invalid/x.bin")),
                QUrl::fromLocalFile(QString::fromStdString(temp_.File("a.wav")))});
  QDragEnterEvent enter(QPoint(250, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(platform_.ClientArea(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(250, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(platform_.ClientArea(), &drop);
  EXPECT_EQ(names, (std::vector<std::string>{temp_.File("b.bin"), temp_.File("a.wav")}));
}

TEST_F(QtPlatformTest, StatusBarProgressBarAndButtonsBehaveAsTheDesktopControls) {
  HWND status = plat::CreateStatusBar(window_, 123);
  const int edges[3] = {100, 300, -1};
  plat::StatusSetParts(status, 3, edges);
  plat::StatusSetText(status, 1, "Received Block 1");
  plat::StatusSetText(status, 5, "no such part");
  guitest::SetClientSize(platform_, 640, 400);  // the bar follows by itself
  auto* bar = static_cast<QtStatusBar*>(platform_.WidgetOf(status));
  EXPECT_EQ(bar->geometry().bottom(), 399);
  EXPECT_EQ(bar->width(), 640);
  EXPECT_EQ(bar->PartRect(0).right(), 99);
  EXPECT_EQ(bar->PartRect(1).left(), 100);
  EXPECT_EQ(bar->PartRect(2).right(), 639);
  EXPECT_EQ(bar->PartText(1), QStringLiteral("Received Block 1"));
  EXPECT_EQ(plat::GetClientRect(window_).bottom, 400);  // the strip under the bar is client area

  HWND progress = plat::CreateProgressBar(window_, 0, 400 - 44, 640, 24);
  auto* p = static_cast<QtProgressBar*>(platform_.WidgetOf(progress));
  std::vector<int> positions;
  for (int position : {1, 3, 4, -1}) {
    plat::ProgressSet(progress, position, 3);
    positions.push_back(p->Position());
  }
  EXPECT_EQ(positions, (std::vector<int>{1, 3, 3, 0}));  // kept within the range
  EXPECT_EQ(p->maximum(), 3);
  EXPECT_EQ(p->geometry(), QRect(0, 356, 640, 24));

  HWND button = plat::CreateButton(window_, "Program", 211, 40, 50, 64, 28);
  auto* push = static_cast<QPushButton*>(platform_.WidgetOf(button));
  recorder_.log.clear();
  QTest::mouseClick(push, Qt::LeftButton);
  ASSERT_EQ(Count(Ev::Command), 1);  // told at once, not queued
  EXPECT_EQ(recorder_.log.back().value, 211u);
  plat::MoveWindow(button, 70, 80, 64, 28, true);
  EXPECT_EQ(push->geometry(), QRect(70, 80, 64, 28));

  plat::DestroyWindow(button);
  plat::DestroyWindow(button);
  EXPECT_EQ(platform_.WidgetOf(button), nullptr);
  EXPECT_EQ(plat::GetClientRect(button).right, 0);
}

TEST_F(QtPlatformTest, TheCanvasDrawsLinesBitmapsAndTextAsGdiDoes) {
  QImage image(200, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    QtCanvas dc(painter);
    dc.SetPen(4, RGB(128, 128, 128), true);
    dc.MoveTo(10, 20);
    dc.LineTo(150, 20);
    dc.SetPen(1, RGB(0, 0, 0), true);
    dc.MoveTo(10, 50);
    dc.LineTo(20, 50);
    dc.SetPen(2, RGB(26, 0, 231), true);
    dc.MoveTo(60, 60);
    dc.LineTo(60, 60);  // no length: still a dot
    LOGFONT lf;
    lf.lfHeight = -13;
    lf.lfWeight = 400;
    lf.lfPitchAndFamily = 0x22;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Courier New");
    dc.SetFont(lf);
    const QFontInfo font(painter.font());
    EXPECT_EQ(font.family(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(font.pixelSize(), 13);
    dc.SetTextAlign(TA_CENTER | TA_TOP);
    dc.PutText(100, 70, "MMMM");
  }
  // A 4-pixel line covers two rows either side of its path.
  EXPECT_EQ(image.pixelColor(80, 18), QColor(128, 128, 128));
  EXPECT_EQ(image.pixelColor(80, 21), QColor(128, 128, 128));
  EXPECT_EQ(image.pixelColor(80, 23), QColor(Qt::white));
  // A one-pixel line leaves out its last pixel.
  EXPECT_EQ(image.pixelColor(19, 50), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(20, 50), QColor(Qt::white));
  EXPECT_NE(image.pixelColor(60, 60), QColor(Qt::white));
  // Text centred on x = 100, its cell starting at y = 70.
  int left = 200, right = -1, top = 100;
  for (int y = 64; y < 100; ++y)
    for (int x = 0; x < 200; ++x)
      if (qGray(image.pixel(x, y)) < 100) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
      }
  EXPECT_NEAR((left + right) / 2.0, 100, 2);
  EXPECT_GE(top, 70);
  EXPECT_LE(top, 74);
}

TEST_F(QtPlatformTest, FileDialogsListByFilterWithoutRegardToCase) {
  for (const char* name : {"kick.bin", "SNARE.BIN", "hat.wav", "noext"}) testsupport::WriteText(temp_.File(name), "x");
  OPENFILENAME ofn;
  ofn.hwndOwner = window_;
  ofn.filters = {{"Binary files (*.BIN)", "*.BIN"},
                 {"Wave files (*.WAV)", "*.WAV"},
                 {"Intel Hex files", "*.HEX"},
                 {"All  files", "*.*"}};
  EXPECT_EQ(QtNameFilters(ofn.filters),
            (QStringList{QStringLiteral("Binary files (*.BIN)"), QStringLiteral("Wave files (*.WAV)"),
                         QStringLiteral("Intel Hex files (*.HEX)"), QStringLiteral("All  files (*)")}));
  ofn.nFilterIndex = 1;
  ofn.initialDir = temp_.path();
  ofn.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

  auto listed = [](QFileDialog* dialog) {
    QStringList names;
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
      names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
  };
  QStringList byBinary, byAll;
  guitest::WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
      // Whatever came instead must not keep the test waiting in its loop.
      ADD_FAILURE() << "expected the file dialog";
      if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
      return;
    }
    // The folder is listed by a thread of its own, slow under the sanitizers.
    guitest::WaitFor([&] { return listed(dialog).size() == 2; });
    byBinary = listed(dialog);
    dialog->selectNameFilter(dialog->nameFilters().last());
    guitest::WaitFor([&] { return listed(dialog).size() == 4; });
    byAll = listed(dialog);
    dialog->reject();
  });
  EXPECT_EQ(plat::ChooseFile(ofn, false).outcome, FileDialogResult::kCancelled);
  EXPECT_EQ(byBinary, (QStringList{QStringLiteral("SNARE.BIN"), QStringLiteral("kick.bin")}));
  EXPECT_EQ(byAll.size(), 4);
}

TEST_F(QtPlatformTest, MidiInputFromADeviceThreadReachesTheHandlerOnTheGuiThread) {
  auto input = std::make_unique<midimem::MemoryInput>("Test In");
  midimem::MemoryInput* feeder = input.get();
  platform_.Midi().AddInput(std::move(input));
  std::vector<BYTE> received;
  bool onGuiThread = false;
  PlatMidiPort* in = nullptr;
  ASSERT_TRUE(plat::MidiOpenInput("Test In",
                                  {[&](const BYTE* d, size_t n) {
                                     received.assign(d, d + n);
                                     onGuiThread = QThread::currentThread() == qApp->thread();
                                   },
                                   nullptr},
                                  &in)
                  .Ok());
  ASSERT_TRUE(plat::MidiListen(in, true).Ok());

  std::thread device([feeder] { feeder->Feed(std::vector<BYTE>{0xF0, 0x10, 0x05, 0x01, 0x7F, 0xF7}); });
  device.join();
  ASSERT_TRUE(guitest::WaitFor([&] { return !received.empty(); }));
  EXPECT_EQ(received, (std::vector<BYTE>{0xF0, 0x10, 0x05, 0x01, 0x7F, 0xF7}));
  EXPECT_TRUE(onGuiThread);
  plat::MidiClose(in);
}

}  // namespace
