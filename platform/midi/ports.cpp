// Placeholder port set with no ports; replaced by the full implementation.
#include "platform/midi/ports.h"

#include <cstring>
#include <vector>

struct MidiPortSet::Impl {
  PostFunction post;
  std::vector<std::unique_ptr<MidiInputDevice>> inputs;
  std::vector<std::unique_ptr<MidiOutputDevice>> outputs;
};

MidiPortSet::MidiPortSet(PostFunction post) : impl_(std::make_unique<Impl>()) { impl_->post = std::move(post); }
MidiPortSet::~MidiPortSet() = default;
UINT MidiPortSet::AddInput(std::unique_ptr<MidiInputDevice> d) { impl_->inputs.push_back(std::move(d)); return static_cast<UINT>(impl_->inputs.size() - 1); }
UINT MidiPortSet::AddOutput(std::unique_ptr<MidiOutputDevice> d) { impl_->outputs.push_back(std::move(d)); return static_cast<UINT>(impl_->outputs.size() - 1); }
void MidiPortSet::Deliver() {}
bool MidiPortSet::HasPendingInput() const { return false; }
void MidiPortSet::SetWakeup(std::function<void()>) {}
UINT MidiPortSet::midiInGetNumDevs() { return 0; }
UINT MidiPortSet::midiOutGetNumDevs() { return 0; }
UINT MidiPortSet::midiInGetDevCaps(UINT, MIDICAPS*) { return MMSYSERR_BADDEVICEID; }
UINT MidiPortSet::midiOutGetDevCaps(UINT, MIDICAPS*) { return MMSYSERR_BADDEVICEID; }
UINT MidiPortSet::midiInOpen(HMIDIIN*, UINT, HWND) { return MMSYSERR_BADDEVICEID; }
UINT MidiPortSet::midiOutOpen(HMIDIOUT*, UINT, HWND) { return MMSYSERR_BADDEVICEID; }
UINT MidiPortSet::midiInClose(HMIDIIN) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiOutClose(HMIDIOUT) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInReset(HMIDIIN) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiOutReset(HMIDIOUT) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInPrepareHeader(HMIDIIN, MIDIHDR*) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiOutPrepareHeader(HMIDIOUT, MIDIHDR*) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInUnprepareHeader(HMIDIIN, MIDIHDR*) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiOutUnprepareHeader(HMIDIOUT, MIDIHDR*) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInAddBuffer(HMIDIIN, MIDIHDR*) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiOutLongMsg(HMIDIOUT, MIDIHDR*) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiOutShortMsg(HMIDIOUT, DWORD) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInStart(HMIDIIN) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInStop(HMIDIIN) { return MMSYSERR_INVALHANDLE; }
UINT MidiPortSet::midiInGetErrorText(UINT, char* t, UINT s) { if (t && s) t[0] = 0; return 0; }
UINT MidiPortSet::midiOutGetErrorText(UINT, char* t, UINT s) { if (t && s) t[0] = 0; return 0; }
