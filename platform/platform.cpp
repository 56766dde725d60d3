#include "platform/seam.h"

#include <cstdlib>

namespace plat {
namespace {
Parts g_parts;

// Every program installs its back end before it touches the core; a call
// without one is a programming error that must not go unnoticed.
template <typename Part>
Part& Installed(Part* part) {
  if (part == nullptr) std::abort();
  return *part;
}
}  // namespace

Parts Install(Parts parts) {
  const Parts previous = g_parts;
  g_parts = parts;
  return previous;
}

WindowSystem& Window() { return Installed(g_parts.window); }
OsServices& Os() { return Installed(g_parts.os); }
MidiPorts& Midi() { return Installed(g_parts.midi); }

}  // namespace plat
