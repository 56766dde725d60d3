// The paced output behind RtMidi's ports, on a fake clock and a fake port:
// a message goes out in exact pieces that rejoin to it, never faster than
// the MIDI wire, in the order handed over, and a failure ends it and is
// reported. The writer thread's own rules (a close never cuts a message
// already handed over) are checked through the port set, as the MIDI layer
// drives them.
#include "platform/midi/output_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <vector>

#include "tests/support/fake_pace_clock.h"

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::microseconds;
using namespace std::chrono_literals;

// How long a wait for another thread goes on before it fails: only a fault
// comes near it, however loaded the machine.
constexpr auto kPatience = 60s;

constexpr size_t kFullBlock = 131118;
constexpr int64_t kUsPerByte = 320;  // 1 s / 3125

Bytes Sysex(size_t size, uint8_t salt = 0) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 13 + salt) & 0x7F);
  bytes.front() = 0xF0;
  if (size > 1) bytes.back() = 0xF7;
  return bytes;
}

using testsupport::FakeClock;

struct Piece {
  microseconds at;
  Bytes bytes;
};

// A port that records the pieces it gets, and can fail one or hold the
// writer on the first piece until released.
class FakePort : public FragmentPort {
 public:
  explicit FakePort(FakeClock& clock) : FragmentPort(clock), clock_(clock) {}
  MidiWriteResult Open() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++opens_;
    open_ = true;
    return {};
  }
  void Close() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++closes_;
    open_ = false;
  }
  MidiWriteResult SendPiece(const uint8_t* data, size_t size) override {
    std::unique_lock<std::mutex> lock(mutex_);
    EXPECT_TRUE(open_) << "a piece was sent to a closed port";
    if (held_) {
      waiting_ = true;
      changed_.notify_all();
      changed_.wait_for(lock, kPatience, [this] { return !held_; });
      waiting_ = false;
    }
    if (failAt_ == pieces_.size()) {
      failAt_ = SIZE_MAX;
      pieces_.push_back({clock_.Now(), Bytes()});
      return MidiWriteResult::Failure(midi_error::kError, "MidiOutAlsa::sendMessage: error sending MIDI message to port.");
    }
    pieces_.push_back({clock_.Now(), Bytes(data, data + size)});
    return {};
  }

  void FailPiece(size_t index) { failAt_ = index; }
  void Hold() { held_ = true; }
  // Waits until the writer sits on a held piece.
  bool WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [this] { return waiting_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }
  std::vector<Piece> Pieces() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pieces_;
  }
  Bytes Joined() {
    Bytes all;
    for (const Piece& p : Pieces()) all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
  }
  int Opens() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
  }
  int Closes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closes_;
  }
  bool IsOpen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
  }

 private:
  FakeClock& clock_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Piece> pieces_;
  size_t failAt_ = SIZE_MAX;
  bool held_ = false;
  bool waiting_ = false;
  bool open_ = false;
  int opens_ = 0;
  int closes_ = 0;
};

// Every piece is followed by at least its own time on the wire before the
// next one is handed over.
void ExpectNeverFasterThanTheWire(const std::vector<Piece>& pieces) {
  for (size_t i = 1; i < pieces.size(); ++i) {
    const int64_t gap = (pieces[i].at - pieces[i - 1].at).count();
    ASSERT_GE(gap, static_cast<int64_t>(pieces[i - 1].bytes.size()) * kUsPerByte) << "piece " << i;
  }
}

class PacerTest : public ::testing::Test {
 protected:
  // Sends `message` through the pacer; returns the pieces it made.
  std::vector<Piece> SendThrough(const Bytes& message) {
    std::vector<Piece> pieces;
    const MidiWriteResult result = pacer.Send(message.data(), message.size(), [&](const uint8_t* d, size_t n) {
      pieces.push_back({clock.Now(), Bytes(d, d + n)});
      clock.Advance(microseconds(jitter ? n % 7 * 50 : 0));  // a hand-over takes a little time
      return MidiWriteResult();
    });
    EXPECT_TRUE(result.Ok());
    return pieces;
  }

  FakeClock clock;
  SysexPacer pacer{clock};
  bool jitter = false;
};

TEST_F(PacerTest, PiecesAreExactlyFragmentSizedAndRejoinToTheMessage) {
  for (size_t size : {1u, 3u, 14u, 255u, 256u, 257u, 512u, 8238u, 131118u}) {
    const Bytes message = Sysex(size, static_cast<uint8_t>(size));
    const std::vector<Piece> pieces = SendThrough(message);
    ASSERT_EQ(pieces.size(), (size + kFragmentBytes - 1) / kFragmentBytes) << size;
    Bytes joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (i + 1 < pieces.size()) EXPECT_EQ(pieces[i].bytes.size(), kFragmentBytes) << size << " piece " << i;
      joined.insert(joined.end(), pieces[i].bytes.begin(), pieces[i].bytes.end());
    }
    EXPECT_EQ(pieces.back().bytes.size(), size - (pieces.size() - 1) * kFragmentBytes);
    EXPECT_TRUE(joined == message) << size;
  }
}

