// A model of the Kilnbox EPROM programmer as the program sees it over MIDI.
//
// The model is clock-agnostic: bytes come in with their arrival time
// (Receive), and bytes go out through a callback as time is handed to it
// (RunTo), paced at the MIDI wire rate times a speed factor. Whoever owns the
// clock (a virtual clock in tests, a real one in the simulator process) asks
// NextDue() when to call RunTo() again. The model is not thread-safe; an
// owner that uses it from several threads locks around it.
//
// What the device does, in short (the viewer and the tests read the state):
// - 64 KB of memory, all 0xFF at power-on (like an erased EPROM, so that a
//   block read before anything was stored looks blank rather than silent).
// - 16 block definitions (start and size in KB). Before any block-size
//   command, block n starts at (n - 1) x 4 KB and is 4 KB long, so the 16
//   default blocks tile the memory. An entry that would reach past 64 KB, or
//   has size 0, is refused on the display and the old definition kept.
// - The EPROM-type selection: each time the type setting opens it stands at
//   2764 and moves one type per step code, stopping at the first and last of
//   the 11 types.
// - A socket: empty, or an EPROM of a given type with its contents.
// - Commands are taken without acknowledgement. Read, program, blank check
//   and verify act on the socket EPROM with the selected type; a socket EPROM
//   of another type is refused ("Type mismatch"), as is an empty socket
//   ("No EPROM"). Read, program and verify pair EPROM address 0 with the
//   block's start, over the smaller of block and EPROM; blank check covers
//   the whole EPROM. They take time (see the constants below) and what
//   arrives meanwhile waits in order.
// - Commands are read as front-panel key sequences and must be complete:
//   an operation key needs its Enter (programming a second one to confirm);
//   anything else is refused as "Bad command". Stop acts at once, also while
//   an operation runs: it ends the operation with nothing written and drops
//   the messages waiting (a reply already on the wire still goes out whole).
// - A transfer request is answered by exactly one data-block packet carrying
//   the requested block (unless a fault knob says otherwise).
// - A data-block packet is stored at its block's start, never beyond the
//   block's size; a malformed one is ignored and shown on the display.
// - A two-line display: what the device is doing, then the last result.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sim {

constexpr uint32_t kMemorySize = 65536;
constexpr int kBlockCount = 16;
constexpr int kTypeCount = 11;
constexpr int kDefaultType = 2;               // 2764: where the selection starts
constexpr double kWireBytesPerSecond = 3125;  // 31,250 baud, 10 bits a byte
constexpr size_t kDisplayWidth = 16;

// Time the device's own work takes at speed 1, per KB handled.
constexpr double kReadMsPerK = 16;     // a 64 KB read takes about a second
constexpr double kProgramMsPerK = 125; // a 64 KB program about eight seconds
constexpr double kOperationSetupMs = 20;

// The message bytes of the protocol, kept here rather than shared with the
// program's encoder so that the model checks the program independently.
constexpr uint8_t kSysexStart = 0xF0;
constexpr uint8_t kSysexEnd = 0xF7;
constexpr uint8_t kMfrId = 0x10;
constexpr uint8_t kProductId = 0x05;
constexpr uint8_t kPacketTransferRequest = 0;
constexpr uint8_t kPacketDataBlock = 1;
constexpr uint8_t kPacketCommand = 2;
constexpr size_t kBlockHeaderSize = 45;

// Command codes (key presses of the device's front panel).
enum Code : uint8_t {
  kCodeStepDown = 0x0C,
  kCodeTypeSetting = 0x0D,
  kCodeStepUp = 0x0E,
  kCodeBlock = 0x14,
  kCodeEnter = 0x15,
  kCodeNextField = 0x16,
  kCodeStop = 0x1F,
  kCodeRead = 0x21,
  kCodeProgram = 0x22,
  kCodeBlankCheck = 0x23,
  kCodeSettings = 0x24,
  kCodeTransfer = 0x27,
  kCodeVerify = 0x29,
};

struct EpromType {
  const char* name;
  uint32_t sizeK;
  // The 5 V parts (Am9864, 2864C) are electrically erasable: programming
  // writes each byte as given instead of only clearing bits.
  bool electricallyErasable;
};
// The 11 types in the program's order; `type` outside 0..10 gives nullptr.
const EpromType* TypeInfo(int type);
// The index of the type called `name` ("27128"), or -1.
int TypeByName(const std::string& name);

