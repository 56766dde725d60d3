// u255 codes into 16-bit mono WAV files and in-memory WAV images.
#pragma once

#include "platform/platform.h"

extern UINT sample_rate;  // playback rate in Hz

constexpr UINT WAV_HEADER_SIZE = 44;
// Largest sound, in samples; a memory-mode buffer must hold
// WAV_HEADER_SIZE + 2 * that many bytes.
constexpr UINT WAV_MAX_SAMPLES = 65536;

// Writes the WAV file `output_ptr` names, or, when its first byte is 0, the
// WAV image into the buffer it points to. 0 success, 1 file not opened,
// 2 no output.
int ConvertDMXtoWAV(const BYTE* inbuffer, UINT number_of_samples, char* output_ptr);
void SaveWavFile(const char* filename, UINT lOffset, UINT lSize);
