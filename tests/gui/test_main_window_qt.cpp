// The whole program on the Qt back end, offscreen: the menu, the status bar,
// the buttons, drops, clicks, message boxes, the painted window and a read
// through the simulated Kilnbox.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QLocalSocket>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <memory>

#include "platform/midi/memory_port.h"
#include "platform/qt/controls_qt.h"
#include "platform/qt/instance_qt.h"
#include "platform/qt/platform_qt.h"
#include "platform/qt/simdriver_qt.h"
#include "platform/qt/window_qt.h"
#include "resources/command_ids.h"
#include "shell/app_state.h"
#include "shell/device_controller.h"
#include "shell/display.h"
#include "shell/image_model.h"
#include "shell/main_window.h"
#include "shell/playback.h"
#include "tests/gui/gui_support.h"
#include "tests/support/core_fixture.h"

namespace {

// A recognisable EPROM image: byte i of `size` is (i * 7 + seed) & 0xFF.
std::vector<uint8_t> Pattern(size_t size, int seed) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
  return out;
}

class MainWindowQtTest : public ::testing::Test {
 protected:
  MainWindowQtTest() : config_("TALVERINE_CONFIG_DIR", temp_.path()), runtime_("XDG_RUNTIME_DIR", temp_.path()) {}

  void SetUp() override {
    previous_ = plat::Install(&platform_);
    core_.emplace();
    boxes_ = std::make_unique<guitest::BoxAnswerer>(std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});
  }
  void TearDown() override {
    if (platform_.MainWindowHandle() != nullptr) platform_.MainWindowWidget()->close();  // the close box
    guitest::Settle(platform_);
    core_.reset();
    plat::Install(previous_);
  }

  // Starts the program's window as TalverineMain does, with this type and
  // arrangement in its configuration file, on a 600 x 480 client area.
  void Start(etEnum type = et2764, eaEnum arrangement = eaOneEpromOneSound) {
    // A MIDI port pair, so that the start finds devices to open.
    if (platform_.Midi().InputNames().empty()) {
      platform_.Midi().AddInput(std::make_unique<midimem::MemoryInput>("Test In"));
      platform_.Midi().AddOutput(std::make_unique<midimem::MemoryOutput>("Test Out"));
    }
    testsupport::WriteText(temp_.File("TALVERINE.CFG"), "EPROM_type = " + std::to_string(type) +
                                                            "\nEPROM_Arrangement = " + std::to_string(arrangement) +
                                                            "\n");
    App().MyWindow = plat::CreateMainWindow(szAppCaption, MainWindowEvents());
    ASSERT_NE(App().MyWindow, nullptr);
    plat::DragAcceptFiles(App().MyWindow, true);
    guitest::SetClientSize(platform_, 600, 480);
  }

  QAction* MenuAction(int id) {
    for (QAction* a : platform_.MainWindowWidget()->menuBar()->findChildren<QAction*>())
      if (a->property(kCommandIdProperty).toInt() == id) return a;
    return nullptr;
  }
  QtStatusBar* StatusBar() { return platform_.ClientArea()->findChild<QtStatusBar*>(); }
  std::vector<QPushButton*> Buttons() {
    std::vector<QPushButton*> out;
    for (QPushButton* b : platform_.ClientArea()->findChildren<QPushButton*>())
      if (b->isVisible()) out.push_back(b);
    return out;
  }
  void Drop(const std::vector<std::string>& files, QPoint at) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    mime.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(platform_.ClientArea(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(platform_.ClientArea(), &drop);
  }
  QImage Frame() {
    plat::InvalidateRect(App().MyWindow, true);
    guitest::Settle(platform_);
    return platform_.ClientArea()->grab().toImage();
  }

  // The session and the parts of it the tests set and read.
  CoreSession& Session() { return *core_; }
  ImageModel& Model() { return core_->image; }
  FileSettings& Settings() { return core_->fileSettings; }
  AppState& App() { return core_->app; }
  // The image's bytes.
  BYTE* ImageBytes() const { return core_->image.imgMemory.get(); }

  testsupport::TempDir temp_;
  guitest::ScopedEnv config_;
  guitest::ScopedEnv runtime_;
  QtPlatform platform_;
  plat::Parts previous_;
  std::optional<CoreSession> core_;
  std::unique_ptr<guitest::BoxAnswerer> boxes_;  // answers OK to any box
};

