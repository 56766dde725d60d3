#include "platform/win32/comport_win32.h"

#include <vector>

#include "platform/win32/serial_win32.h"

namespace comport {
namespace {

constexpr size_t kReadChunk = 4096;

}  // namespace

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------
ComMidiInput::ComMidiInput(std::shared_ptr<w32::SerialLine> line) : line_(std::move(line)) {}

ComMidiInput::~ComMidiInput() { Close(); }

std::string ComMidiInput::Name() const { return ShortPortName(line_->Name()); }

MidiResult ComMidiInput::Open(MidiByteSink sink) {
  if (reader_.joinable()) return {midi_error::kAllocated, ""};
  MidiResult result;
  result.error = line_->Acquire(&result.text);
  if (!result.Ok()) return result;
  line_->ResumeReading();
  reader_ = std::thread([this, reader = std::move(sink)] { Read(reader); });
  return {};
}

void ComMidiInput::Close() {
  if (!reader_.joinable()) return;
  line_->InterruptRead();
  reader_.join();
  line_->Release();
}

void ComMidiInput::Read(const MidiByteSink& sink) {
  std::vector<uint8_t> buffer(kReadChunk);
  for (;;) {
    std::string text;
    const long got = line_->Read(buffer.data(), buffer.size(), &text);
    if (got == 0) return;  // Close
    if (got < 0) return;  // the device went away
    sink(buffer.data(), static_cast<size_t>(got));
  }
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------
ComMidiOutput::ComMidiOutput(std::shared_ptr<w32::SerialLine> line, std::chrono::milliseconds stallLimit)
    : line_(std::move(line)),
      stallLimit_(stallLimit),
      writer_({[this] {
                 std::string text;
                 const uint32_t error = line_->Acquire(&text);
                 return error == midi_error::kNone ? MidiWriteResult() : MidiWriteResult::Failure(error, text);
               },
               [this] { line_->Release(); },
               [this](const uint8_t* data, size_t size) {
                 std::string text;
                 bool gone = false;
                 const auto stallMs = static_cast<unsigned>(stallLimit_.count());
                 if (line_->Write(data, size, stallMs, &text, &gone)) return MidiWriteResult();
                 return MidiWriteResult::Failure(midi_error::kError, text, gone);
               },
               nullptr}) {}

ComMidiOutput::~ComMidiOutput() = default;

std::string ComMidiOutput::Name() const { return ShortPortName(line_->Name()); }

MidiPortPair AddComPort(MidiPortSet& ports, const std::string& name) {
  auto line = std::make_shared<w32::SerialLine>(name);
  MidiPortPair added;
  added.input = ports.AddInput(std::make_unique<ComMidiInput>(line));
  added.output = ports.AddOutput(std::make_unique<ComMidiOutput>(line));
  return added;
}

}  // namespace comport
