// The WinMM MIDI ports against a double of the WinMM calls (there are no
// MIDI devices under Wine): buffers armed before input starts, messages
// split across buffers joined, what a reset hands back dropped, a long
// message handed over whole and waited for, a header the driver keeps never
// freed.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/winmm_win32.h"
#include "tests/win32/winmm_double.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

// The bytes a port passed on, from the service thread.
class Received {
 public:
  MidiByteSink Sink() {
    return [this](const uint8_t* data, size_t size) {
      std::lock_guard<std::mutex> lock(mutex_);
      bytes_.insert(bytes_.end(), data, data + size);
      changed_.notify_all();
    };
  }
  // Waits until `count` bytes have come; what came by then.
  std::vector<uint8_t> WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return bytes_.size() >= count; });
    return bytes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> Sysex(size_t size) {
  std::vector<uint8_t> m(size);
  for (size_t i = 0; i < size; ++i) m[i] = static_cast<uint8_t>(i * 7 % 128);
  m.front() = 0xF0;
  m.back() = 0xF7;
  return m;
}

class WinMm : public ::testing::Test {
 protected:
  void SetUp() override { winmmdouble::Reset({"In \xC3\x9C" "ber"}, {"Out"}); }
};

TEST_F(WinMm, InputArmsItsBuffersBeforeItStartsAndJoinsAMessageSplitAcrossThem) {
  Received got;
  w32::WinMmInput in(winmmdouble::Calls(), 0);
  EXPECT_EQ(in.Name(), "In \xC3\x9C" "ber");  // the port's name in UTF-8
  ASSERT_EQ(in.Open(got.Sink()).error, 0u);
  std::vector<std::string> opening = winmmdouble::Log();
  ASSERT_EQ(opening.back(), "inStart");
  EXPECT_EQ(std::count(opening.begin(), opening.end(), "inAdd"), static_cast<long>(w32::kInputBuffers));

  const std::vector<uint8_t> reply = Sysex(w32::kInputBufferBytes + 100);
  winmmdouble::Receive(reply);
  EXPECT_EQ(got.WaitFor(reply.size()), reply);
  winmmdouble::Receive({0x90, 0x40, 0x7F});
  std::vector<uint8_t> expected = reply;
  expected.insert(expected.end(), {0x90, 0x40, 0x7F});
  EXPECT_EQ(got.WaitFor(expected.size()), expected);
  // Both buffers the reply filled went back to the driver.
  for (int i = 0; i < 600 && winmmdouble::QueuedInputBuffers() < w32::kInputBuffers; ++i) Sleep(100);
  EXPECT_EQ(winmmdouble::QueuedInputBuffers(), w32::kInputBuffers);
  in.Close();
}

TEST_F(WinMm, ClosingDropsWhatTheResetHandsBackAndLetsGoOfEveryBuffer) {
  Received got;
  w32::WinMmInput in(winmmdouble::Calls(), 0);
  ASSERT_EQ(in.Open(got.Sink()).error, 0u);
  // Half a message in a buffer when the port closes: no reply.
  winmmdouble::Receive({0xF0, 0x10, 0x05, 0x01});
  in.Close();
  EXPECT_TRUE(got.WaitFor(0).empty());
  const std::vector<std::string> log = winmmdouble::Log();
  const auto reset = std::find(log.begin(), log.end(), "inReset");
  ASSERT_NE(reset, log.end());
  EXPECT_EQ(std::count(reset, log.end(), "inUnprepare"), static_cast<long>(w32::kInputBuffers));
  EXPECT_EQ(log.back(), "inClose");
  EXPECT_EQ(winmmdouble::QueuedInputBuffers(), 0u);
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 0u);
  // The port opens again.
  ASSERT_EQ(in.Open(got.Sink()).error, 0u);
  in.Close();
}