// Whether `colour` is at (x, y) or one pixel from it.
bool ColourNear(const QImage& image, int x, int y, QColor colour) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (image.pixelColor(x + dx, y + dy) == colour) return true;
  return false;
}

bool HasDarkPixels(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < 96) return true;
  return false;
}

const QColor kGrey(128, 128, 128);
const QColor kBlue(26, 0, 231);

TEST_F(MainWindowQtTest, TheMenuBarHoldsEveryItemWithItsMnemonicAndPostsItsCommand) {
  Start();
  struct Item {
    const char* text;
    int id;
  };
  const std::vector<std::pair<const char*, std::vector<Item>>> expected = {
      {"&File", {{"&Load File", 102}, {"&Save File", 103}, {"E&xit", 101}}},
      {"&Options", {{"&EPROM Type", 107}, {"&File Format", 110}, {"&MIDI Devices", 104}, {"&Audio Settings", 119}}},
      {"&Kilnbox", {{"&Get Kilnbox Data", 105}, {"&Send Kilnbox Data", 113}, {nullptr, 0}, {"&Cancel Operation", 108}}},
      {"&EPROM",
       {{"&Blank Check", 115}, {"&Read EPROM", 106}, {"&Program EPROM", 111}, {"&Verify EPROM", 112},
        {"&Clear checkmarks", 117}}},
      {"&Help", {{"&Help", 118}, {"&About", 109}}},
  };
  const QList<QAction*> popups = platform_.MainWindowWidget()->menuBar()->actions();
  ASSERT_EQ(popups.size(), static_cast<qsizetype>(expected.size()));
  for (size_t p = 0; p < expected.size(); ++p) {
    EXPECT_EQ(popups[p]->text().toStdString(), expected[p].first);
    const QList<QAction*> items = popups[p]->menu()->actions();
    ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[p].second.size())) << expected[p].first;
    for (size_t i = 0; i < expected[p].second.size(); ++i) {
      const Item& want = expected[p].second[i];
      if (want.text == nullptr) {
        EXPECT_TRUE(items[i]->isSeparator());
        continue;
      }
      EXPECT_EQ(items[i]->text().toStdString(), want.text);
      EXPECT_EQ(items[i]->property(kCommandIdProperty).toInt(), want.id);
      EXPECT_TRUE(items[i]->isEnabled());
    }
  }

  EXPECT_TRUE(boxes_->Seen().empty());
  MenuAction(IDM_ABOUT)->trigger();
  ASSERT_TRUE(guitest::WaitFor([&] { return !boxes_->Seen().empty() && !QApplication::activeModalWidget(); }));
  EXPECT_EQ(boxes_->Seen()[0].caption, "About");
  EXPECT_EQ(boxes_->Seen()[0].text.rfind("TALVERINE \n", 0), 0u);
  EXPECT_EQ(boxes_->Seen()[0].icon, QMessageBox::Information);
}

TEST_F(MainWindowQtTest, TheStatusBarPartsFollowTheClientWidthAlongItsBottom) {
  Start();
  for (const QSize size : {QSize(700, 500), QSize(1001, 620)}) {
    guitest::SetClientSize(platform_, size.width(), size.height());
    const int w = size.width();
    EXPECT_EQ(StatusBar()->RightEdges(), (std::vector<int>{(w - 20) / 4, 3 * (w - 20) / 4, -1}));
    EXPECT_EQ(StatusBar()->geometry().bottom(), size.height() - 1);
    EXPECT_EQ(StatusBar()->width(), w);
    EXPECT_EQ(StatusBar()->PartRect(1).right(), 3 * (w - 20) / 4 - 1);
  }
}

