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
#include <optional>
#include <string>
#include <vector>

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

}  // namespace os
