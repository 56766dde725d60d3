// The MIDI port layer. Every function takes the caller's port record and
// shows each failure to the user itself: the callers mostly go on with their
// sequence and rely on the message already shown.
#include "device/midi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
MidiLayer g_layer;
}

MidiLayer& TheMidiLayer() { return g_layer; }

namespace {

constexpr UINT kLayerBox = MB_OK | MB_ICONERROR;
// The platform's words for a port number beyond its list, and for an error
// number no port has given words for.
constexpr char kNoSuchPort[] = "The specified device identifier is out of range.";
constexpr char kUnknownError[] = "The specified error number is out of range.";

bool IsPortType(UINT uDeviceType) { return uDeviceType == MIDI_INPUT || uDeviceType == MIDI_OUTPUT; }
bool IsInput(LPMIDIINFO lpMidiInfo) { return lpMidiInfo->uDeviceType == MIDI_INPUT; }
bool IsOpen(LPMIDIINFO lpMidiInfo) { return lpMidiInfo->hMidi != nullptr; }
// A buffer attached and waiting for a message.
bool IsArmed(const MIDIBUFFER& buffer) { return buffer.lpData != nullptr && !buffer.fDone; }

void ClearRecord(LPMIDIINFO lpMidiInfo, UINT uDeviceType) {
  lpMidiInfo->uDeviceType = uDeviceType;
  lpMidiInfo->uDeviceID = MIDI_INVALID;
  lpMidiInfo->hMidi = nullptr;
  lpMidiInfo->fAlwaysKeepOpen = 0;
  lpMidiInfo->uDeviceStatus = MIDI_IDLE;
}

std::vector<std::string> PortNames(UINT uDeviceType) {
  return uDeviceType == MIDI_INPUT ? plat::MidiInputNames() : plat::MidiOutputNames();
}

// Keeps the port's words for an error of its kind, shows them and hands the
// number back.
UINT Failed(HWND hWnd, UINT uDeviceType, const MidiResult& result) {
  (uDeviceType == MIDI_INPUT ? g_layer.lastInputError : g_layer.lastOutputError) = result;
  MidiShowError(hWnd, result.error, uDeviceType);
  return result.error;
}

// 0, or the platform's error shown.
UINT Checked(HWND hWnd, LPMIDIINFO info, const MidiResult& result) {
  return result.Ok() ? 0 : Failed(hWnd, info->uDeviceType, result);
}

// The ports' reports, on the GUI thread. A reception is armed by attaching
// a buffer: the next whole message goes into it, never beyond its length.
void ReceiveFailed(LPMIDIINFO info) {
  if (IsArmed(info->Buffer) && g_layer.events) g_layer.events->OnMidiLongError(info);
}

void Received(LPMIDIINFO info, const BYTE* data, size_t size) {
  MIDIBUFFER& buffer = info->Buffer;
  if (!IsArmed(buffer)) return;  // nobody waits for it
  if (size > buffer.dwBufferLength) {
    ReceiveFailed(info);
    return;
  }
  std::memcpy(buffer.lpData, data, size);
  buffer.dwBytesRecorded = static_cast<DWORD>(size);
  buffer.fDone = true;
  if (g_layer.events) g_layer.events->OnMidiLongData(info);
}

void Sent(LPMIDIINFO info, const MidiResult& result) {
  if (!result.Ok()) g_layer.lastOutputError = result;
  if (g_layer.events) g_layer.events->OnMidiOutputDone(info, result.error);
}

// Opens the port at the record's index, by its name.
MidiResult PortOpen(LPMIDIINFO info) {
  const std::vector<std::string> names = PortNames(info->uDeviceType);
  if (info->uDeviceID >= names.size()) return {MMSYSERR_BADDEVICEID, kNoSuchPort};
  const std::string& name = names[info->uDeviceID];
  PlatMidiPort* port = nullptr;
  const MidiResult opened =
      IsInput(info)
          ? plat::MidiOpenInput(name, {[info](const BYTE* d, size_t n) { Received(info, d, n); },
                                       [info] { ReceiveFailed(info); }},
                                &port)
          : plat::MidiOpenOutput(name, [info](const MidiResult& r) { Sent(info, r); }, &port);
  if (opened.Ok()) info->hMidi = port;
  return opened;
}

UINT OpenDevice(HWND hWnd, LPMIDIINFO info) {
  if (IsOpen(info)) return 0;
  const MidiResult opened = PortOpen(info);
  if (!opened.Ok()) {
    // Later opens fail too until the caller chooses a port again.
    info->uDeviceID = MIDI_INVALID;
    return Failed(hWnd, info->uDeviceType, opened);
  }
  return 0;
}

UINT CloseDevice(HWND hWnd, LPMIDIINFO info) {
  const UINT error = Checked(hWnd, info, plat::MidiClose(info->hMidi));
  if (error == 0) info->hMidi = nullptr;
  return error;
}

UINT ForceCloseDevice(HWND hWnd, LPMIDIINFO info) {
  if (!IsOpen(info)) return 0;
  if (info->uDeviceStatus == MIDI_BUSY) {
    const UINT error = MidiAssignBuffer(hWnd, info, nullptr, 0, 0);
    if (error != 0) {
      MidiShowError(hWnd, error, info->uDeviceType);
      return error;
    }
  }
  return CloseDevice(hWnd, info);
}

// A buffer request on a closed port. The first complaint moves the record
// to the interrupted state, so that the clean-up calls that follow a refused
// request pass silently.
UINT BufferRequestOnClosedPort(HWND hWnd, LPMIDIINFO info, int fAssign) {
  if (!fAssign && info->uDeviceStatus == MIDI_INTERRUPTED) {
    if (!IsInput(info)) info->uDeviceStatus = MIDI_IDLE;
    return 0;
  }
  plat::MessageBox(hWnd, IsInput(info) ? "Must open MIDI input device first" : "Must open MIDI output device first",
                   "MidiAssignBuffer", kLayerBox);
  info->uDeviceStatus = MIDI_INTERRUPTED;
  return MIDI_INVALID;
}

UINT NoBuffer(HWND hWnd, const char* caption) {
  plat::MessageBox(hWnd, "Must specify a buffer and size", caption, kLayerBox);
  return MIDI_INVALID;
}

UINT AttachBuffer(HWND hWnd, LPMIDIINFO info, char* lpData, DWORD dwBufferLength) {
  if (lpData == nullptr || dwBufferLength == 0) return NoBuffer(hWnd, "MidiAssignBuffer");
  info->Buffer = MIDIBUFFER{lpData, dwBufferLength, 0, false};
  return 0;
}

// An input stops first, so that nothing arrives for the buffer once it is
// let go; an output has nothing to stop: a message handed over goes out
// whole.
UINT ReleaseBuffer(HWND hWnd, LPMIDIINFO info) {
  if (IsInput(info)) {
    const UINT error = Checked(hWnd, info, plat::MidiListen(info->hMidi, false));
    if (error != 0) return error;
  }
  info->Buffer.lpData = nullptr;
  info->Buffer.dwBufferLength = 0;
  info->uDeviceStatus = MIDI_IDLE;
  return 0;
}

}  // namespace