TEST_F(MainWindowQtTest, TheButtonsStandBesideEachEpromPictureForOneTwoAndFourEproms) {
  Start();
  const int* hPosEPROM = Session().layout.hPosEPROM;
  for (const eaEnum arrangement : {eaOneEpromOneSound, eaTwoEpromsOneSound, eaFourEpromsOneSound}) {
    Model().EPROM_Arrangement = arrangement;
    CreateButttons(App().MyWindow, Session().layout, Model());
    guitest::Settle(platform_);
    const std::vector<QPushButton*> buttons = Buttons();
    ASSERT_EQ(buttons.size(), 2 * Model().nEPROMs());
    for (UINT i = 0; i < Model().nEPROMs(); ++i) {
      const auto find = [&](int id) {
        for (QPushButton* b : buttons)
          if (b->property(kControlIdProperty).toInt() == id) return b;
        return static_cast<QPushButton*>(nullptr);
      };
      QPushButton* program = find(ID_PROGRAM_BUTTON + static_cast<int>(i));
      QPushButton* verify = find(ID_VERIFY_BUTTON + static_cast<int>(i));
      ASSERT_NE(program, nullptr);
      ASSERT_NE(verify, nullptr);
      EXPECT_EQ(program->text(), QStringLiteral("Program"));
      EXPECT_EQ(program->geometry(), QRect(hPosEPROM[i] + 34, 480 / 2 + 10, 64, 28));
      EXPECT_EQ(verify->geometry(), QRect(hPosEPROM[i] + 34, 480 / 2 + 40, 64, 28));
    }
  }
  // Four EPROMs at 600 pixels: anchors 11, 161, 311 and 461.
  EXPECT_EQ(std::vector<int>(hPosEPROM, hPosEPROM + 4), (std::vector<int>{11, 161, 311, 461}));
}

TEST_F(MainWindowQtTest, DroppedFilesLoadIntoTheSectionsUnderTheDropPoint) {
  Start(et2764, eaTwoEpromsOneSound);
  const std::string first = temp_.File("first.bin");
  const std::string second = temp_.File("second.bin");
  testsupport::WriteBytes(first, Pattern(8192, 1));
  testsupport::WriteBytes(second, Pattern(8192, 2));

  // On the right half of the panels: the first file goes to EPROM 2, the
  // second finds no section left.
  Drop({first, second}, QPoint(450, 60));
  EXPECT_EQ(std::vector<uint8_t>(ImageBytes() + 8192, ImageBytes() + 16384), Pattern(8192, 1));
  EXPECT_EQ(std::vector<uint8_t>(ImageBytes(), ImageBytes() + 8192), std::vector<uint8_t>(8192, 0));
  EXPECT_EQ(Model().SoundFile[1], first);

  // On the left half: one file each, in the order given.
  Drop({second, first}, QPoint(100, 60));
  EXPECT_EQ(std::vector<uint8_t>(ImageBytes(), ImageBytes() + 8192), Pattern(8192, 2));
  EXPECT_EQ(std::vector<uint8_t>(ImageBytes() + 8192, ImageBytes() + 16384), Pattern(8192, 1));
}

TEST_F(MainWindowQtTest, OnlyAPlainLeftClickOnThePanelsPlaysTheSound) {
  Start();
  std::fill(ImageBytes(), ImageBytes() + 8192, 0xC0);
  ComputeWAVfromBuffer(Session());
  std::vector<std::pair<const void*, UINT>> played;
  platform_.onPlaySound = [&](const void* wav, UINT flags) { played.emplace_back(wav, flags); };
  QWidget* client = platform_.ClientArea();
  QTest::mouseClick(client, Qt::LeftButton, Qt::ShiftModifier, QPoint(200, 60));
  QTest::mouseClick(client, Qt::LeftButton, Qt::ControlModifier, QPoint(200, 60));
  QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, QPoint(200, 300));  // below the panels
  EXPECT_TRUE(played.empty());
  QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, QPoint(200, 60));
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].first, App().wavbuffer[0].get());
  EXPECT_EQ(played[0].second, SND_ASYNC | SND_NODEFAULT | SND_MEMORY);
}

