// The seam's MIDI part as the operations of a MidiPortSet: the one place
// where the back ends hand the midi* calls to their ports.
#pragma once

#include "platform/midi/ports.h"
#include "platform/platform.h"

class PortSetMidi : public MidiPorts {
 public:
  virtual MidiPortSet& Midi() = 0;

  UINT midiInGetNumDevs() override { return Midi().midiInGetNumDevs(); }
  UINT midiOutGetNumDevs() override { return Midi().midiOutGetNumDevs(); }
  UINT midiInGetDevCaps(UINT id, MIDICAPS* caps) override { return Midi().midiInGetDevCaps(id, caps); }
  UINT midiOutGetDevCaps(UINT id, MIDICAPS* caps) override { return Midi().midiOutGetDevCaps(id, caps); }
  UINT midiInOpen(HMIDIIN* handle, UINT id, HWND target) override { return Midi().midiInOpen(handle, id, target); }
  UINT midiOutOpen(HMIDIOUT* handle, UINT id, HWND target) override { return Midi().midiOutOpen(handle, id, target); }
  UINT midiInClose(HMIDIIN h) override { return Midi().midiInClose(h); }
  UINT midiOutClose(HMIDIOUT h) override { return Midi().midiOutClose(h); }
  UINT midiInReset(HMIDIIN h) override { return Midi().midiInReset(h); }
  UINT midiOutReset(HMIDIOUT h) override { return Midi().midiOutReset(h); }
  UINT midiInPrepareHeader(HMIDIIN h, MIDIHDR* hdr) override { return Midi().midiInPrepareHeader(h, hdr); }
  UINT midiOutPrepareHeader(HMIDIOUT h, MIDIHDR* hdr) override { return Midi().midiOutPrepareHeader(h, hdr); }
  UINT midiInUnprepareHeader(HMIDIIN h, MIDIHDR* hdr) override { return Midi().midiInUnprepareHeader(h, hdr); }
  UINT midiOutUnprepareHeader(HMIDIOUT h, MIDIHDR* hdr) override { return Midi().midiOutUnprepareHeader(h, hdr); }
  UINT midiInAddBuffer(HMIDIIN h, MIDIHDR* hdr) override { return Midi().midiInAddBuffer(h, hdr); }
  UINT midiOutLongMsg(HMIDIOUT h, MIDIHDR* hdr) override { return Midi().midiOutLongMsg(h, hdr); }
  UINT midiOutShortMsg(HMIDIOUT h, DWORD packed) override { return Midi().midiOutShortMsg(h, packed); }
  UINT midiInStart(HMIDIIN h) override { return Midi().midiInStart(h); }
  UINT midiInStop(HMIDIIN h) override { return Midi().midiInStop(h); }
  UINT midiInGetErrorText(UINT error, char* text, UINT size) override {
    return Midi().midiInGetErrorText(error, text, size);
  }
  UINT midiOutGetErrorText(UINT error, char* text, UINT size) override {
    return Midi().midiOutGetErrorText(error, text, size);
  }
};
