// Raw byte-stream MIDI devices over a pseudo-terminal pair made here: the
// test holds the master side as the peer would (the simulated Kilnbox or a
// MIDI interface), the devices open the slave by its path. Every wait is
// bounded, so a fault shows as a failure, never as a hung test.
#include "platform/midi/rawdev/ports_rawdev.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/midi/system_ports.h"
#include "tests/support/core_fixture.h"

namespace {

using Bytes = std::vector<BYTE>;
using namespace std::chrono_literals;

// How long a wait for another thread goes on before it fails: only a fault
// comes near it, however loaded the machine.
constexpr auto kPatience = 60s;

constexpr size_t kFullBlock = 131118;  // a 64 KB data block on the wire

Bytes Pattern(size_t size, BYTE salt = 0) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>((i * 7 + salt + (i >> 8)) & 0xFF);
  return bytes;
}

Bytes Sysex(size_t size, BYTE salt = 0) {
  Bytes bytes = Pattern(size, salt);
  for (BYTE& b : bytes) b &= 0x7F;
  bytes.front() = 0xF0;
  bytes.back() = 0xF7;
  return bytes;
}

// The master side of a pseudo-terminal, non-blocking.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = ptsname(master_);
  }
  ~PtyPeer() { Hangup(); }
  bool Ok() const { return !slavePath_.empty(); }
  const std::string& SlavePath() const { return slavePath_; }
  int Fd() const { return master_; }
  void Hangup() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // Reads until `size` bytes came or `limit` passed.
  Bytes Read(size_t size, std::chrono::milliseconds limit = kPatience) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + limit;
    BYTE chunk[4096];
    while (got.size() < size && std::chrono::steady_clock::now() < end) {
      pollfd p = {master_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = read(master_, chunk, std::min(sizeof chunk, size - got.size()));
      if (n > 0) got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }

  // Writes everything, waiting for room, within `limit`.
  bool Write(const Bytes& bytes, std::chrono::milliseconds limit = kPatience) {
    size_t done = 0;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      pollfd p = {master_, POLLOUT, 0};
      poll(&p, 1, 20);
    }
    return done == bytes.size();
  }

  bool EchoOn() const {
    termios t;
    return tcgetattr(master_, &t) == 0 && (t.c_lflag & ECHO) != 0;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Collects what an input device hands over, from its reader thread.
class Collector {
 public:
  MidiByteSink Sink() {
    return [this](const BYTE* data, size_t size) {
      std::lock_guard<std::mutex> lock(mutex_);
      bytes_.insert(bytes_.end(), data, data + size);
      cv_.notify_all();
    };
  }
  Bytes WaitFor(size_t size, std::chrono::milliseconds limit = kPatience) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, limit, [&] { return bytes_.size() >= size; });
    return bytes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  Bytes bytes_;
};

template <typename Predicate>
bool Eventually(Predicate done, std::chrono::milliseconds limit = kPatience) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class RawDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peer.Ok()) GTEST_SKIP() << "no pseudo-terminals here";
  }
  // The two ports on the peer's path; a test may take both or one.
  rawdev::RawDevice Device(std::chrono::milliseconds stall = rawdev::kStallLimit) {
    return rawdev::MakeRawDevice(peer.SlavePath(), stall);
  }

  PtyPeer peer;
};

TEST_F(RawDeviceTest, EveryByteValueTravelsBothWaysUnchangedAndNothingEchoes) {
  auto [input, output] = Device();
  Collector got;
  ASSERT_EQ(input->Open(got.Sink()).error, MMSYSERR_NOERROR);
  ASSERT_EQ(output->Open(nullptr).error, MMSYSERR_NOERROR);
  EXPECT_FALSE(peer.EchoOn());

  // Carriage return, line feed, XON/XOFF, interrupt and end-of-file
  // characters are data here like any other byte.
  Bytes all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<BYTE>(i);
  ASSERT_EQ(output->Send(all.data(), all.size()).error, MMSYSERR_NOERROR);
  EXPECT_EQ(peer.Read(all.size()), all);

  ASSERT_TRUE(peer.Write(all));
  EXPECT_EQ(got.WaitFor(all.size()), all);
  EXPECT_TRUE(peer.Read(1, 100ms).empty()) << "the peer's bytes came back to it";
}

