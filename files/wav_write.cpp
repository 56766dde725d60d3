#include "files/wav_write.h"

#include <array>
#include <cstring>
#include <vector>

#include "files/file_access.h"
#include "files/fileio.h"
#include "files/codec/u255.h"
#include "shell/image_model.h"


namespace {

constexpr int32_t kDecodeScale = 32767;
constexpr UINT kBytesPerSample = 2;

BYTE* PutBytes(BYTE* out, const char* text) {
  std::memcpy(out, text, 4);
  return out + 4;
}

BYTE* Put16(BYTE* out, uint32_t v) {
  out[0] = static_cast<BYTE>(v);
  out[1] = static_cast<BYTE>(v >> 8);
  return out + 2;
}

BYTE* Put32(BYTE* out, uint32_t v) {
  out = Put16(out, v & 0xFFFF);
  return Put16(out, v >> 16);
}

// The decoder at the fixed WAV scale, one entry per code: the same values
// as evaluating the curve per sample.
const std::array<int16_t, 256>& DecodeTable() {
  static const std::array<int16_t, 256> table = [] {
    std::array<int16_t, 256> t{};
    for (int code = 0; code < 256; ++code) t[code] = static_cast<int16_t>(u255lawToLinear(code, kDecodeScale));
    return t;
  }();
  return table;
}

// Writes the complete WAV image of `n` codes (44 + 2n bytes) at `out`.
void BuildWavImage(const BYTE* codes, UINT n, BYTE* out) {
  const uint32_t dataBytes = n * kBytesPerSample;
  out = PutBytes(out, "RIFF");
  out = Put32(out, 36 + dataBytes);
  out = PutBytes(out, "WAVE");
  out = PutBytes(out, "fmt ");
  out = Put32(out, 16);
  out = Put16(out, 1);                              // PCM
  out = Put16(out, 1);                              // mono
  out = Put32(out, sample_rate);
  out = Put32(out, sample_rate * kBytesPerSample);
  out = Put16(out, kBytesPerSample);                // block align
  out = Put16(out, 16);                             // bits per sample
  out = PutBytes(out, "data");
  out = Put32(out, dataBytes);
  const auto& decode = DecodeTable();
  for (UINT i = 0; i < n; ++i) out = Put16(out, static_cast<uint16_t>(decode[codes[i]]));
}

}  // namespace

int ConvertDMXtoWAV(const BYTE* inbuffer, UINT number_of_samples, char* output_ptr) {
  if (output_ptr == nullptr) {
    plat::MessageBox(nullptr, "Bad output buffer pointer", nullptr, MB_OK);
    return WAVOUT_NO_OUTPUT;
  }
  // Memory-mode buffers are sized for the largest sound; nothing longer is
  // ever written into one.
  if (number_of_samples > WAV_MAX_SAMPLES) return WAVOUT_TOO_LONG;
  if (inbuffer == nullptr && number_of_samples > 0) return WAVOUT_NO_OUTPUT;
  if (output_ptr[0] == '\0') {
    BuildWavImage(inbuffer, number_of_samples, reinterpret_cast<BYTE*>(output_ptr));
    return WAVOUT_OK;
  }
  std::vector<BYTE> image(WAV_HEADER_SIZE + kBytesPerSample * number_of_samples);
  BuildWavImage(inbuffer, number_of_samples, image.data());
  const bool written = WriteWholeFile(output_ptr, image.data(), image.size(), "Unable to open WAV output file: %s");
  return written ? WAVOUT_OK : WAVOUT_OPEN_FAILED;
}

void SaveWavFile(const char* filename, UINT lOffset, UINT lSize) {
  if (!CheckImageSection(lOffset, lSize)) return;
  // An empty name would select the converter's memory mode.
  if (filename == nullptr || filename[0] == '\0') {
    ShowFileMessage("Unable to open WAV output file: %s", "");
    return;
  }
  std::string path = filename;
  ConvertDMXtoWAV(imgMemory + lOffset, lSize, path.data());
}
