// The reply decoder over any received message, with the byte count the
// driver reported: the bytes in a buffer of exactly that count, so that a
// read past it is caught by the address sanitizer.
//
// Input: four bytes the handler's seeds carry (mode, EPROM index, type and
// arrangement; not used here), flags (bit 2 a byte count of its own), the
// byte count (32 bits, used with bit 2); then the message.
#include <vector>

#include "device/reply.h"
#include "shell/app_state.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

BYTE Combined(const BYTE* pair) { return static_cast<BYTE>(((pair[0] & 0x0F) << 4) | (pair[1] & 0x0F)); }
bool Marked(const BYTE* pair) { return (pair[0] & 0xF0) == 0x40 && (pair[1] & 0xF0) == 0; }

bool KilnboxHeader(const BYTE* m, DWORD n) {
  return n > 5 && m[0] == 0xF0 && m[1] == 0x10 && m[2] == 0x05 && m[3] == 0x01;
}

bool NothingDecoded(const KilnboxReply& r) {
  return r.blockNumber == 0 && !r.hasLength && r.announced == 0 && r.pairsArrived == 0 && r.receivedLength == 0 &&
         !r.pairsWellFormed && r.data == nullptr;
}

}  // namespace

int FuzzDeviceReply(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  for (int i = 0; i < 4; ++i) in.Byte();
  const uint8_t flags = in.Byte();
  const uint32_t countField = in.Le32();

  // The receive buffer holds what arrived; a larger count reported reads
  // the buffer's zeros beyond it, never more than the buffer.
  const size_t stored = in.RestSize() < BUFFER_SIZE ? in.RestSize() : BUFFER_SIZE;
  const DWORD reported = (flags & 4) ? countField : static_cast<DWORD>(stored);
  const DWORD n = reported < BUFFER_SIZE ? reported : BUFFER_SIZE;
  std::vector<BYTE> message(in.Rest(), in.Rest() + (stored < n ? stored : n));
  message.resize(n);
  const BYTE* m = message.data();

  const KilnboxReply reply = DecodeReply(m, n);
  FUZZ_CHECK(reply.isDataBlock == KilnboxHeader(m, n));
  if (!reply.isDataBlock) {
    FUZZ_CHECK(NothingDecoded(reply));
    return 0;
  }
  FUZZ_CHECK(reply.blockNumber == m[4] + 1u);
  FUZZ_CHECK(reply.hasLength == (n >= 13));
  if (reply.hasLength) {
    FUZZ_CHECK(reply.announced == Combined(m + 9) * 256u + Combined(m + 11) + 1);
  } else {
    FUZZ_CHECK(reply.announced == 0);
  }
  // Whole pairs after the header, and the count shown one fewer when the
  // last byte would be half a pair.
  if (n > 45) {
    FUZZ_CHECK(45 + 2ull * reply.pairsArrived <= n && n - 45 - 2 * reply.pairsArrived < 2);
  } else {
    FUZZ_CHECK(reply.pairsArrived == 0);
  }
  FUZZ_CHECK(reply.receivedLength == (n >= 46 ? (n - 46) / 2 : 0));
  FUZZ_CHECK(reply.receivedLength <= reply.pairsArrived && reply.pairsArrived <= reply.receivedLength + 1);

  // Well formed: the length arrived, it counts exactly the pairs that
  // arrived, and each of them is marked.
  bool marked = true;
  for (DWORD i = 0; i < reply.pairsArrived; ++i) {
    FUZZ_CHECK(reply.DataByte(i) == Combined(m + 45 + 2 * i));
    marked = marked && Marked(m + 45 + 2 * i);
  }
  FUZZ_CHECK(reply.pairsWellFormed == (reply.hasLength && reply.announced == reply.pairsArrived && marked));
  return 0;
}
