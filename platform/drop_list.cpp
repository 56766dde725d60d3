#include "platform/drop_list.h"

#include <algorithm>

namespace plat {

namespace {
// Handles are numbers with these top bits, never addresses.
constexpr uintptr_t kDropTag = uintptr_t{0x7D0F} << 48;
}  // namespace

HDROP DropList::Add(std::vector<std::string> files, POINT at, bool inClient) {
  const HDROP handle = reinterpret_cast<HDROP>(kDropTag | ++lastHandle_);
  drops_.push_back({handle, std::move(files), at, inClient});
  return handle;
}

const DropList::Drop* DropList::Live(HDROP drop) const {
  auto it = std::find_if(drops_.begin(), drops_.end(), [drop](const Drop& d) { return d.handle == drop; });
  return it == drops_.end() ? nullptr : &*it;
}

UINT DropList::Count(HDROP drop) const {
  const Drop* d = Live(drop);
  return d ? static_cast<UINT>(d->files.size()) : 0;
}

UINT DropList::QueryFile(HDROP drop, UINT index, char* buffer, UINT size) const {
  const Drop* d = Live(drop);
  return CopyDroppedName(d && index < d->files.size() ? d->files[index] : std::string(), buffer, size);
}

bool DropList::QueryPoint(HDROP drop, POINT* pt) const {
  const Drop* d = Live(drop);
  if (pt) *pt = d ? d->point : POINT{0, 0};
  return d && d->inClient;
}

void DropList::Finish(HDROP drop) {
  drops_.erase(std::remove_if(drops_.begin(), drops_.end(), [drop](const Drop& d) { return d.handle == drop; }),
               drops_.end());
}

}  // namespace plat
