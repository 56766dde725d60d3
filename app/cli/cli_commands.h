// The commands of talverine-cli; each takes the arguments after its name
// and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace cli {

int ConvertCommand(const std::vector<std::string>& argv);
int HashCommand(const std::vector<std::string>& argv);
int PortsCommand(const std::vector<std::string>& argv);
// get, send, read, program, verify and blank.
bool IsDeviceCommand(const std::string& name);
int DeviceCommand(const std::string& name, const std::vector<std::string>& argv);

}  // namespace cli
