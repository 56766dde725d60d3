#include "files/wav_read.h"

#include <algorithm>

#include "files/codec/byte_reader.h"
#include "files/sound_read.h"

namespace {

int ResultCode(WavError error) {
  switch (error) {
    case WavError::kNone:
    case WavError::kShortRiffHeader: return WAV_OK;
    case WavError::kNotRiff: return WAV_NOT_RIFF;
    case WavError::kNotWave: return WAV_NOT_WAVE;
    case WavError::kShortFormat: return WAV_SHORT_FMT;
    case WavError::kUnknownFormat:
    case WavError::kUnsupportedLayout: return WAV_BAD_FORMAT;
    case WavError::kShortBits: return WAV_SHORT_BITS;
    case WavError::kShortData: return WAV_SHORT_DATA;
    // Neither an AIFF file's nor a resampling's: a WAV converted here is
    // never resampled.
    case WavError::kNotForm: return WAV_NOT_RIFF;
    case WavError::kNotAiff: return WAV_NOT_WAVE;
    case WavError::kUnknownCompression:
    case WavError::kUnsupportedSampleSize:
    case WavError::kCannotResample: return WAV_BAD_FORMAT;
  }
  return WAV_OK;
}

}  // namespace

int ConvertWavToDMX(FILE* ip, BYTE* outbuff, UINT buffersize, int32_t* peak, HWND hWndStatus) {
  std::rewind(ip);
  FileReader in(ip);
  const WavOptions options{outbuff ? buffersize : 0, false, *peak};
  const WavParse wav = ParseWav(in, options);
  std::copy(wav.codes.begin(), wav.codes.end(), outbuff);
  ShowSoundStatus(wav, options, hWndStatus);
  const int rv = ResultCode(wav.error);
  // Only an error that stops the walk leaves *peak as it was.
  if (rv == WAV_OK) *peak = wav.peak;
  return rv;
}

void LoadWavFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus) {
  LoadSoundFile(filename, lOffset, lSize, hWndStatus, ParseWav);
}
