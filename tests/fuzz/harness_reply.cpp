// The reply handler of the device operations over any received message: the
// bytes stand in the armed receive buffer with the byte count the driver
// reported, in read, verify, presence-check or blank-check mode, for any
// EPROM index, type and arrangement.
//
// Input: the mode, WhichEPROM, the EPROM type, the arrangement, flags (bit 0
// a presence check still waiting, bit 1 a deferred command, bit 2 a byte
// count of its own, bit 3 a short message instead of a long one), the byte
// count (32 bits, used with bit 2); then the message.
#include <cstring>
#include <string>

#include "device/midi.h"
#include "platform/midi/memory_port.h"
#include "shell/app_state.h"
#include "shell/device_ops.h"
#include "shell/image_model.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

constexpr UINT kDeferredCommand = 0x7FF0;  // no command: only its posting is looked at
constexpr size_t kHeader = 45;

// The receive port, opened once: memory ports as the first MIDI ports.
void OpenInput(fuzz::FuzzPlatform& p) {
  static bool opened = false;
  if (opened) return;
  opened = true;
  midimem::AddMemoryPorts(p.Midi(), "Fuzz MIDI");
  MidiInit(&MidiInInfo, &MidiOutInfo);
  MidiInInfo.uDeviceID = 0;
  MidiOutInfo.uDeviceID = 0;
  FUZZ_CHECK(MidiActivateDevice(nullptr, &MidiInInfo, MIDI_OPEN) == 0);
  FUZZ_CHECK(MidiActivateDevice(nullptr, &MidiOutInfo, MIDI_OPEN) == 0);
}

BYTE Combined(const BYTE* pair) { return static_cast<BYTE>(((pair[0] & 0x0F) << 4) | (pair[1] & 0x0F)); }

bool KilnboxHeader(const BYTE* m, DWORD n) {
  return n > 5 && m[0] == 0xF0 && m[1] == 0x10 && m[2] == 0x05 && m[3] == 0x01;
}

// What a stored reply must have been: a data block whose announced pairs all
// arrived and land inside the image from the selected EPROM's start.
void CheckStored(const uint8_t* before, const BYTE* m, DWORD n) {
  if (fuzz::ImageUnchanged(before)) return;
  FUZZ_CHECK(ReadMode == ermRead);
  FUZZ_CHECK(KilnboxHeader(m, n) && n >= 13);
  const DWORD length = Combined(m + 9) * 256u + Combined(m + 11) + 1;
  const uint64_t destination = static_cast<uint64_t>(WhichEPROM) * EpromBytes();
  FUZZ_CHECK(kHeader + 2ull * length <= n);
  FUZZ_CHECK(destination + length <= IMAGE_SIZE);
  FUZZ_CHECK(fuzz::OutsideUnchanged(before, destination, length));
  for (DWORD i = 0; i < length; ++i) FUZZ_CHECK(imgMemory[destination + i] == Combined(m + kHeader + 2 * i));
}

}  // namespace

int FuzzDeviceReply(const uint8_t* data, size_t size) {
  fuzz::FuzzPlatform& p = fuzz::Core();
  OpenInput(p);
  fuzz::Input in(data, size);
  const uint8_t mode = in.Byte();
  const uint8_t which = in.Byte();
  const uint8_t type = in.Byte();
  const uint8_t arrangement = in.Byte();
  const uint8_t flags = in.Byte();
  const uint32_t countField = in.Le32();

  TheImageModel() = ImageModel{};
  TheDeviceSession() = DeviceSession{};
  p.ForgetEffects();
  EPROM_type = static_cast<etEnum>(type % etINVALID);
  EPROM_Arrangement = static_cast<eaEnum>(arrangement % eaINVALID);
  WhichEPROM = which;
  ReadMode = static_cast<ermEnum>(mode % ermINVALID);
  const UINT timeout = (flags & 1) ? PRESENCE_TIMEOUT_TICKS : 0;
  response_timeout = timeout;
  PendingMsg = (flags & 2) ? kDeferredCommand : 0;

  // Armed and listening, as every operation leaves the input before its
  // request; then the driver's delivery.
  FUZZ_CHECK(MidiAssignBuffer(nullptr, &MidiInInfo, reinterpret_cast<char*>(MIDIinBuffer), BUFFER_SIZE, 1) == 0);
  FUZZ_CHECK(MidiRecord(nullptr, &MidiInInfo, 1) == 0);
  const size_t stored = in.RestSize() < BUFFER_SIZE ? in.RestSize() : BUFFER_SIZE;
  std::memcpy(MIDIinBuffer, in.Rest(), stored);
  const DWORD reported = (flags & 4) ? countField : static_cast<DWORD>(stored);
  const size_t readable = reported < BUFFER_SIZE ? reported : BUFFER_SIZE;
  if (readable > stored) std::memset(MIDIinBuffer + stored, 0, readable - stored);
  MIDIHDR& header = MidiInInfo.MidiHdr;
  header.dwBytesRecorded = reported;
  header.dwFlags |= MHDR_DONE;
  const std::vector<BYTE> message(MIDIinBuffer, MIDIinBuffer + readable);
  const UINT flagsBefore[MAX_EPROMS] = {EpromFlags[0], EpromFlags[1], EpromFlags[2], EpromFlags[3]};

  const uint8_t* before = fuzz::MarkImage(mode ^ which);
  const bool longMessage = (flags & 8) == 0;
  DeviceReply(nullptr, longMessage ? MM_MIM_LONGDATA : MM_MIM_DATA, reinterpret_cast<LPARAM>(&header));

  // Whatever came, the buffer is released and input is idle.
  FUZZ_CHECK(header.lpData == nullptr && MidiInInfo.uDeviceStatus == MIDI_IDLE);
  const DWORD n = static_cast<DWORD>(readable);
  const bool dataBlock = longMessage && KilnboxHeader(message.data(), n);
  if (longMessage) {
    CheckStored(before, message.data(), n);
  } else {
    FUZZ_CHECK(fuzz::ImageUnchanged(before));
  }
  FUZZ_CHECK(response_timeout == (dataBlock ? 0 : timeout));
  // Only an answered presence check in time marks the Kilnbox and posts
  // the deferred command.
  const bool mayDetect = dataBlock && ReadMode == ermNothing && timeout != 0;
  if (!mayDetect) FUZZ_CHECK(kilnbox_detected == 0 && p.posted.empty());
  for (const auto& post : p.posted) FUZZ_CHECK(post.msg == WM_COMMAND && post.wParam == kDeferredCommand);
  const std::string result = p.StatusText(1);
  if (dataBlock)
    FUZZ_CHECK(result.rfind("Received Block ", 0) == 0 ||
               (ReadMode == ermVerify && result.rfind("Verify error at address 0x", 0) == 0));
  for (UINT e = 0; e < MAX_EPROMS; ++e)
    if (e != WhichEPROM % MAX_EPROMS || ReadMode != ermVerify || !dataBlock)
      FUZZ_CHECK(EpromFlags[e] == flagsBefore[e]);
  for (const auto& box : p.messageBoxes) FUZZ_CHECK(box.text.rfind("Verify error at address 0x", 0) == 0);
  FUZZ_CHECK(p.messageBoxes.size() <= 1);
  return 0;
}
