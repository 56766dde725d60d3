// The MIDI input framer over any bytes in any pieces, and the MIDI layer
// that copies the System Exclusive messages the port set frames into an
// armed buffer.
//
// Input: the longest System Exclusive message (0: the port set's own), the
// armed buffer's length; then pieces, each a control byte (bits 0-5 its
// length, bits 6-7: 1 an interruption after it, 2 a silent reset after it)
// followed by its bytes.
#include <cstring>
#include <memory>
#include <vector>

#include "device/midi.h"
#include "platform/midi/framer.h"
#include "platform/midi/memory_port.h"
#include "platform/midi/ports.h"
#include "shell/app_state.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

struct Event {
  MidiFramerEvent::Kind kind;
  std::vector<BYTE> bytes;
  size_t size;
  bool operator==(const Event&) const = default;
};

struct Piece {
  std::vector<BYTE> bytes;
  int after;  // 0 nothing, 1 Interrupt, 2 Reset
};

int DataBytesOf(BYTE status) {
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 2;
  if (status < 0xE0 || status == 0xF1 || status == 0xF3) return 1;
  if (status == 0xF6) return 0;
  return -1;
}

void CheckEvent(const MidiFramerEvent& e, size_t maxSysex) {
  using Kind = MidiFramerEvent::Kind;
  switch (e.kind) {
    case Kind::Short: {
      FUZZ_CHECK(e.size >= 1 && e.size <= 3 && e.data != nullptr);
      const BYTE status = e.data[0];
      FUZZ_CHECK(status >= 0x80 && status != 0xF0 && status != 0xF7 && status < 0xF8);
      FUZZ_CHECK(DataBytesOf(status) == static_cast<int>(e.size) - 1);
      for (size_t i = 1; i < e.size; ++i) FUZZ_CHECK(e.data[i] < 0x80);
      break;
    }
    case Kind::Sysex:
      FUZZ_CHECK(e.size >= 2 && e.size <= maxSysex && e.data != nullptr);
      FUZZ_CHECK(e.data[0] == 0xF0 && e.data[e.size - 1] == 0xF7);
      for (size_t i = 1; i + 1 < e.size; ++i) FUZZ_CHECK(e.data[i] < 0x80);
      break;
    case Kind::SysexIncomplete:
      FUZZ_CHECK(e.size >= 1 && e.size <= maxSysex);
      break;
    case Kind::SysexOverLength:
      FUZZ_CHECK(e.size > maxSysex);
      break;
  }
}

std::vector<Event> Frame(const std::vector<Piece>& pieces, size_t maxSysex, bool byteByByte) {
  std::vector<Event> events;
  MidiFramer framer(maxSysex, [&](const MidiFramerEvent& e) {
    CheckEvent(e, maxSysex);
    const bool carriesBytes = e.kind == MidiFramerEvent::Kind::Short || e.kind == MidiFramerEvent::Kind::Sysex;
    events.push_back({e.kind, carriesBytes ? std::vector<BYTE>(e.data, e.data + e.size) : std::vector<BYTE>(), e.size});
  });
  for (const Piece& piece : pieces) {
    if (byteByByte) {
      for (BYTE b : piece.bytes) framer.Feed(&b, 1);
    } else {
      framer.Feed(piece.bytes.data(), piece.bytes.size());
    }
    if (piece.after == 1) framer.Interrupt();
    if (piece.after == 2) framer.Reset();
  }
  return events;
}

// The same bytes through the MIDI layer's input with one armed buffer of
// `length` bytes between guard bytes: nothing is written outside it, and a
// whole System Exclusive message that fits is reported at most once. The
// port and its record stay open for the whole process, as in the program.
struct LongData : MidiEvents {
  int count = 0;
  void OnMidiLongData(LPMIDIINFO) override { ++count; }
  void OnMidiLongError(LPMIDIINFO) override {}
  void OnMidiOutputDone(LPMIDIINFO, UINT) override {}
};

// The input's record, the harness's own for the whole process.
MIDIINFO& Record() {
  static MIDIINFO record;
  return record;
}

midimem::MemoryInput& OpenInput() {
  static midimem::MemoryInput* const input = [] {
    MidiPortSet& ports = fuzz::Core().Midi();
    auto device = std::make_unique<midimem::MemoryInput>("Fuzz In");
    midimem::MemoryInput* raw = device.get();
    const UINT id = ports.AddInput(std::move(device));
    FUZZ_CHECK(MidiInit(&Record(), nullptr) == 1);
    Record().uDeviceID = id;
    FUZZ_CHECK(MidiActivateDevice(nullptr, &Record(), MIDI_OPEN) == 0);
    return raw;
  }();
  return *input;
}

void CheckLayer(const std::vector<Piece>& pieces, DWORD length) {
  midimem::MemoryInput& input = OpenInput();
  LongData reports;
  MidiSetEvents(&reports);
  constexpr size_t kGuard = 16;
  std::vector<BYTE> memory(kGuard + length + kGuard, 0xA5);
  FUZZ_CHECK(MidiAssignBuffer(nullptr, &Record(), reinterpret_cast<char*>(memory.data() + kGuard), length, 1) == 0);
  FUZZ_CHECK(MidiRecord(nullptr, &Record(), 1) == 0);
  for (const Piece& piece : pieces) {
    input.Feed(piece.bytes);
    fuzz::Core().Midi().Deliver();
  }
  FUZZ_CHECK(MidiRecord(nullptr, &Record(), 0) == 0);
  FUZZ_CHECK(MidiAssignBuffer(nullptr, &Record(), nullptr, 0, 0) == 0);
  MidiSetEvents(nullptr);
  for (size_t i = 0; i < kGuard; ++i) FUZZ_CHECK(memory[i] == 0xA5 && memory[kGuard + length + i] == 0xA5);
  FUZZ_CHECK(reports.count <= 1);  // one buffer takes one message
  if (reports.count == 1) {
    const DWORD recorded = Record().Buffer.dwBytesRecorded;
    FUZZ_CHECK(recorded >= 2 && recorded <= length);
    FUZZ_CHECK(memory[kGuard] == 0xF0 && memory[kGuard + recorded - 1] == 0xF7);
  }
}

}  // namespace

int FuzzMidiFramer(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t maxField = in.Byte();
  const size_t maxSysex = maxField ? maxField : MidiPortSet::kMaxSysexBytes;
  const DWORD armed = 1 + in.Byte();
  std::vector<Piece> pieces;
  while (in.RestSize() > 0) {
    const uint8_t control = in.Byte();
    Piece piece{{}, (control >> 6) % 3};
    for (int i = 0; i < (control & 0x3F) && in.RestSize() > 0; ++i) piece.bytes.push_back(in.Byte());
    pieces.push_back(std::move(piece));
  }
  // However the bytes are cut into pieces, the messages are the same.
  FUZZ_CHECK(Frame(pieces, maxSysex, false) == Frame(pieces, maxSysex, true));
  CheckLayer(pieces, armed);
  return 0;
}