TEST_F(MainWindowQtTest, ThePaintedWindowShowsFramesTraceAndTextsWhereTheCoreDrawsThem) {
  Start();
  // Full scale up for the first half of the sound, full scale down after.
  std::fill(ImageBytes(), ImageBytes() + 4096, 0xFF);
  std::fill(ImageBytes() + 4096, ImageBytes() + 8192, 0x7F);
  const QImage frame = Frame();
  ASSERT_EQ(frame.size(), QSize(600, 480));
  // The panel runs from (4, 4) to (596, 156); its zero line is row 80.
  EXPECT_EQ(frame.pixelColor(300, 4), kGrey);
  EXPECT_EQ(frame.pixelColor(596, 100), kGrey);
  EXPECT_EQ(frame.pixelColor(150, 156), kGrey);
  EXPECT_EQ(frame.pixelColor(150, 80), kGrey);
  const int high = static_cast<int>(ScaleForDisplay(0xFF, 80, 4));
  const int low = static_cast<int>(ScaleForDisplay(0x7F, 80, 4));
  EXPECT_EQ(high, 7);
  EXPECT_EQ(low, 153);
  EXPECT_TRUE(ColourNear(frame, 150, high, kBlue));
  EXPECT_TRUE(ColourNear(frame, 450, low, kBlue));
  EXPECT_FALSE(ColourNear(frame, 150, low, kBlue));
  // Where the sound drops, one stroke joins the two levels.
  EXPECT_TRUE(ColourNear(frame, 300, 80, kBlue));
  EXPECT_EQ(frame.pixelColor(300, 200), QColor(Qt::white));
  // "EPROM 1 of 1" centred on x = 268 from row 310; "File 1: ?" at (10, 360).
  EXPECT_TRUE(HasDarkPixels(frame, QRect(250, 311, 36, 12)));
  EXPECT_FALSE(HasDarkPixels(frame, QRect(150, 311, 60, 12)));
  EXPECT_TRUE(HasDarkPixels(frame, QRect(10, 361, 60, 12)));
}

TEST_F(MainWindowQtTest, ReadEpromThroughTheSimulatedKilnboxFillsTheImageAndTheTrace) {
  QtSimulatedKilnbox& kilnbox = platform_.StartSimulator(8.0);
  Start();
  std::vector<uint8_t> eprom(8192);
  for (size_t i = 0; i < eprom.size(); ++i) eprom[i] = i < 4096 ? 0xF0 : 0x70;
  kilnbox.Link()->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(et2764, eprom); });

  // Which EPROM: the user takes the one offered.
  guitest::WhenModal([](QWidget* modal) {
    if (!qobject_cast<QDialog*>(modal) || qobject_cast<QMessageBox*>(modal)) return;
    for (QPushButton* b : modal->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("OK")) b->click();
  });
  MenuAction(IDM_READ_EPROM)->trigger();
  ASSERT_TRUE(guitest::WaitFor(
      [&] { return StatusBar()->PartText(1) == QStringLiteral("Received Block 1:  8192 bytes - Read OK."); }))
      << StatusBar()->PartText(1).toStdString();
  EXPECT_EQ(StatusBar()->PartText(2), QStringLiteral("Kilnbox detected"));
  EXPECT_EQ(std::vector<uint8_t>(ImageBytes(), ImageBytes() + 8192), eprom);
  const QImage frame = Frame();
  EXPECT_TRUE(ColourNear(frame, 150, static_cast<int>(ScaleForDisplay(0xF0, 80, 4)), kBlue));
  EXPECT_TRUE(ColourNear(frame, 450, static_cast<int>(ScaleForDisplay(0x70, 80, 4)), kBlue));
}