void MidiSetEvents(MidiEvents* events) { g_layer.events = events; }

int MidiInit(LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo) {
  const UINT inputs = g_layer.uMidiInDevices = static_cast<UINT>(plat::MidiInputNames().size());
  const UINT outputs = g_layer.uMidiOutDevices = static_cast<UINT>(plat::MidiOutputNames().size());
  if (lpMidiInInfo) ClearRecord(lpMidiInInfo, inputs ? MIDI_INPUT : MIDI_INVALID);
  if (lpMidiOutInfo) ClearRecord(lpMidiOutInfo, outputs ? MIDI_OUTPUT : MIDI_INVALID);

  const bool inputMissing = lpMidiInInfo && inputs == 0;
  const bool outputMissing = lpMidiOutInfo && outputs == 0;
  if (!inputMissing && !outputMissing) return 1;

  char text[128];
  std::snprintf(text, sizeof text, "No MIDI %s%s%sdevices are present", inputs == 0 ? "input " : "",
                inputs == 0 && outputs == 0 ? "or " : "", outputs == 0 ? "output " : "");
  plat::MessageBox(nullptr, text, "MidiInit", kLayerBox);
  return 0;
}

UINT MidiGetDeviceName(HWND hWnd, UINT uDeviceType, UINT uDeviceID, char* lpszBuffer) {
  if (!IsPortType(uDeviceType)) {
    plat::DebugTrace("\r\nMidiGetDeviceName: uDeviceType bad");
    return MIDI_INVALID;
  }
  if (lpszBuffer == nullptr) {
    plat::DebugTrace("\r\nMidiGetDeviceName: no buffer");
    return MIDI_INVALID;
  }
  const std::vector<std::string> names = PortNames(uDeviceType);
  if (uDeviceID >= names.size()) return Failed(hWnd, uDeviceType, {MMSYSERR_BADDEVICEID, kNoSuchPort});
  // At most 31 characters, copied as they are (a name may hold a '%').
  const size_t n = std::min(names[uDeviceID].size(), MAX_MIDI_PORT_NAME);
  std::memcpy(lpszBuffer, names[uDeviceID].data(), n);
  lpszBuffer[n] = '\0';
  return 0;
}

