// The system's MIDI ports on a port set, in the program's port order:
// RtMidi's ports first, then the raw byte-stream devices (the raw MIDI
// nodes found, then the paths given with --midi-device). A back end that
// offers the simulated Kilnbox adds it after these.
#pragma once

#include <string>
#include <vector>

#include "platform/midi/ports.h"

void RegisterSystemPorts(MidiPortSet& ports, const std::vector<std::string>& devicePaths);