TEST_F(MainWindowQtTest, TheWindowRepaintsDuringTheTwoSecondPauseOfARead) {
  QtSimulatedKilnbox& kilnbox = platform_.StartSimulator(8.0);
  Start();
  kilnbox.Link()->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(et2764, std::vector<uint8_t>(8192, 0xC0)); });
  // Holds the sequence in its pause after the read command: seen from a
  // timer that is always due before the pause's own, the pause is stopped
  // before it can end, however late the loop gets to either.
  bool held = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (held || !Session().devices->Pausing() || StatusBar()->PartText(0) != QStringLiteral("Reading EPROM"))
      return;
    plat::KillTimer(App().MyWindow, ID_PAUSE_TIMER);
    held = true;
  });
  watch.start(5);
  MenuAction(IDM_READ_EPROM)->trigger();
  ASSERT_TRUE(guitest::WaitFor([&] { return held; }));

  // The user resizes the window during the pause: it is laid out and painted
  // at once, and the sequence still waits for its step.
  guitest::SetClientSize(platform_, 700, 520);
  EXPECT_EQ(platform_.ClientArea()->grab().size(), QSize(700, 520));
  EXPECT_EQ(StatusBar()->PartText(0), QStringLiteral("Reading EPROM"));
  EXPECT_TRUE(Session().devices->Pausing());
  ASSERT_EQ(Buttons().size(), 2u);
  EXPECT_EQ(Buttons()[0]->geometry().top(), 520 / 2 + 10);

  // Released, the read goes on to its end.
  plat::SetTimer(App().MyWindow, ID_PAUSE_TIMER, 1);
  EXPECT_TRUE(guitest::WaitFor(
      [&] { return StatusBar()->PartText(1) == QStringLiteral("Received Block 1:  8192 bytes - Read OK."); }));
}

TEST_F(MainWindowQtTest, TheProgramRunsUntilExitWhileASecondStartOnlyRaisesIt) {
  bool secondGaveUp = false;
  QTimer::singleShot(100, [&] {
    SingleInstance second([] {});
    secondGaveUp = !second.Acquire(szAppName);
    MenuAction(IDM_EXIT)->trigger();
  });
  EXPECT_EQ(TalverineMain(Session(), nullptr), 0);
  EXPECT_TRUE(secondGaveUp);
  EXPECT_EQ(ImageBytes(), nullptr);  // the close path freed the buffers
  // Nobody listens for raise requests any more.
  QLocalSocket socket;
  socket.connectToServer(SingleInstance::ServerName(szAppName));
  EXPECT_FALSE(socket.waitForConnected(200));
}

// A request is read whole, however it is cut up on the way, before it is
// acted on; one that is not well formed is ignored whole.
TEST_F(MainWindowQtTest, ARequestIsActedOnWholeAndOnlyWhenWellFormed) {
  const std::string name = "pieces-" + std::to_string(QCoreApplication::applicationPid());
  int raised = 0;
  std::vector<SingleInstance::Files> loaded;
  SingleInstance first([&] { ++raised; }, [&](SingleInstance::Files files) { loaded.push_back(files); });
  ASSERT_TRUE(first.Acquire(name.c_str()));
  auto send = [&](const std::vector<std::string>& pieces) {
    QLocalSocket socket;
    socket.connectToServer(SingleInstance::ServerName(name.c_str()));
    ASSERT_TRUE(socket.waitForConnected(guitest::kSettleLimitMs));
    for (const std::string& piece : pieces) {
      socket.write(piece.data(), static_cast<qint64>(piece.size()));
      // (The first may end a request that is too long before it is all written.)
      while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(guitest::kSettleLimitMs)) {
      }
      // The first instance may read what has come so far.
      QCoreApplication::processEvents();
    }
    socket.disconnectFromServer();
  };
  using namespace std::string_literals;
  send({"raise\n/a.wav"});                               // the last name unended
  send({"raise\n/a.wav\0"s + std::string(70000, 'x')});  // longer than any request
  send({"open\n/a.wav\0"s});
  send({"rai", "se\n/home/my", " kick.wav\0/snare"s, ".bin\0"s});
  ASSERT_TRUE(guitest::WaitFor([&] { return !loaded.empty(); }));
  EXPECT_EQ(loaded, (std::vector<SingleInstance::Files>{{"/home/my kick.wav", "/snare.bin"}}));
  EXPECT_EQ(raised, 1);
}

}  // namespace
