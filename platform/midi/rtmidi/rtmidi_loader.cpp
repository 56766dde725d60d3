#include <dlfcn.h>

#include <vector>

#include "platform/midi/rtmidi/rtmidi_client.h"
#include "platform/os/os_services.h"

namespace rtmidiports {
namespace {

constexpr const char* kClientName = "Talverine";

std::string LoaderError(const std::string& file) {
  const char* text = dlerror();
  return text != nullptr ? text : file + ": cannot be loaded";
}

struct Module {
  ModuleEntry entry = nullptr;
  std::string why;
};

// Beside the program (the build tree, a program unpacked anywhere), then
// in the modules folder beside its bin/ (an installed program).
std::vector<std::string> ModulePlaces() {
  const std::string programs = os::ExecutableDirectory();
  return {programs + "/" + TALVERINE_RTMIDI_MODULE,
          programs + "/../" TALVERINE_MODULE_DIR "/" + TALVERINE_RTMIDI_MODULE};
}

Module LoadProgramModule() {
  Module module;
  for (const std::string& place : ModulePlaces()) {
    if (os::KindOfPath(place) != os::PathKind::Regular) continue;
    module.entry = LoadModule(place, &module.why);
    if (module.entry == nullptr) module.why = "RtMidi cannot be loaded: " + module.why;
    return module;
  }
  module.why = std::string("RtMidi's module ") + TALVERINE_RTMIDI_MODULE +
               " is neither beside the program nor in ../" TALVERINE_MODULE_DIR;
  return module;
}

const Module& ProgramModule() {
  static const Module module = LoadProgramModule();
  return module;
}

}  // namespace

ModuleEntry LoadModule(const std::string& file, std::string* why) {
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *why = LoaderError(file);
    return nullptr;
  }
  // Never closed: its clients live as long as the program may use them.
  auto entry = reinterpret_cast<ModuleEntry>(dlsym(handle, kModuleEntryName));
  if (entry == nullptr) *why = LoaderError(file);
  return entry;
}

bool ModuleLoaded(std::string* why) {
  const Module& module = ProgramModule();
  if (module.entry == nullptr) *why = module.why;
  return module.entry != nullptr;
}

std::unique_ptr<Client> NewClient(bool input, std::string* why) {
  if (!ModuleLoaded(why)) return nullptr;
  return std::unique_ptr<Client>(ProgramModule().entry(input, kClientName, why));
}

}  // namespace rtmidiports
