// What a second start of the program tells the running one: raise your
// window, and load these files as a drop outside the client area would.
//
// The request is "raise\n" followed by each file name ended by a NUL byte,
// so that a name may hold spaces, line breaks and any character but NUL.
// It carries no version: the first line says what it is, and a receiver
// that knows only "raise" still raises.
//
// The receiver treats a request as untrusted: one that is too long, has
// too many names, an empty name or an unended last name is ignored whole.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/seam.h"

namespace os {

// More files than there are sounds or EPROMs never load; this bounds what
// a receiver reads.
constexpr size_t kMaxHandedFiles = 64;
constexpr size_t kMaxHandOverBytes = 64 * 1024;

// The request for `files`: at most kMaxHandedFiles of them, in their order,
// and no more than fit in kMaxHandOverBytes (the rest could never load).
std::string EncodeHandOver(const std::vector<std::string>& files);

// The files a request hands over (none: raise only); nullopt for anything
// that is not a well-formed request.
std::optional<std::vector<std::string>> DecodeHandOver(const std::string& request);

// The files handed over, held from their arrival until the main window
// takes drops: not before it does, nor once it has stopped (while it
// closes).
class HandedFiles {
 public:
  void Hold(std::vector<std::string> files) {
    if (!files.empty()) held_.push_back(std::move(files));
  }
  bool Holding() const { return !held_.empty(); }
  // Gives `drop` each list held, as files dropped outside the client area,
  // for as long as `takesDrops()`.
  template <typename TakesDrops, typename Drop>
  void Deliver(TakesDrops takesDrops, Drop drop) {
    while (!held_.empty() && takesDrops()) {
      DroppedFiles dropped{std::move(held_.front()), {}, false};
      held_.pop_front();
      drop(dropped);
    }
  }

 private:
  std::deque<std::vector<std::string>> held_;
};

}  // namespace os
