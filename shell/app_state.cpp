#include "shell/app_state.h"

#include "settings/config.h"

const char szAppName[] = "TALVERINE";
const char szCfgName[] = "TALVERINE.CFG";
const char szAppCaption[] = "Kilnbox EPROM Utility";

namespace {

struct MidiPortRecords {
  UINT bMidiInit = 0;
  MIDIINFO MidiInInfo;
  MIDIINFO MidiOutInfo;
};

MidiPortRecords g_midi;

}  // namespace

UINT& bMidiInit = g_midi.bMidiInit;
MIDIINFO& MidiInInfo = g_midi.MidiInInfo;
MIDIINFO& MidiOutInfo = g_midi.MidiOutInfo;

void MakeMidiStateNew() {
  g_midi = MidiPortRecords{};
  TheMidiLayer() = MidiLayer{};
  TheConfigState() = ConfigState{};
}
