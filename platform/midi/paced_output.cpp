#include "platform/midi/paced_output.h"

#include <algorithm>
#include <thread>
#include <utility>

std::chrono::microseconds SteadyPaceClock::Now() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyPaceClock::SleepUntil(std::chrono::microseconds when) {
  std::this_thread::sleep_until(std::chrono::steady_clock::time_point(when));
}

SysexPacer::SysexPacer(PaceClock& clock, size_t pieceBytes, uint32_t bytesPerSecond)
    : clock_(clock), pieceBytes_(std::max<size_t>(pieceBytes, 1)), bytesPerSecond_(std::max<uint32_t>(bytesPerSecond, 1)) {}

std::chrono::microseconds SysexPacer::WireTime(size_t bytes) const {
  // Rounded up: a pause never comes out shorter than the wire needs.
  const uint64_t us = (static_cast<uint64_t>(bytes) * 1000000 + bytesPerSecond_ - 1) / bytesPerSecond_;
  return std::chrono::microseconds(us);
}

MidiWriteResult SysexPacer::Send(const uint8_t* data, size_t size, const PieceSink& sink) {
  for (size_t offset = 0; offset < size; offset += pieceBytes_) {
    const size_t piece = std::min(pieceBytes_, size - offset);
    if (wireUsed_ && clock_.Now() < wireFree_) clock_.SleepUntil(wireFree_);
    // Timed from the hand-over itself, so a late wake-up is never made up
    // by a burst.
    const std::chrono::microseconds handedOver = clock_.Now();
    MidiWriteResult result = sink(data + offset, piece);
    // A refused piece may have gone out in part: the wire counts it too.
    wireUsed_ = true;
    wireFree_ = handedOver + WireTime(piece);
    if (!result.Ok()) return result;
  }
  return {};
}

PacedOutputDevice::PacedOutputDevice(std::string name, std::unique_ptr<FragmentPort> port,
                                     std::shared_ptr<PaceClock> clock)
    : name_(std::move(name)),
      port_(std::move(port)),
      clock_(std::move(clock)),
      pacer_(*clock_),
      writer_({[this] { return port_->Open(); }, [this] { port_->Close(); },
               [this](const uint8_t* data, size_t size) {
                 return pacer_.Send(data, size, [this](const uint8_t* piece, size_t n) { return port_->SendPiece(piece, n); });
               },
               nullptr}) {}
