// u255 codes into 16-bit mono WAV files and in-memory WAV images.
#pragma once

#include "files/file_settings.h"
#include "platform/platform.h"

constexpr UINT WAV_HEADER_SIZE = 44;
// Largest sound, in samples; a memory-mode buffer must hold
// WAV_HEADER_SIZE + 2 * that many bytes.
constexpr UINT WAV_MAX_SAMPLES = 65536;
constexpr UINT WAV_MAX_IMAGE = WAV_HEADER_SIZE + 2 * WAV_MAX_SAMPLES;

// Results of ConvertDMXtoWAV.
constexpr int WAVOUT_OK = 0;
constexpr int WAVOUT_OPEN_FAILED = 1;   // also: written, but a write failed
constexpr int WAVOUT_NO_OUTPUT = 2;
constexpr int WAVOUT_TOO_LONG = 3;      // more than WAV_MAX_SAMPLES codes

// Writes the WAV file `output_ptr` names, or, when its first byte is 0, the
// WAV image (WAV_HEADER_SIZE + 2 * number_of_samples bytes) into the buffer
// it points to.
int ConvertDMXtoWAV(const BYTE* inbuffer, UINT number_of_samples, char* output_ptr);
void SaveWavFile(const char* filename, UINT lOffset, UINT lSize);