TEST_F(RawDeviceTest, AFullBlockGoesThroughIntactInEachDirection) {
  auto [input, output] = Device();
  Collector got;
  ASSERT_EQ(input->Open(got.Sink()).error, MMSYSERR_NOERROR);
  ASSERT_EQ(output->Open(nullptr).error, MMSYSERR_NOERROR);

  const Bytes out = Sysex(kFullBlock, 1);
  ASSERT_EQ(output->Send(out.data(), out.size()).error, MMSYSERR_NOERROR);
  const Bytes received = peer.Read(out.size());
  EXPECT_TRUE(received == out) << received.size() << " of " << out.size() << " bytes arrived";
  EXPECT_TRUE(output->WaitUntilIdle(1s));

  const Bytes in = Sysex(kFullBlock, 2);
  ASSERT_TRUE(peer.Write(in));
  const Bytes collected = got.WaitFor(in.size());
  EXPECT_TRUE(collected == in) << collected.size() << " of " << in.size() << " bytes arrived";
}

TEST_F(RawDeviceTest, MessagesGoOutInOrderAndAClosePendingNeverCutsOne) {
  auto output = Device().output;
  ASSERT_EQ(output->Open(nullptr).error, MMSYSERR_NOERROR);
  const Bytes first = Sysex(kFullBlock, 3);
  const Bytes second = Sysex(300, 4);
  const Bytes third = Sysex(20, 5);
  ASSERT_EQ(output->Send(first.data(), first.size()).error, MMSYSERR_NOERROR);
  // The pty holds a few kilobytes only: the block is still being written
  // when the port is closed and opened again.
  output->Close();
  ASSERT_EQ(output->Open(nullptr).error, MMSYSERR_NOERROR);
  ASSERT_EQ(output->Send(second.data(), second.size()).error, MMSYSERR_NOERROR);
  ASSERT_EQ(output->Send(third.data(), third.size()).error, MMSYSERR_NOERROR);
  output->Close();

  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  expected.insert(expected.end(), third.begin(), third.end());
  const Bytes received = peer.Read(expected.size());
  EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size() << " bytes arrived";
  // The peer keeps sending between a close and the next open: its bytes
  // must not come back to it.
  EXPECT_FALSE(peer.EchoOn());
}

TEST_F(RawDeviceTest, ThePeerHangingUpMidTransferFailsTheOutputAndStopsTheReader) {
  auto [input, output] = Device();
  Collector got;
  ASSERT_EQ(input->Open(got.Sink()).error, MMSYSERR_NOERROR);
  ASSERT_EQ(output->Open(nullptr).error, MMSYSERR_NOERROR);
  const Bytes block = Sysex(kFullBlock);
  ASSERT_EQ(output->Send(block.data(), block.size()).error, MMSYSERR_NOERROR);
  EXPECT_EQ(peer.Read(8192).size(), 8192u);
  peer.Hangup();

  EXPECT_TRUE(output->WaitUntilIdle(kPatience)) << "the writer is stuck";
  EXPECT_TRUE(Eventually([&] { return !input->Failure().empty(); })) << "the reader did not notice";
  EXPECT_NE(input->Failure().find(peer.SlavePath()), std::string::npos) << input->Failure();

  // Every later message is refused with the reason, until the port is
  // opened again.
  const Bytes command = Sysex(8);
  for (int i = 0; i < 2; ++i) {
    const MidiResult refused = output->Send(command.data(), command.size());
    ASSERT_NE(refused.error, MMSYSERR_NOERROR);
    EXPECT_NE(refused.text.find("Cannot write to " + peer.SlavePath()), std::string::npos) << refused.text;
  }
  input->Close();
  output->Close();
}

TEST_F(RawDeviceTest, APeerThatStopsReadingFailsTheMessageInsteadOfHanging) {
  auto output = Device(200ms).output;
  ASSERT_EQ(output->Open(nullptr).error, MMSYSERR_NOERROR);
  const Bytes block = Sysex(kFullBlock);
  ASSERT_EQ(output->Send(block.data(), block.size()).error, MMSYSERR_NOERROR);
  ASSERT_TRUE(output->WaitUntilIdle(kPatience));

  const Bytes command = Sysex(8);
  const MidiResult refused = output->Send(command.data(), command.size());
  ASSERT_NE(refused.error, MMSYSERR_NOERROR);
  EXPECT_NE(refused.text.find("no byte was taken for 200 ms"), std::string::npos) << refused.text;
  // Not a lost device: once the peer reads again, messages go through.
  peer.Read(1 << 20, 300ms);
  ASSERT_EQ(output->Send(command.data(), command.size()).error, MMSYSERR_NOERROR);
  EXPECT_EQ(peer.Read(command.size()), command);
}

