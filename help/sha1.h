// SHA-1 message digest.
#pragma once

#include <cstdint>

struct SHA1Context {
  uint32_t Message_Digest[5];
  uint32_t Length_Low;
  uint32_t Length_High;
  unsigned char Message_Block[64];
  int32_t Message_Block_Index;
  int32_t Computed;
  int32_t Corrupted;
};

void SHA1Reset(SHA1Context* context);
void SHA1Input(SHA1Context* context, const unsigned char* message_array, unsigned length);
int SHA1Result(SHA1Context* context);
