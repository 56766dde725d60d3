#include "device/midi.h"

UINT uMidiInDevices = 0;
UINT uMidiOutDevices = 0;

void MidiLayerInit() {
  uMidiInDevices = 0;
  uMidiOutDevices = 0;
}
