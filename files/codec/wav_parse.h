// A RIFF WAVE file decoded into u255 codes, one code per frame, over bytes
// alone: no file, window or global. The chunk walk reads each "fmt " chunk
// into a WavFormat record and hands the frames of each "data" chunk to the
// decoder of their sample encoding: PCM of 1 to 32 bits, IEEE float of 32
// or 64 bits, and the extensible format holding either; 1 to 8 channels,
// mixed to mono. The AIFF parser (files/codec/aiff_parse.h) gives the same
// result (files/codec/sound_parse.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/codec/byte_reader.h"
#include "files/codec/sound_parse.h"

WavParse ParseWav(ByteReader& in, const WavOptions& options);
WavParse ParseWav(const uint8_t* data, size_t size, const WavOptions& options);
