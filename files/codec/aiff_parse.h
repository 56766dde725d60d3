// An AIFF or AIFF-C file decoded into u255 codes, one code per frame, over
// bytes alone, into the same result as a WAV file
// (files/codec/sound_parse.h). The chunk walk reads the "COMM" chunk into a
// WavFormat record and hands the frames of the "SSND" chunk to the decoder
// of their encoding: big-endian integers of 1 to 32 bits (AIFF, and
// AIFF-C's "NONE"), little-endian ones ("sowt") and big-endian IEEE floats
// ("fl32", "fl64"); 1 to 8 channels, mixed to mono.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/codec/byte_reader.h"
#include "files/codec/sound_parse.h"

WavParse ParseAiff(ByteReader& in, const WavOptions& options);

// The sample rate an 80-bit IEEE extended value gives, rounded to the
// nearest whole number: 0 for one below 0.5, negative, NaN or infinite,
// UINT32_MAX for one too large to hold.
uint32_t ExtendedToRate(const uint8_t* bytes);
