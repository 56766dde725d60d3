// The Kilnbox Simulator window: the device's display and socket as the model
// holds them, and the socket actions.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "platform/midi/sim/sim_port.h"
#include "platform/qt/simulator_qt.h"
#include "shell/image_model.h"
#include "tests/gui/gui_support.h"

namespace {

class SimulatorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link_ = std::make_shared<simport::KilnboxLink>([this] { return nowMs_; });
    window_.reset(CreateSimulatorWindow(link_, nullptr));
    window_->show();
  }
  QString Text(const char* name) { return window_->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  QPushButton* Button(const char* name) { return window_->findChild<QPushButton*>(QString::fromLatin1(name)); }
  sim::Socket Socket() {
    sim::Socket s;
    link_->WithModel([&](sim::Kilnbox& k) { s = k.GetSocket(); });
    return s;
  }
  std::string DisplayLine(int line) {
    std::string s;
    link_->WithModel([&](sim::Kilnbox& k) { s = k.DisplayLine(line); });
    return s;
  }

  uint64_t nowMs_ = 0;
  std::shared_ptr<simport::KilnboxLink> link_;
  std::unique_ptr<QWidget> window_;
};

TEST_F(SimulatorWindowTest, ShowsTheDevicesDisplayAsItChanges) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Kilnbox Simulator"));
  const QStringList lines = Text("display").split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0].trimmed().toStdString(), QString::fromStdString(DisplayLine(0)).trimmed().toStdString());
  EXPECT_EQ(lines[0].size(), static_cast<qsizetype>(sim::kDisplayWidth));

  // A read key without its Enter: the device refuses it on its display.
  const uint8_t badCommand[] = {0xF0, 0x10, 0x05, 0x02, 0x21, 0xF7};
  link_->HostSend(badCommand, sizeof badCommand);
  nowMs_ = 1000;
  link_->Poll();
  ASSERT_EQ(DisplayLine(1), "Bad command");
  QTRY_VERIFY_WITH_TIMEOUT(Text("display").endsWith(QStringLiteral("Bad command     ")),
                           guitest::kSettleLimitMs);
}

TEST_F(SimulatorWindowTest, ReflectsTheSocketAndActsOnIt) {
  EXPECT_TRUE(Text("socket").startsWith(QStringLiteral("Socket: empty")));
  EXPECT_FALSE(Button("erase")->isEnabled());

  std::vector<uint8_t> contents(16384, 0xFF);
  contents[0] = 0x12;
  contents[1] = 0xAB;
  link_->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(et27128, contents); });
  QTRY_VERIFY_WITH_TIMEOUT(Text("socket").startsWith(QStringLiteral("Socket: 27128 (16K), programmed")),
                           guitest::kSettleLimitMs);
  EXPECT_TRUE(Text("socket").contains(QStringLiteral("12 AB FF")));
  // The 16-bit sum: 0x12 + 0xAB + 16382 x 0xFF.
  EXPECT_TRUE(Text("socket").contains(QStringLiteral("Checksum: BEBF")));

  QTest::mouseClick(Button("erase"), Qt::LeftButton);
  EXPECT_TRUE(Text("socket").startsWith(QStringLiteral("Socket: 27128 (16K), blank")));
  EXPECT_EQ(Socket().contents, std::vector<uint8_t>(16384, 0xFF));

  QTest::mouseClick(Button("remove"), Qt::LeftButton);
  EXPECT_FALSE(Socket().present);
  EXPECT_FALSE(Button("remove")->isEnabled());

  auto* types = window_->findChild<QComboBox*>(QStringLiteral("type"));
  types->setCurrentIndex(et27512);
  QTest::mouseClick(Button("insertBlank"), Qt::LeftButton);
  EXPECT_TRUE(Socket().present);
  EXPECT_EQ(Socket().type, static_cast<int>(et27512));
  EXPECT_EQ(Socket().contents.size(), 65536u);
}

TEST_F(SimulatorWindowTest, OffersTheProgramsElevenTypesInItsOrder) {
  auto* types = window_->findChild<QComboBox*>(QStringLiteral("type"));
  ASSERT_EQ(types->count(), static_cast<int>(etINVALID));
  for (int t = 0; t < static_cast<int>(etINVALID); ++t)
    EXPECT_TRUE(types->itemText(t).startsWith(QString::fromLatin1(EPROM_info[t].etName) + QLatin1Char(' '))) << t;
}

}  // namespace