TEST_F(PacerTest, AFullBlockTakesItsWireTimeAndNotMore) {
  const std::vector<Piece> pieces = SendThrough(Sysex(kFullBlock));
  ExpectNeverFasterThanTheWire(pieces);
  // With a punctual clock the last piece goes exactly when the bytes before
  // it have left: pacing adds nothing to the 42 seconds.
  const int64_t elapsed = (pieces.back().at - pieces.front().at).count();
  EXPECT_EQ(elapsed, static_cast<int64_t>(kFullBlock - pieces.back().bytes.size()) * kUsPerByte);

  // A command on a wire that has fallen quiet goes at once.
  clock.Advance(1s);
  const microseconds now = clock.Now();
  EXPECT_EQ(SendThrough(Sysex(6)).front().at, now);
}

TEST_F(PacerTest, LateWakeUpsAndSlowHandOversAreNeverMadeUpByABurst) {
  clock.WakeLate();
  jitter = true;
  std::vector<Piece> all;
  // Messages back to back, long and short: the rate holds across them.
  for (size_t size : {kFullBlock, size_t{14}, size_t{6}, size_t{8238}, size_t{13}}) {
    const std::vector<Piece> pieces = SendThrough(Sysex(size));
    all.insert(all.end(), pieces.begin(), pieces.end());
  }
  ExpectNeverFasterThanTheWire(all);
}

// --- The paced device on a port set -----------------------------------------

class PacedDeviceTest : public ::testing::Test {
 protected:
  PacedDeviceTest() {
    auto owned = std::make_unique<FakePort>(*clock);
    port = owned.get();
    auto device = std::make_unique<WriterOutput>("Paced Port", std::move(owned));
    paced = device.get();
    ports.AddOutput(std::move(device));
  }

  PlatMidiPort* Open() {
    PlatMidiPort* out = nullptr;
    EXPECT_TRUE(ports.OpenOutput("Paced Port", [this](const MidiResult& r) { sentReports.push_back(r); }, &out).Ok());
    return out;
  }

  // What the MIDI layer does for one message.
  uint32_t SendAndRelease(PlatMidiPort* out, Bytes& message) {
    const uint32_t error = ports.Send(out, message.data(), message.size()).error;
    // The caller's buffer is free for the next message at once.
    std::fill(message.begin(), message.end(), 0x55);
    return error;
  }

  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  FakePort* port = nullptr;
  WriterOutput* paced = nullptr;
  std::vector<MidiResult> sentReports;  // in order
  MidiPortSet ports;
};

TEST_F(PacedDeviceTest, ACloseWhileQueuedCutsNothingAndLaterMessagesFollow) {
  PlatMidiPort* out = Open();
  port->Hold();
  Bytes block = Sysex(kFullBlock, 1), command = Sysex(10, 2), request = Sysex(6, 3);
  const Bytes expectedBlock = block, expectedCommand = command, expectedRequest = request;
  ASSERT_EQ(SendAndRelease(out, block), midi_error::kNone);
  ASSERT_TRUE(port->WaitUntilHeld());
  ASSERT_EQ(SendAndRelease(out, command), midi_error::kNone);
  // Ports chosen again in the middle of the block: closed and reopened.
  ASSERT_TRUE(ports.Close(out).Ok());
  EXPECT_TRUE(port->IsOpen()) << "closed under a message handed over";
  out = Open();
  ASSERT_EQ(SendAndRelease(out, request), midi_error::kNone);
  port->Release();
  ASSERT_TRUE(paced->WaitUntilIdle(kPatience));

  Bytes expected = expectedBlock;
  expected.insert(expected.end(), expectedCommand.begin(), expectedCommand.end());
  expected.insert(expected.end(), expectedRequest.begin(), expectedRequest.end());
  EXPECT_TRUE(port->Joined() == expected);
  ExpectNeverFasterThanTheWire(port->Pieces());
  EXPECT_EQ(port->Opens(), 1);
  EXPECT_EQ(port->Closes(), 0);
  ASSERT_TRUE(ports.Close(out).Ok());
  EXPECT_EQ(port->Closes(), 1) << "an idle port closes at once";
}

