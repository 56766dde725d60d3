#include "platform/platform.h"

#include <cstdlib>

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

}  // namespace plat
