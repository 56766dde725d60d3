#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace plat {
namespace {
Platform* g_current = nullptr;
}

Platform* Install(Platform* p) {
  Platform* previous = g_current;
  g_current = p;
  return previous;
}

Platform& Current() {
  // Every program installs its back end before it touches the core; a call
  // without one is a programming error that must not go unnoticed.
  if (g_current == nullptr) std::abort();
  return *g_current;
}

UINT CopyDroppedName(const std::string& name, char* buffer, UINT size) {
  if (buffer && size > 0) {
    const size_t n = std::min<size_t>(name.size(), size - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<UINT>(name.size());
}

}  // namespace plat
