#include "platform/midi/system_ports.h"

#include "platform/midi/rawdev/ports_rawdev.h"
#include "platform/midi/rtmidi/ports_rtmidi.h"

void RegisterSystemPorts(MidiPortSet& ports, const std::vector<std::string>& devicePaths) {
  rtmidiports::RegisterRtMidiPorts(ports);
  rawdev::RegisterRawDevices(ports, devicePaths);
}
