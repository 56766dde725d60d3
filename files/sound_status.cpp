#include "files/sound_status.h"

#include <cstring>
#include <string>

namespace {

// Four characters from a file, as text: what isn't printable shows as '?'.
std::string FourCharacters(const char* chars) {
  std::string text(chars, 4);
  for (char& c : text)
    if (c < ' ' || c > '~') c = '?';
  return text;
}

std::string FormatErrorText(const WavParse& wav) {
  const WavFormat& f = wav.format;
  if (wav.error == WavError::kUnknownFormat)
    return FormatText("Unknown audio format (%04X, %d channels)\n", f.tag, static_cast<int>(f.channels));
  if (wav.error == WavError::kUnknownCompression)
    return FormatText("Unknown audio format (%s, %d channels)", FourCharacters(f.compression).c_str(),
                      static_cast<int>(f.channels));
  if (wav.error == WavError::kUnsupportedSampleSize)
    return FormatText("Unsupported AIFF sample size (%d bits)", static_cast<int>(f.validBits));
  if (f.validBits != f.bits)
    return FormatText("Unsupported WAV frame layout (%d bits, %d valid bits, %d channels, block align %d)",
                      static_cast<int>(f.bits), static_cast<int>(f.validBits), static_cast<int>(f.channels),
                      static_cast<int>(f.blockAlign));
  return FormatText("Unsupported WAV frame layout (%d bits, %d channels, block align %d)", static_cast<int>(f.bits),
                    static_cast<int>(f.channels), static_cast<int>(f.blockAlign));
}

// The status text of the parse's error; empty when it ended normally.
std::string ErrorText(const WavParse& wav, const WavOptions& options) {
  char type[sizeof wav.riffType + 1] = {};
  std::memcpy(type, wav.riffType, sizeof wav.riffType);
  switch (wav.error) {
    case WavError::kNone: return "";
    case WavError::kNotRiff: return "Not a RIFF file";
    case WavError::kNotWave: return FormatText(" Unknown RIFF type [%s]", type);
    case WavError::kNotForm: return "Not an AIFF file";
    case WavError::kNotAiff: return FormatText("Unknown FORM type [%s]", FourCharacters(wav.riffType).c_str());
    case WavError::kUnknownFormat:
    case WavError::kUnknownCompression:
    case WavError::kUnsupportedSampleSize:
    case WavError::kUnsupportedLayout: return FormatErrorText(wav);
    case WavError::kCannotResample:
      return FormatText("%s (%u Hz to %u Hz)", ResampleErrorText(wav.resampleResult), wav.format.sampleRate,
                        options.resampleTo);
    case WavError::kShortRiffHeader:
    case WavError::kShortFormat:
    case WavError::kShortBits:
    case WavError::kShortData: break;
  }
  return "Unexpected end of input";
}

}  // namespace

void ReportSoundParse(const WavParse& wav, const WavOptions& options, FileReport& report) {
  if (wav.dataBeforeFormat) report.Status(" No header detected before data!");
  const std::string text = ErrorText(wav, options);
  if (!text.empty()) report.Status(text);
  if (wav.error != WavError::kNone) {
    report.Fail(FileError::kSound);
    report.soundError = wav.error;
  }
}
