// WAV files into u255 codes: the loader and the converter of open streams,
// thin over ParseWav (files/wav_parse.h) and the sound loader with its
// status texts (files/sound_read.h). The converter never resamples.
#pragma once

#include <cstdint>
#include <cstdio>

#include "files/file_settings.h"
#include "files/codec/wav_parse.h"
#include "platform/platform.h"

// Result codes of ConvertWavToDMX.
constexpr int WAV_OK = 0;
constexpr int WAV_NOT_RIFF = 3;
constexpr int WAV_NOT_WAVE = 4;
constexpr int WAV_SHORT_FMT = 5;
constexpr int WAV_BAD_FORMAT = 6;   // also: a frame layout the reader can't hold
constexpr int WAV_SHORT_BITS = 7;
constexpr int WAV_SHORT_DATA = 8;


// Loads the WAV file into the `lSize` bytes at imgMemory + `lOffset`;
// problems go to part 1 of the status bar `hWndStatus`.
void LoadWavFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus);
// Converts the stream (rewound first) into at most `buffersize` codes at
// `outbuff`, encoding against *peak; on a normal end *peak receives the
// peak of the last data chunk converted. Returns a WAV_* code.
int ConvertWavToDMX(FILE* ip, BYTE* outbuff, UINT buffersize, int32_t* peak, HWND hWndStatus);
