// WAV files into u255 codes.
#pragma once

#include <cstdio>

#include "platform/platform.h"

// Result codes of ConvertWavToDMX.
constexpr int WAV_OK = 0;
constexpr int WAV_NOT_RIFF = 3;
constexpr int WAV_NOT_WAVE = 4;
constexpr int WAV_SHORT_FMT = 5;
constexpr int WAV_BAD_FORMAT = 6;
constexpr int WAV_SHORT_BITS = 7;
constexpr int WAV_SHORT_DATA = 8;

extern UINT AutoScale;

void LoadWavFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus);
int ConvertWavToDMX(FILE* ip, BYTE* outbuff, UINT buffersize, int32_t* peak, HWND hWndStatus);
void flush_chunk(FILE* ip, long i);
int UnexpectedEnd(int rv, HWND hWndStatus);
