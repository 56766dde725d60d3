// The Kilnbox Simulator window's view, which the Qt and Win32 windows show
// as it says: the socket's texts and the actions on the socket.
#include "platform/midi/sim/sim_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/midi/sim/sim_port.h"
#include "shell/image_model.h"
#include "tests/support/core_fixture.h"

namespace {

class SimView : public ::testing::Test {
 protected:
  sim::Socket Socket() {
    sim::Socket s;
    link_->WithModel([&](sim::Kilnbox& k) { s = k.GetSocket(); });
    return s;
  }
  std::string InsertFile(const std::string& path, int type) {
    return view_.Do(simview::Action::InsertFromFile, type, path);
  }

  std::shared_ptr<simport::KilnboxLink> link_ = std::make_shared<simport::KilnboxLink>([] { return uint64_t{0}; });
  simview::SimulatorView view_{link_};
  testsupport::TempDir temp_;
};

TEST_F(SimView, DescribesTheSocketAndEnablesWhatActsOnAnEprom) {
  simview::State state = view_.Read();
  EXPECT_EQ(state.socket, "Socket: empty");
  EXPECT_EQ(state.display.size(), 2 * sim::kDisplayWidth + 1);
  for (const simview::Button& button : simview::kButtons) EXPECT_EQ(state.Enabled(button), !button.needsEprom);

  std::vector<uint8_t> contents(16384, 0xFF);
  contents[0] = 0x12;
  contents[1] = 0xAB;
  link_->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(et27128, contents); });
  state = view_.Read();
  // The 16-bit sum: 0x12 + 0xAB + 16382 x 0xFF.
  EXPECT_EQ(state.socket, "Socket: 27128 (16K), programmed\nFirst bytes: 12 AB FF FF FF FF FF FF Checksum: BEBF");
  for (const simview::Button& button : simview::kButtons) EXPECT_TRUE(state.Enabled(button));

  EXPECT_EQ(view_.Do(simview::Action::Erase, et2732), "");
  EXPECT_EQ(view_.Read().socket, "Socket: 27128 (16K), blank\nFirst bytes: FF FF FF FF FF FF FF FF Checksum: C000");
}

TEST_F(SimView, InsertsAnImageFileCutOrPaddedToTheType) {
  const std::string small = temp_.File("small.bin");
  testsupport::WriteBytes(small, std::vector<uint8_t>(100, 0x11));
  ASSERT_EQ(InsertFile(small, et2764), "");
  sim::Socket s = Socket();
  ASSERT_EQ(s.contents.size(), 8192u);
  EXPECT_EQ(s.contents[99], 0x11);
  EXPECT_EQ(s.contents[100], 0xFF);

  const std::string large = temp_.File("large.bin");
  testsupport::WriteBytes(large, std::vector<uint8_t>(70000, 0x22));
  ASSERT_EQ(InsertFile(large, et2732), "");
  EXPECT_EQ(Socket().contents, std::vector<uint8_t>(4096, 0x22));

  // A file that cannot be read, or a type there is not, leaves the socket.
  const std::string missing = temp_.File("missing.bin");
  EXPECT_EQ(InsertFile(missing, et2764), "Cannot read " + missing + ": No such file or directory");
  const std::string folder = temp_.File("");
  EXPECT_EQ(InsertFile(folder, et2764).rfind("Cannot read " + folder + ": ", 0), 0u);
  EXPECT_EQ(InsertFile(small, 11), "No such EPROM type.");
  EXPECT_EQ(InsertFile(small, -1), "No such EPROM type.");
  EXPECT_EQ(view_.Do(simview::Action::InsertBlank, 11), "No such EPROM type.");
  EXPECT_EQ(Socket().type, static_cast<int>(et2732));
  EXPECT_EQ(Socket().contents, std::vector<uint8_t>(4096, 0x22));
}

}  // namespace
