#include "files/wav_read.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "files/byte_reader.h"
#include "files/file_access.h"
#include "files/fileio.h"
#include "shell/image_model.h"

namespace {

void SetStatus(HWND hWndStatus, const char* text) { plat::StatusSetText(hWndStatus, 1, text); }

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
  }
  return WAV_OK;
}

// The status text of the parse's error; empty when it ended normally.
std::string ErrorText(const WavParse& wav) {
  const WavFormat& f = wav.format;
  switch (wav.error) {
    case WavError::kNone: return "";
    case WavError::kNotRiff: return "Not a RIFF file";
    case WavError::kNotWave: {
      char type[sizeof wav.riffType + 1] = {};
      std::memcpy(type, wav.riffType, sizeof wav.riffType);
      return FormatText(" Unknown RIFF type [%s]", type);
    }
    case WavError::kUnknownFormat:
      return FormatText("Unknown audio format (%04X, %d channels)\n", f.tag, static_cast<int>(f.channels));
    case WavError::kUnsupportedLayout:
      return FormatText("Unsupported WAV frame layout (%d bits, %d channels, block align %d)",
                        static_cast<int>(f.bits), static_cast<int>(f.channels), static_cast<int>(f.blockAlign));
    case WavError::kShortRiffHeader:
    case WavError::kShortFormat:
    case WavError::kShortBits:
    case WavError::kShortData: break;
  }
  return "Unexpected end of input";
}

// The texts the walk met, in their order: the note on skipped data, then
// the error that ended it.
void ShowStatus(const WavParse& wav, HWND hWndStatus) {
  if (wav.dataBeforeFormat) SetStatus(hWndStatus, " No header detected before data!");
  const std::string text = ErrorText(wav);
  if (!text.empty()) SetStatus(hWndStatus, text.c_str());
}

}  // namespace

int ConvertWavToDMX(FILE* ip, BYTE* outbuff, UINT buffersize, int32_t* peak, HWND hWndStatus) {
  std::rewind(ip);
  FileReader in(ip);
  const WavParse wav = ParseWav(in, {outbuff ? buffersize : 0, false, *peak});
  std::copy(wav.codes.begin(), wav.codes.end(), outbuff);
  ShowStatus(wav, hWndStatus);
  const int rv = ResultCode(wav.error);
  // Only an error that stops the walk leaves *peak as it was.
  if (rv == WAV_OK) *peak = wav.peak;
  return rv;
}

void LoadWavFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus) {
  // The WAV reader's message names no file.
  FILE* ip = BeginSectionLoad(filename, lOffset, lSize, "Unable to open input file");
  if (ip == nullptr) return;
  FileReader in(ip);
  const WavParse wav = ParseWav(in, {lSize, AutoScale != 0, WAV_FULL_SCALE});
  std::copy(wav.codes.begin(), wav.codes.end(), imgMemory + lOffset);
  ShowStatus(wav, hWndStatus);
  // A read error ends the chunk walk as the end of the file would: say so,
  // as the other loaders do, rather than leave a silently shortened sound.
  EndSectionLoad(ip, filename);
  ApplyLoadFixups(lOffset, lSize, false);
}
