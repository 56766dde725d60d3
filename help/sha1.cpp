#include "help/sha1.h"

#include <cstring>

namespace {

constexpr uint32_t kInitial[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
constexpr int kBlockBytes = 64;
// Room for the 64-bit length at the end of the last block.
constexpr int kLengthBytes = 8;

inline uint32_t RotateLeft(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

inline uint32_t LoadBigEndian(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreBigEndian(unsigned char* p, uint32_t value) {
  p[0] = static_cast<unsigned char>(value >> 24);
  p[1] = static_cast<unsigned char>(value >> 16);
  p[2] = static_cast<unsigned char>(value >> 8);
  p[3] = static_cast<unsigned char>(value);
}

struct Words {
  uint32_t a, b, c, d, e;
};

// One round: `f` is the round group's function of b, c and d.
inline void Round(Words& v, uint32_t f, uint32_t k, uint32_t w) {
  const uint32_t temp = RotateLeft(v.a, 5) + f + v.e + w + k;
  v.e = v.d;
  v.d = v.c;
  v.c = RotateLeft(v.b, 30);
  v.b = v.a;
  v.a = temp;
}

// The 80 rounds over one 512-bit block, in the four groups of twenty.
void ProcessBlock(uint32_t digest[5], const unsigned char* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  Words v{digest[0], digest[1], digest[2], digest[3], digest[4]};
  for (int t = 0; t < 20; ++t) Round(v, (v.b & v.c) | (~v.b & v.d), 0x5A827999u, w[t]);
  for (int t = 20; t < 40; ++t) Round(v, v.b ^ v.c ^ v.d, 0x6ED9EBA1u, w[t]);
  for (int t = 40; t < 60; ++t) Round(v, (v.b & v.c) | (v.b & v.d) | (v.c & v.d), 0x8F1BBCDCu, w[t]);
  for (int t = 60; t < 80; ++t) Round(v, v.b ^ v.c ^ v.d, 0xCA62C1D6u, w[t]);
  digest[0] += v.a;
  digest[1] += v.b;
  digest[2] += v.c;
  digest[3] += v.d;
  digest[4] += v.e;
}

// Adds `bytes` to the bit count; false when it would pass 2^64 bits.
bool CountBytes(SHA1Context* context, unsigned bytes) {
  const uint64_t bits = (static_cast<uint64_t>(context->Length_High) << 32) | context->Length_Low;
  const uint64_t added = static_cast<uint64_t>(bytes) * 8;
  if (bits + added < bits) return false;
  context->Length_Low = static_cast<uint32_t>(bits + added);
  context->Length_High = static_cast<uint32_t>((bits + added) >> 32);
  return true;
}

void ZeroFill(SHA1Context* context, int upTo) {
  while (context->Message_Block_Index < upTo) context->Message_Block[context->Message_Block_Index++] = 0;
}

void PadMessage(SHA1Context* context) {
  context->Message_Block[context->Message_Block_Index++] = 0x80;
  if (context->Message_Block_Index > kBlockBytes - kLengthBytes) {
    ZeroFill(context, kBlockBytes);
    ProcessBlock(context->Message_Digest, context->Message_Block);
    context->Message_Block_Index = 0;
  }
  ZeroFill(context, kBlockBytes - kLengthBytes);
  StoreBigEndian(context->Message_Block + 56, context->Length_High);
  StoreBigEndian(context->Message_Block + 60, context->Length_Low);
  ProcessBlock(context->Message_Digest, context->Message_Block);
  context->Message_Block_Index = 0;
}

}  // namespace

void SHA1Reset(SHA1Context* context) {
  if (context == nullptr) return;
  std::memcpy(context->Message_Digest, kInitial, sizeof kInitial);
  context->Length_Low = 0;
  context->Length_High = 0;
  std::memset(context->Message_Block, 0, sizeof context->Message_Block);
  context->Message_Block_Index = 0;
  context->Computed = 0;
  context->Corrupted = 0;
}

void SHA1Input(SHA1Context* context, const unsigned char* message_array, unsigned length) {
  if (context == nullptr || length == 0) return;
  if (message_array == nullptr || context->Computed || context->Corrupted || !CountBytes(context, length)) {
    context->Corrupted = 1;
    return;
  }
  while (length > 0) {
    if (context->Message_Block_Index == 0 && length >= kBlockBytes) {
      // Whole blocks straight from the caller's bytes.
      ProcessBlock(context->Message_Digest, message_array);
      message_array += kBlockBytes;
      length -= kBlockBytes;
      continue;
    }
    const unsigned room = static_cast<unsigned>(kBlockBytes - context->Message_Block_Index);
    const unsigned take = length < room ? length : room;
    std::memcpy(context->Message_Block + context->Message_Block_Index, message_array, take);
    context->Message_Block_Index += static_cast<int32_t>(take);
    message_array += take;
    length -= take;
    if (context->Message_Block_Index == kBlockBytes) {
      ProcessBlock(context->Message_Digest, context->Message_Block);
      context->Message_Block_Index = 0;
    }
  }
}

int SHA1Result(SHA1Context* context) {
  if (context == nullptr || context->Corrupted) return 0;
  if (!context->Computed) {
    PadMessage(context);
    context->Computed = 1;
  }
  return 1;
}