TEST_F(WinMm, AnOpenTheDriverRefusesGivesItsErrorAndText) {
  Received got;
  w32::WinMmInput in(winmmdouble::Calls(), 0);
  winmmdouble::FailNextOpen(MMSYSERR_ALLOCATED);
  const MidiResult in4 = in.Open(got.Sink());
  EXPECT_EQ(in4.error, static_cast<unsigned>(MMSYSERR_ALLOCATED));
  EXPECT_EQ(in4.text, "Fake WinMM error 4.");
  w32::WinMmOutput out(winmmdouble::Calls(), 0);
  winmmdouble::FailNextOpen(MMSYSERR_NODRIVER);
  const MidiWriteResult out6 = out.Open();
  EXPECT_EQ(out6.error, static_cast<unsigned>(MMSYSERR_NODRIVER));
  EXPECT_EQ(out6.text, "Fake WinMM error 6.");
}

TEST_F(WinMm, OutputHandsALongMessageOverWholeAndReturnsOnceTheDriverIsDone) {
  w32::WinMmOutput out(winmmdouble::Calls(), 0);
  ASSERT_EQ(out.Open().error, 0u);
  const std::vector<uint8_t> block = Sysex(131118);  // a 64 KB block on the wire
  ASSERT_EQ(out.PutLong(block.data(), block.size(), 10000).error, 0u);
  ASSERT_EQ(winmmdouble::LongMessages().size(), 1u);
  EXPECT_EQ(winmmdouble::LongMessages()[0], block);
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 0u);  // done, then unprepared
  const uint8_t note[] = {0x90, 0x40, 0x7F};
  ASSERT_EQ(out.PutShort(note, sizeof note).error, 0u);
  EXPECT_EQ(winmmdouble::ShortMessages(), std::vector<uint32_t>({0x7F4090}));
  const std::vector<std::string> log = winmmdouble::Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "outReset"), 0);  // nothing was cut
  out.Close();
}

TEST_F(WinMm, AMessageTheDriverNeverFinishesFailsAndIsTakenBack) {
  w32::WinMmOutput out(winmmdouble::Calls(), 0);
  ASSERT_EQ(out.Open().error, 0u);
  winmmdouble::SetOutputFinishes(false);
  const std::vector<uint8_t> message = Sysex(8);
  const MidiWriteResult late = out.PutLong(message.data(), message.size(), 200);
  EXPECT_NE(late.error, 0u);
  EXPECT_NE(late.text.find("did not send"), std::string::npos) << late.text;
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 0u);
  out.Close();
}

TEST_F(WinMm, AHeaderTheDriverWillNotGiveBackIsNeverFreed) {
  w32::WinMmOutput out(winmmdouble::Calls(), 0);
  ASSERT_EQ(out.Open().error, 0u);
  winmmdouble::SetUnprepareRefused(true);
  const std::vector<uint8_t> message = Sysex(300);
  ASSERT_EQ(out.PutLong(message.data(), message.size(), 10000).error, 0u);
  ASSERT_EQ(out.PutLong(message.data(), 200, 10000).error, 0u);
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 2u);
  EXPECT_TRUE(winmmdouble::PreparedHeadersIntact());
  // Given back at the next try.
  winmmdouble::SetUnprepareRefused(false);
  ASSERT_EQ(out.PutLong(message.data(), message.size(), 10000).error, 0u);
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 0u);
  // Still held when the port closes: kept for good.
  winmmdouble::SetUnprepareRefused(true);
  ASSERT_EQ(out.PutLong(message.data(), message.size(), 10000).error, 0u);
  out.Close();
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 1u);
  EXPECT_TRUE(winmmdouble::PreparedHeadersIntact());

  Received got;
  w32::WinMmInput in(winmmdouble::Calls(), 0);
  ASSERT_EQ(in.Open(got.Sink()).error, 0u);
  in.Close();
  EXPECT_EQ(winmmdouble::PreparedHeaders(), 1u + w32::kInputBuffers);
  EXPECT_TRUE(winmmdouble::PreparedHeadersIntact());
}

}  // namespace