// The two-byte carriage of a data byte: 0x40 | high nibble, low nibble.
inline void SplitByte(uint8_t d, uint8_t out[2]) {
  out[0] = static_cast<uint8_t>(0x40 | (d >> 4));
  out[1] = static_cast<uint8_t>(d & 0x0F);
}
// Rejoins a pair; false when it is not a well-formed pair. The program
// checks the same marks where it keeps or compares the bytes (a read, a
// verify); a reply to its presence check counts whatever it carries.
inline bool JoinPair(const uint8_t* p, uint8_t* d) {
  if ((p[0] & 0xF0) != 0x40 || p[1] > 0x0F) return false;
  *d = static_cast<uint8_t>(((p[0] & 0x0F) << 4) | p[1]);
  return true;
}

// Builds the data-block packet the device sends for `block` (1..16) holding
// `data`, starting at byte `start` of the device's memory.
std::vector<uint8_t> BuildBlockPacket(int block, uint32_t start, const uint8_t* data, size_t size);

struct BlockDef {
  uint32_t startK = 0;
  uint32_t sizeK = 0;
};

struct Socket {
  bool present = false;
  int type = kDefaultType;
  std::vector<uint8_t> contents;  // the type's size when present
};

// Ways to make the replies misbehave, for tests of the program's handling.
// A reply is the answer to a transfer request (or to the front-panel
// transfer). With `allReplies` false the knobs apply to the next reply only
// and are cleared once it has been built; with true they stay.
struct FaultKnobs {
  bool allReplies = false;
  bool noReply = false;               // the request is swallowed
  int truncateAfter = -1;             // send only the first N bytes of the packet
  int corruptOffset = -1;             // replace the packet byte at this offset
  uint8_t corruptValue = 0;           //   (0..44 header, 45.. data) with this
  uint32_t lateMs = 0;                // extra delay before the reply starts,
                                      //   in clock ms (not scaled by speed)
  int foreignMfrPackets = 0;          // copies of the reply with manufacturer
  uint8_t foreignMfrId = 0x41;        //   id changed, sent before it
  int otherTypePackets = 0;           // copies of the reply with the packet
  uint8_t otherPacketType = 3;        //   type changed, sent before it
  int notesBefore = 0;                // note-ons of another device's sent before it
  int sizeDelta = 0;                  // the block sent this many bytes longer or
                                      //   shorter, its length field to match
  int realTimeEvery = 0;              // an 0xF8 after every k reply bytes
  int statusByteAt = -1;              // a status byte inserted at this offset
  uint8_t statusByte = 0x90;          //   of the reply
};

// What the device made of the last data-block packet it received.
struct ReceivedPacketInfo {
  bool valid = false;
  int block = 0;            // 1..16, from the packet
  uint32_t startAddress = 0; // as the packet's start fields say
  uint32_t length = 0;      // as the packet's length fields say
  uint32_t dataBytes = 0;   // data pairs the packet carried
  uint32_t stored = 0;      // bytes stored in memory
};

struct Counters {
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
  uint32_t commands = 0;          // well-formed command messages carried out
  uint32_t badCommands = 0;       // command messages refused
  uint32_t transferRequests = 0;
  uint32_t repliesSent = 0;
  uint32_t blocksReceived = 0;    // data blocks stored
  uint32_t badPackets = 0;        // malformed data blocks and requests
  uint32_t ignoredMessages = 0;   // other devices' SysEx, unknown types, short messages
  uint32_t droppedBytes = 0;      // stray data bytes, cut-off SysEx
  uint32_t realTimeBytes = 0;     // 0xF8..0xFF, ignored
  uint32_t operations = 0;        // read, program, blank check, verify finished
};

class Kilnbox {
 public:
  using OutputSink = std::function<void(const uint8_t* data, size_t size)>;

  // `speed` multiplies the wire rate and divides the device's own times.
  explicit Kilnbox(double speed = 1.0);

  void SetOutput(OutputSink sink) { output_ = std::move(sink); }
  void SetSpeed(double speed);
  double Speed() const { return speed_; }

