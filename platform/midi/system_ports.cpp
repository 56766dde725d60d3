#include "platform/midi/system_ports.h"

#include "platform/midi/rawdev/ports_rawdev.h"

void RegisterSystemPorts(MidiPortSet& ports, const std::vector<std::string>& devicePaths) {
  rawdev::RegisterRawDevices(ports, devicePaths);
}