TEST_F(RawDeviceTest, PortSetOpensThePathAndFramesWhatTheReaderHandsOver) {
  MidiPortSet ports;
  const MidiPortPair ids = rawdev::AddRawDevice(ports, peer.SlavePath());
  const std::string name = ports.InputNames().at(ids.input);
  EXPECT_EQ(name, ShortPortName(peer.SlavePath()));

  PlatMidiPort* in = nullptr;
  std::vector<Bytes> received;
  ASSERT_TRUE(
      ports.OpenInput(name, {[&received](const BYTE* d, size_t n) { received.emplace_back(d, d + n); }, nullptr}, &in)
          .Ok());
  ASSERT_TRUE(ports.Listen(in, true).Ok());

  // Active sensing from an interface in the middle of a block.
  Bytes block = Sysex(kFullBlock, 6);
  Bytes wire = block;
  wire.insert(wire.begin() + 5000, 0xFE);
  ASSERT_TRUE(peer.Write(wire));
  EXPECT_TRUE(Eventually([&] {
    ports.Deliver();
    return !received.empty();
  }));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_TRUE(received[0] == block);
  EXPECT_TRUE(ports.Close(in).Ok());
}

TEST(RawDevicePorts, AMissingPathFailsToOpenWithTheReasonAndThePath) {
  MidiPortSet ports;
  const std::string path = "/nonexistent/midi-device";
  rawdev::AddRawDevice(ports, path);
  PlatMidiPort* port = nullptr;
  const MidiResult refused = ports.OpenOutput(path, nullptr, &port);
  EXPECT_EQ(refused.error, MMSYSERR_BADDEVICEID);
  EXPECT_EQ(refused.text, "Cannot open /nonexistent/midi-device: No such file or directory");
  EXPECT_EQ(ports.OpenInput(path, {}, &port).error, MMSYSERR_BADDEVICEID);
}

TEST(RawDevicePorts, NamesKeepTheDistinctiveEndOfALongPath) {
  EXPECT_EQ(ShortPortName("/dev/snd/midiC1D0"), "/dev/snd/midiC1D0");
  const std::string name = ShortPortName("/dev/serial/by-id/usb-Kilnbox_MIDI_Interface-if00-port0");
  EXPECT_EQ(name, "...ox_MIDI_Interface-if00-port0");
  EXPECT_EQ(ShortPortName(std::string(31, 'x')), std::string(31, 'x'));
  EXPECT_EQ(ShortPortName(std::string(32, 'x')).size(), 31u);
}

TEST(RawDevicePorts, NodesAreFoundInCardAndDeviceOrderAndEachPathIsAddedOnce) {
  testsupport::TempDir dir;
  for (const char* name : {"midiC1D0", "midiC0D10", "midiC0D2", "midiC10D0", "midiX", "midiC0D0x", "pcmC0D0p"})
    testsupport::WriteText(dir.File(name), "");
  EXPECT_EQ(rawdev::FindRawMidiNodes(dir.path()),
            (std::vector<std::string>{dir.File("midiC0D2"), dir.File("midiC0D10"), dir.File("midiC1D0"),
                                      dir.File("midiC10D0")}));
  EXPECT_TRUE(rawdev::FindRawMidiNodes(dir.File("missing")).empty());

  std::filesystem::create_symlink(dir.File("midiC1D0"), dir.File("link"));
  MidiPortSet ports;
  const size_t before = ports.OutputNames().size();
  RegisterSystemPorts(ports, {dir.File("midiC1D0"), dir.File("link"), dir.File("midiC1D0"), dir.File("midiC0D2")});
  const std::vector<std::string> names = ports.OutputNames();
  EXPECT_EQ(names.size() - before, 2u);
  EXPECT_EQ(ports.InputNames().size(), names.size());
  EXPECT_EQ(names[names.size() - 2], ShortPortName(dir.File("midiC1D0")));
}

TEST(RawDevicePorts, ACustomLineRateIsTakenByATerminal) {
  PtyPeer peer;
  if (!peer.Ok()) GTEST_SKIP() << "no pseudo-terminals here";
  EXPECT_TRUE(rawdev::SetCustomLineRate(peer.Fd(), 31250));
  EXPECT_FALSE(rawdev::SetCustomLineRate(-1, 31250));
}

}  // namespace
