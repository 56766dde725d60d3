// u255 codes as the WAV image of a 16-bit mono PCM sound: the bytes a WAV
// file holds and the player plays, built into the caller's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t WAV_HEADER_SIZE = 44;

// Bytes of the WAV image of `samples` codes.
constexpr size_t WavImageSize(size_t samples) { return WAV_HEADER_SIZE + 2 * samples; }

// Writes the WAV image of the `samples` codes at `codes`, to be played at
// `rate` Hz, into the `capacity` bytes at `out`; false, with nothing
// written, when it doesn't fit.
bool BuildWavImage(const uint8_t* codes, size_t samples, uint32_t rate, uint8_t* out, size_t capacity);
// The same image in a buffer of its own.
std::vector<uint8_t> WavImage(const uint8_t* codes, size_t samples, uint32_t rate);
