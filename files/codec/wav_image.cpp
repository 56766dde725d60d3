#include "files/codec/wav_image.h"

#include <array>
#include <cstring>

#include "files/codec/u255.h"

namespace {

constexpr int32_t kDecodeScale = 32767;
constexpr uint32_t kBytesPerSample = 2;

uint8_t* PutBytes(uint8_t* out, const char* text) {
  std::memcpy(out, text, 4);
  return out + 4;
}

uint8_t* Put16(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  return out + 2;
}

uint8_t* Put32(uint8_t* out, uint32_t v) {
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

}  // namespace

bool BuildWavImage(const uint8_t* codes, size_t samples, uint32_t rate, uint8_t* out, size_t capacity) {
  // The sizes in the header are 32-bit.
  if (samples > (UINT32_MAX - WAV_HEADER_SIZE) / kBytesPerSample || capacity < WavImageSize(samples)) return false;
  const uint32_t dataBytes = static_cast<uint32_t>(samples) * kBytesPerSample;
  out = PutBytes(out, "RIFF");
  out = Put32(out, 36 + dataBytes);
  out = PutBytes(out, "WAVE");
  out = PutBytes(out, "fmt ");
  out = Put32(out, 16);
  out = Put16(out, 1);  // PCM
  out = Put16(out, 1);  // mono
  out = Put32(out, rate);
  out = Put32(out, rate * kBytesPerSample);
  out = Put16(out, kBytesPerSample);  // block align
  out = Put16(out, 16);               // bits per sample
  out = PutBytes(out, "data");
  out = Put32(out, dataBytes);
  const auto& decode = DecodeTable();
  for (size_t i = 0; i < samples; ++i) out = Put16(out, static_cast<uint16_t>(decode[codes[i]]));
  return true;
}

std::vector<uint8_t> WavImage(const uint8_t* codes, size_t samples, uint32_t rate) {
  std::vector<uint8_t> image(WavImageSize(samples));
  BuildWavImage(codes, samples, rate, image.data(), image.size());
  return image;
}