TEST_F(PacedDeviceTest, AFailedPieceAbortsTheMessageAndItAndThoseBehindItAreReportedFailed) {
  PlatMidiPort* out = Open();
  port->Hold();
  port->FailPiece(4);
  Bytes block = Sysex(kFullBlock, 5), behind = Sysex(12, 6);
  ASSERT_EQ(SendAndRelease(out, block), midi_error::kNone);
  ASSERT_TRUE(port->WaitUntilHeld());
  ASSERT_EQ(SendAndRelease(out, behind), midi_error::kNone);
  port->Release();
  ASSERT_TRUE(paced->WaitUntilIdle(kPatience));
  // Four pieces went, the fifth failed, nothing after it was tried: the
  // message queued behind belonged to a sequence already broken.
  EXPECT_EQ(port->Pieces().size(), 5u);
  EXPECT_EQ(port->Joined().size(), 4 * kFragmentBytes);
  ports.Deliver();
  ASSERT_EQ(sentReports.size(), 2u);
  for (const MidiResult& report : sentReports) {
    EXPECT_EQ(report.error, midi_error::kError);
    EXPECT_EQ(report.text, "MidiOutAlsa::sendMessage: error sending MIDI message to port.");
  }

  // Reported as it happened; the port takes the next message.
  Bytes next = Sysex(6, 7);
  const Bytes expectedNext = next;
  ASSERT_EQ(SendAndRelease(out, next), midi_error::kNone);
  ASSERT_TRUE(paced->WaitUntilIdle(kPatience));
  EXPECT_EQ(port->Pieces().back().bytes, expectedNext);
  ports.Deliver();
  EXPECT_TRUE(sentReports.back().Ok());
}

// Hands everything to a port the test keeps, so that it outlives the device.
class ForwardingPort : public FragmentPort {
 public:
  ForwardingPort(FakePort& to, PaceClock& clock) : FragmentPort(clock), to_(to) {}
  MidiWriteResult Open() override { return to_.Open(); }
  void Close() override { to_.Close(); }
  MidiWriteResult SendPiece(const uint8_t* data, size_t size) override { return to_.SendPiece(data, size); }

 private:
  FakePort& to_;
};

TEST(PacedDevice, GoingAwayFinishesWhatWasHandedOverFirst) {
  auto clock = std::make_shared<FakeClock>();
  FakePort port(*clock);
  auto device = std::make_unique<WriterOutput>("Paced Port", std::make_unique<ForwardingPort>(port, *clock));
  ASSERT_EQ(device->Open(nullptr).error, midi_error::kNone);
  const Bytes block = Sysex(kFullBlock, 8);
  port.Hold();
  ASSERT_EQ(device->Send(block.data(), block.size()).error, midi_error::kNone);
  ASSERT_TRUE(port.WaitUntilHeld());
  device->Close();
  port.Release();
  // The program ends while the block is still queued: the device finishes
  // it, then closes the port.
  device.reset();
  EXPECT_TRUE(port.Joined() == block);
  EXPECT_EQ(port.Closes(), 1);
}

// --- The writer's queue ----------------------------------------------------

// A wire made of the test's own functions.
struct FunctionWire : OutputWire {
  std::function<MidiWriteResult()> open;
  std::function<MidiWriteResult(const uint8_t*, size_t)> put;
  MidiWriteResult Open() override { return open(); }
  void Close() override {}
  MidiWriteResult Put(const uint8_t* data, size_t size) override { return put(data, size); }
};

TEST(OutputWriter, AFullQueueRefusesAndAFatalErrorRefusesUntilReopened) {
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  bool entered = false;
  int opens = 0;
  bool failFatally = false;
  auto wire = std::make_unique<FunctionWire>();
  wire->open = [&] {
    ++opens;
    return MidiWriteResult();
  };
  wire->put = [&](const uint8_t*, size_t) {
    std::unique_lock<std::mutex> lock(mutex);
    entered = true;
    cv.notify_all();
    cv.wait_for(lock, kPatience, [&] { return released; });
    return failFatally ? MidiWriteResult::Failure(midi_error::kError, "gone", true) : MidiWriteResult();
  };
  WriterOutput writer("Writer", std::move(wire), 1000);
  ASSERT_EQ(writer.Open(nullptr).error, midi_error::kNone);
  const Bytes big(600, 0x10);
  ASSERT_EQ(writer.Send(big.data(), big.size()).error, midi_error::kNone);
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, kPatience, [&] { return entered; }));  // taken by the writer
  }
  ASSERT_EQ(writer.Send(big.data(), big.size()).error, midi_error::kNone);  // queued
  const MidiResult full = writer.Send(big.data(), big.size());
  EXPECT_EQ(full.error, midi_error::kNotReady);
  EXPECT_FALSE(full.text.empty());

  {
    std::lock_guard<std::mutex> lock(mutex);
    failFatally = true;
    released = true;
  }
  cv.notify_all();
  ASSERT_TRUE(writer.WaitUntilIdle(kPatience));
  for (int i = 0; i < 2; ++i) {
    const MidiResult refused = writer.Send(big.data(), 1);
    EXPECT_EQ(refused.error, midi_error::kError);
    EXPECT_EQ(refused.text, "gone");
  }
  failFatally = false;
  ASSERT_EQ(writer.Open(nullptr).error, midi_error::kNone);
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(writer.Send(big.data(), 1).error, midi_error::kNone);
}

}  // namespace
