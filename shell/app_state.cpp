#include "shell/app_state.h"

#include "settings/config.h"

const char szAppName[] = "TALVERINE";
const char szCfgName[] = "TALVERINE.CFG";
const char szAppCaption[] = "Kilnbox EPROM Utility";

void MakeMidiStateNew() {
  TheMidiLayer() = MidiLayer{};
  TheConfigState() = ConfigState{};
}
