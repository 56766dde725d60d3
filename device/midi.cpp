// The MIDI port layer. Every function takes the caller's port record and
// shows each failure to the user itself: the callers mostly go on with their
// sequence and rely on the message already shown.
#include "device/midi.h"

#include <cstdio>

namespace {
MidiLayer g_layer;
}

MidiLayer& TheMidiLayer() { return g_layer; }

UINT& uMidiInDevices = g_layer.uMidiInDevices;
UINT& uMidiOutDevices = g_layer.uMidiOutDevices;

namespace {

constexpr UINT kLayerBox = MB_OK | MB_ICONERROR;

bool IsPortType(UINT uDeviceType) { return uDeviceType == MIDI_INPUT || uDeviceType == MIDI_OUTPUT; }
bool IsInput(LPMIDIINFO lpMidiInfo) { return lpMidiInfo->uDeviceType == MIDI_INPUT; }
bool IsOpen(LPMIDIINFO lpMidiInfo) { return lpMidiInfo->hMidi != nullptr; }

void ClearRecord(LPMIDIINFO lpMidiInfo, UINT uDeviceType) {
  lpMidiInfo->uDeviceType = uDeviceType;
  lpMidiInfo->uDeviceID = MIDI_INVALID;
  lpMidiInfo->hMidi = nullptr;
  lpMidiInfo->fAlwaysKeepOpen = 0;
  lpMidiInfo->uDeviceStatus = MIDI_IDLE;
}

// The platform calls below pick the input or the output operation by the
// record's type, which the callers have checked.
UINT PortOpen(LPMIDIINFO info, HWND hWnd) {
  HMIDIIN handle = nullptr;
  const UINT error = IsInput(info) ? plat::midiInOpen(&handle, info->uDeviceID, hWnd)
                                   : plat::midiOutOpen(&handle, info->uDeviceID, hWnd);
  if (error == MMSYSERR_NOERROR) info->hMidi = handle;
  return error;
}

UINT PortClose(LPMIDIINFO info) {
  return IsInput(info) ? plat::midiInClose(info->hMidi) : plat::midiOutClose(info->hMidi);
}

UINT PortReset(LPMIDIINFO info) {
  return IsInput(info) ? plat::midiInReset(info->hMidi) : plat::midiOutReset(info->hMidi);
}

UINT PortPrepare(LPMIDIINFO info) {
  return IsInput(info) ? plat::midiInPrepareHeader(info->hMidi, &info->MidiHdr)
                       : plat::midiOutPrepareHeader(info->hMidi, &info->MidiHdr);
}

UINT PortUnprepare(LPMIDIINFO info) {
  return IsInput(info) ? plat::midiInUnprepareHeader(info->hMidi, &info->MidiHdr)
                       : plat::midiOutUnprepareHeader(info->hMidi, &info->MidiHdr);
}

// Shows a platform error for the record's kind and hands it back.
UINT Failed(HWND hWnd, LPMIDIINFO info, UINT error) {
  MidiShowError(hWnd, error, info->uDeviceType);
  return error;
}

UINT OpenDevice(HWND hWnd, LPMIDIINFO info) {
  if (IsOpen(info)) return 0;
  const UINT error = PortOpen(info, hWnd);
  if (error != MMSYSERR_NOERROR) {
    // Later opens fail too until the caller chooses a port again.
    info->uDeviceID = MIDI_INVALID;
    return Failed(hWnd, info, error);
  }
  return 0;
}

UINT CloseDevice(HWND hWnd, LPMIDIINFO info) {
  const UINT error = PortClose(info);
  if (error != MMSYSERR_NOERROR) return Failed(hWnd, info, error);
  info->hMidi = nullptr;
  return 0;
}

UINT ForceCloseDevice(HWND hWnd, LPMIDIINFO info) {
  if (!IsOpen(info)) return 0;
  if (info->uDeviceStatus == MIDI_BUSY) {
    UINT error = PortReset(info);
    if (error != MMSYSERR_NOERROR) return Failed(hWnd, info, error);
    info->uDeviceStatus = MIDI_IDLE;
    error = MidiAssignBuffer(hWnd, info, nullptr, 0, 0);
    if (error != 0) return Failed(hWnd, info, error);
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

UINT AttachBuffer(HWND hWnd, LPMIDIINFO info, char* lpData, DWORD dwBufferLength) {
  if (lpData == nullptr || dwBufferLength == 0) {
    plat::MessageBox(hWnd, "Must specify a buffer and size", "MidiAssignBuffer", kLayerBox);
    return MIDI_INVALID;
  }
  info->MidiHdr.lpData = lpData;
  info->MidiHdr.dwBufferLength = dwBufferLength;
  UINT error = PortPrepare(info);
  if (error == MMSYSERR_NOERROR && IsInput(info)) error = plat::midiInAddBuffer(info->hMidi, &info->MidiHdr);
  if (error != MMSYSERR_NOERROR) return Failed(hWnd, info, error);
  return 0;
}

UINT ReleaseBuffer(HWND hWnd, LPMIDIINFO info) {
  // Done and no longer prepared: the port has finished with it. Otherwise a
  // reset stops the port and gets a pending buffer back first.
  if (info->MidiHdr.dwFlags != MHDR_DONE) {
    const UINT error = PortReset(info);
    if (error != MMSYSERR_NOERROR) return Failed(hWnd, info, error);
  }
  const UINT error = PortUnprepare(info);
  if (error != MMSYSERR_NOERROR) return Failed(hWnd, info, error);
  info->MidiHdr.lpData = nullptr;
  info->MidiHdr.dwBufferLength = 0;
  info->uDeviceStatus = MIDI_IDLE;
  return 0;
}

}  // namespace

int MidiInit(LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo) {
  uMidiInDevices = plat::midiInGetNumDevs();
  uMidiOutDevices = plat::midiOutGetNumDevs();
  if (lpMidiInInfo) ClearRecord(lpMidiInInfo, uMidiInDevices ? MIDI_INPUT : MIDI_INVALID);
  if (lpMidiOutInfo) ClearRecord(lpMidiOutInfo, uMidiOutDevices ? MIDI_OUTPUT : MIDI_INVALID);

  const bool inputMissing = lpMidiInInfo && uMidiInDevices == 0;
  const bool outputMissing = lpMidiOutInfo && uMidiOutDevices == 0;
  if (!inputMissing && !outputMissing) return 1;

  char text[128];
  std::snprintf(text, sizeof text, "No MIDI %s%s%sdevices are present", uMidiInDevices == 0 ? "input " : "",
                uMidiInDevices == 0 && uMidiOutDevices == 0 ? "or " : "", uMidiOutDevices == 0 ? "output " : "");
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
  MIDICAPS caps;
  const UINT error = uDeviceType == MIDI_INPUT ? plat::midiInGetDevCaps(uDeviceID, &caps)
                                               : plat::midiOutGetDevCaps(uDeviceID, &caps);
  if (error != MMSYSERR_NOERROR) {
    MidiShowError(hWnd, error, uDeviceType);
    return error;
  }
  // At most 31 characters, copied as they are (a name may hold a '%').
  size_t i = 0;
  for (; i < MAXPNAMELEN - 1 && caps.szPname[i] != '\0'; ++i) lpszBuffer[i] = caps.szPname[i];
  lpszBuffer[i] = '\0';
  return 0;
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
  if (fSend) {
    const UINT error = plat::midiOutLongMsg(lpMidiOutInfo->hMidi, &lpMidiOutInfo->MidiHdr);
    if (error != MMSYSERR_NOERROR) return Failed(hWnd, lpMidiOutInfo, error);
    lpMidiOutInfo->uDeviceStatus = MIDI_BUSY;
    return 0;
  }
  if (lpMidiOutInfo->MidiHdr.dwFlags == MHDR_DONE) {
    lpMidiOutInfo->uDeviceStatus = MIDI_IDLE;
    return 0;
  }
  const UINT error = plat::midiOutReset(lpMidiOutInfo->hMidi);
  if (error != MMSYSERR_NOERROR) return Failed(hWnd, lpMidiOutInfo, error);
  lpMidiOutInfo->uDeviceStatus = MIDI_INTERRUPTED;
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
  const UINT error = fRecord ? plat::midiInStart(lpMidiInInfo->hMidi) : plat::midiInStop(lpMidiInInfo->hMidi);
  if (error != MMSYSERR_NOERROR) return Failed(hWnd, lpMidiInInfo, error);
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
  const DWORD packed = static_cast<DWORD>(cStatus | cChannel) | (static_cast<DWORD>(cData1) << 8) |
                       (static_cast<DWORD>(cData2) << 16);
  const UINT error = plat::midiOutShortMsg(lpMidiOutInfo->hMidi, packed);
  if (error != MMSYSERR_NOERROR) return Failed(hWnd, lpMidiOutInfo, error);
  return 0;
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
  char text[128] = {};
  UINT lookup = input ? plat::midiInGetErrorText(uError, text, sizeof text)
                      : plat::midiOutGetErrorText(uError, text, sizeof text);
  if (lookup != MMSYSERR_NOERROR) {
    // The number itself is unknown: show why the lookup failed instead.
    lookup = input ? plat::midiInGetErrorText(lookup, text, sizeof text)
                   : plat::midiOutGetErrorText(lookup, text, sizeof text);
    if (lookup != MMSYSERR_NOERROR) text[0] = '\0';
  }
  plat::MessageBox(hWnd, text, input ? "MIDI Input Error" : "MIDI Output Error",
                   MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