UINT MidiFindDevice(UINT uDeviceType, const std::string& name) {
  if (!IsPortType(uDeviceType)) return MIDI_INVALID;
  const std::vector<std::string> names = PortNames(uDeviceType);
  const auto found = std::find(names.begin(), names.end(), name);
  return found == names.end() ? MIDI_INVALID : static_cast<UINT>(found - names.begin());
}

UINT MidiActivateDevice(HWND hWnd, LPMIDIINFO lpMidiInfo, UINT uActivateMode) {
  if (!IsPortType(lpMidiInfo->uDeviceType)) {
    plat::DebugTrace("\r\nMidiActivateDevice: uDeviceType bad");
    return MIDI_INVALID;
  }
  switch (uActivateMode) {
    case MIDI_OPEN:
      return OpenDevice(hWnd, lpMidiInfo);
    case MIDI_CLOSE:
      if (!IsOpen(lpMidiInfo) || lpMidiInfo->fAlwaysKeepOpen || lpMidiInfo->uDeviceStatus == MIDI_BUSY) return 0;
      return CloseDevice(hWnd, lpMidiInfo);
    case MIDI_FORCE_CLOSE:
      return ForceCloseDevice(hWnd, lpMidiInfo);
    default:
      return MIDI_INVALID;
  }
}

UINT MidiAssignBuffer(HWND hWnd, LPMIDIINFO lpMidiInfo, char* lpData, DWORD dwBufferLength, int fAssign) {
  if (!IsPortType(lpMidiInfo->uDeviceType)) {
    plat::DebugTrace("\r\nMidiAssignBuffer: uDeviceType bad");
    return MIDI_INVALID;
  }
  if (!IsOpen(lpMidiInfo)) return BufferRequestOnClosedPort(hWnd, lpMidiInfo, fAssign);
  return fAssign ? AttachBuffer(hWnd, lpMidiInfo, lpData, dwBufferLength) : ReleaseBuffer(hWnd, lpMidiInfo);
}

