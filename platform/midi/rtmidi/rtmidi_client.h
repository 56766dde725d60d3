// RtMidi behind a small interface, so that RtMidi and the sound libraries
// it brings (ALSA, JACK and theirs) live in a module of their own,
// talverine-rtmidi, which a program loads only when it lists or opens the
// system's ports: a conversion loads none of them.
//
// Implements:
// - Client: one RtMidiIn or RtMidiOut, as the port classes use it
//   (rtmidi_module.cpp, the module);
// - LoadModule / NewClient: the module loaded on first use and a client
//   made by it (rtmidi_loader.cpp, in the program). The program looks for
//   the module beside itself, then in lib/talverine/modules beside its bin/.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace rtmidiports {

// One RtMidiIn or RtMidiOut on the system's sequencer. No call throws; a
// failure, RtMidi's warnings included, comes back as RtMidi's own text.
class Client {
 public:
  using Receiver = std::function<void(const unsigned char* data, size_t size)>;

  virtual ~Client() = default;
  virtual unsigned PortCount() = 0;
  // "" when the port has gone meanwhile.
  virtual std::string PortName(unsigned index) = 0;
  // Opens port `index` under our name `ourName`: "", or what RtMidi said.
  virtual std::string OpenPort(unsigned index, const std::string& ourName) = 0;
  virtual bool IsPortOpen() = 0;
  virtual void ClosePort() = 0;
  // Input: lets System Exclusive through and hands every message's bytes
  // to `receiver`, on RtMidi's thread, until StopReceiving().
  virtual void StartReceiving(Receiver receiver) = 0;
  virtual void StopReceiving() = 0;
  // Output: sends one message: "", or what RtMidi said.
  virtual std::string Send(const unsigned char* data, size_t size) = 0;
};

// The module's one entry point: a client named `clientName`, or nullptr
// with `why` when RtMidi cannot make one (no MIDI service).
using ModuleEntry = Client* (*)(bool input, const char* clientName, std::string* why);
inline constexpr const char* kModuleEntryName = "TalverineNewRtMidiClient";

// Loads the module file `file` as the system's loader finds it; its entry,
// or nullptr with `why`.
ModuleEntry LoadModule(const std::string& file, std::string* why);

// True once the program's module is loaded (on the first call); else false
// with `why`.
bool ModuleLoaded(std::string* why);

// A client made by the program's module; nullptr with `why` when the
// module cannot be loaded or RtMidi cannot make one.
std::unique_ptr<Client> NewClient(bool input, std::string* why);

}  // namespace rtmidiports