  // Bytes that arrived by `atMs`, in any pieces; they take effect when RunTo
  // reaches that time. Times earlier than earlier arrivals count as those.
  void Receive(const uint8_t* data, size_t size, uint64_t atMs);
  // When something is next due (an arrival, the end of an operation, output
  // bytes); nullopt when idle. After RunTo(t) it is always later than t.
  std::optional<uint64_t> NextDue() const;
  // Does everything due up to `nowMs`, sending the bytes due by then.
  void RunTo(uint64_t nowMs);

  // The socket.
  void InsertEprom(int type, std::vector<uint8_t> contents);  // cut or 0xFF-padded to the type's size
  void InsertBlankEprom(int type);
  void RemoveEprom();
  const Socket& GetSocket() const { return socket_; }

  void SetFaults(const FaultKnobs& knobs) { faults_ = knobs; }
  const FaultKnobs& Faults() const { return faults_; }

  // State for tests and the viewer.
  const std::array<uint8_t, kMemorySize>& Memory() const { return memory_; }
  std::array<uint8_t, kMemorySize>& Memory() { return memory_; }
  BlockDef Block(int block) const;  // 1..16; {0, 0} outside
  int SelectedBlock() const { return selectedBlock_; }
  int SelectedType() const { return selectedType_; }
  std::string DisplayLine(int line) const { return display_[line == 0 ? 0 : 1]; }
  bool Busy() const { return busy_.has_value(); }
  size_t QueuedMessages() const { return queue_.size(); }
  bool Sending() const;
  const Counters& GetCounters() const { return counters_; }
  const ReceivedPacketInfo& LastPacket() const { return lastPacket_; }

 private:
  enum class Op { Read, Program, BlankCheck, Verify };
  // What keeps the device from taking the next message: one of its own
  // operations, or sending a reply (the firmware sends synchronously).
  struct Job {
    bool reply = false;
    Op op = Op::Read;
    int block = 0;
    uint64_t endUs = 0;
  };
  struct Arrival {
    uint64_t atUs;
    std::vector<uint8_t> bytes;
  };
  struct Transmission {
    uint64_t startUs;
    std::vector<uint8_t> bytes;
    size_t sent = 0;
  };

  // Input framing.
  void Frame(uint8_t byte);
  void HandleMessage(std::vector<uint8_t> message);
  // Carrying out complete messages.
  void Dispatch(const std::vector<uint8_t>& message);
  void DoTransferRequest(const std::vector<uint8_t>& message);
  void DoDataBlock(const std::vector<uint8_t>& message);
  void DoCommand(const std::vector<uint8_t>& message);
  bool RunCommand(const uint8_t* codes, size_t count);
  void Stop();
  bool SetBlockSize(int block, uint32_t startK, uint32_t sizeK);
  void SelectType(const uint8_t* steps, size_t count);
  void StartOperation(Op op, int block);
  void FinishJob();
  void FinishOperation(const Job& job);
  void SendBlock(int block);
  // Output.
  std::vector<uint8_t> ApplyFaults(std::vector<uint8_t> reply, uint64_t* delayUs);
  uint64_t QueueOutput(std::vector<uint8_t> bytes, uint64_t earliestUs);
  uint64_t ByteDueUs(const Transmission& t, size_t index) const;
  void EmitDue(uint64_t nowUs);
  std::optional<uint64_t> NextEventUs() const;
  uint64_t DeviceTimeUs(double ms) const;
  void Show(const std::string& line1, const std::string& line2);
  void ShowResult(const std::string& line2);
  std::string ReadyLine() const;

  double speed_ = 1.0;
  uint64_t nowUs_ = 0;
  OutputSink output_;

  std::array<uint8_t, kMemorySize> memory_;
  std::array<BlockDef, kBlockCount> blocks_;
  int selectedBlock_ = 1;
  int selectedType_ = kDefaultType;
  Socket socket_;
  std::array<std::string, 2> display_;

  std::deque<Arrival> arrivals_;
  std::vector<uint8_t> framing_;  // the SysEx being received
  bool inSysex_ = false;
  bool overlong_ = false;
  std::deque<std::vector<uint8_t>> queue_;  // complete messages waiting
  std::optional<Job> busy_;
  std::deque<Transmission> outgoing_;

  FaultKnobs faults_;
  ReceivedPacketInfo lastPacket_;
  Counters counters_;
};

}  // namespace sim
