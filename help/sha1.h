// SHA-1 message digest (FIPS 180-1).
#pragma once

#include <cstdint>

struct SHA1Context {
  uint32_t Message_Digest[5];       // H0..H4; the digest once the result is taken
  uint32_t Length_Low;              // message length in bits, low word
  uint32_t Length_High;             // and high word
  unsigned char Message_Block[64];  // the block being filled
  int32_t Message_Block_Index;      // bytes filled in Message_Block
  int32_t Computed;                 // nonzero once padded: the digest is final
  int32_t Corrupted;                // nonzero once misused or the length overflowed
};

// Starts a computation.
void SHA1Reset(SHA1Context* context);
// Adds `length` bytes. Input after the result has been taken, or beyond a
// bit length of 2^64, sets Corrupted and is ignored; length 0 changes nothing.
void SHA1Input(SHA1Context* context, const unsigned char* message_array, unsigned length);
// Pads once and leaves the digest in Message_Digest; 0 when corrupted, else 1.
int SHA1Result(SHA1Context* context);