UINT MidiSendLongMsg(HWND hWnd, LPMIDIINFO lpMidiOutInfo, int fSend) {
  if (lpMidiOutInfo->uDeviceType != MIDI_OUTPUT) {
    plat::MessageBox(hWnd, "Must use a MIDI output device", "MidiSendLongMsg", kLayerBox);
    return MIDI_INVALID;
  }
  if (!IsOpen(lpMidiOutInfo)) {
    if (!fSend && lpMidiOutInfo->uDeviceStatus == MIDI_INTERRUPTED) return 0;
    plat::MessageBox(hWnd, "Must open MIDI output device first", "MidiSendLongMsg", kLayerBox);
    return MIDI_INVALID;
  }
  MIDIBUFFER& buffer = lpMidiOutInfo->Buffer;
  if (fSend) {
    if (buffer.lpData == nullptr) return NoBuffer(hWnd, "MidiSendLongMsg");
    const UINT error = Checked(hWnd, lpMidiOutInfo,
                               plat::MidiSend(lpMidiOutInfo->hMidi, reinterpret_cast<const BYTE*>(buffer.lpData),
                                              buffer.dwBufferLength));
    if (error != 0) return error;
    buffer.fDone = true;
    lpMidiOutInfo->uDeviceStatus = MIDI_BUSY;
    return 0;
  }
  // A message handed over goes out whole, so there is nothing to stop; a
  // send whose buffer is still attached counts as interrupted.
  lpMidiOutInfo->uDeviceStatus = buffer.fDone && buffer.lpData == nullptr ? MIDI_IDLE : MIDI_INTERRUPTED;
  return 0;
}

UINT MidiRecord(HWND hWnd, LPMIDIINFO lpMidiInInfo, int fRecord) {
  if (lpMidiInInfo->uDeviceType != MIDI_INPUT) {
    plat::MessageBox(hWnd, "Must use a MIDI input device", "MidiRecord", kLayerBox);
    return MIDI_INVALID;
  }
  if (!IsOpen(lpMidiInInfo)) {
    if (!fRecord && lpMidiInInfo->uDeviceStatus == MIDI_INTERRUPTED) return 0;
    plat::MessageBox(hWnd, "Must open MIDI input device first", "MidiRecord", kLayerBox);
    return MIDI_INVALID;
  }
  const UINT error = Checked(hWnd, lpMidiInInfo, plat::MidiListen(lpMidiInInfo->hMidi, fRecord != 0));
  if (error != 0) return error;
  lpMidiInInfo->uDeviceStatus = fRecord ? MIDI_BUSY : MIDI_IDLE;
  return 0;
}

UINT MidiSendShortMsg(HWND hWnd, LPMIDIINFO lpMidiOutInfo, BYTE cStatus, BYTE cChannel, BYTE cData1, BYTE cData2) {
  if (lpMidiOutInfo->uDeviceType != MIDI_OUTPUT) {
    plat::MessageBox(hWnd, "Must use a MIDI output device", "MidiSendShortMsg", kLayerBox);
    return MIDI_INVALID;
  }
  if (!IsOpen(lpMidiOutInfo)) {
    plat::MessageBox(hWnd, "Must open MIDI output device first", "MidiSendShortMsg", kLayerBox);
    return MIDI_INVALID;
  }
  const BYTE message[3] = {static_cast<BYTE>(cStatus | cChannel), cData1, cData2};
  // No message has that status: it goes whole, for the port to refuse.
  const size_t length = MidiMessageLength(message[0]);
  return Checked(hWnd, lpMidiOutInfo, plat::MidiSend(lpMidiOutInfo->hMidi, message, length ? length : sizeof message));
}

int MidiExit(HWND hWnd, LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo) {
  if (lpMidiInInfo && IsOpen(lpMidiInInfo)) MidiActivateDevice(hWnd, lpMidiInInfo, MIDI_FORCE_CLOSE);
  if (lpMidiOutInfo && IsOpen(lpMidiOutInfo)) MidiActivateDevice(hWnd, lpMidiOutInfo, MIDI_FORCE_CLOSE);
  return 1;
}

void MidiShowError(HWND hWnd, UINT uError, UINT uDeviceType) {
  if (!IsPortType(uDeviceType)) {
    plat::DebugTrace("MidiShowError: Bad MIDI device type\r\n");
    return;
  }
  const bool input = uDeviceType == MIDI_INPUT;
  const MidiResult& last = input ? g_layer.lastInputError : g_layer.lastOutputError;
  // The port's own words, as far as the platform's 128-character buffer
  // holds them.
  const bool known = uError == last.error && !last.text.empty();
  char text[128];
  std::snprintf(text, sizeof text, "%s", known ? last.text.c_str() : kUnknownError);
  plat::MessageBox(hWnd, text, input ? "MIDI Input Error" : "MIDI Output Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
