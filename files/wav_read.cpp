#include "files/wav_read.h"

#include <cstdlib>
#include <cstring>

#include "files/file_access.h"
#include "files/fileio.h"
#include "files/u255.h"
#include "files/wav_format.h"
#include "shell/image_model.h"

namespace {

constexpr uint16_t kFormatPcm = 1;

struct WavFormat {
  unsigned channels = 0;
  unsigned blockAlign = 0;
  unsigned bits = 0;
};

// Where the codes go; kept across data chunks.
struct CodeOutput {
  BYTE* next;
  UINT left;
};

void SetStatus(HWND hWndStatus, const char* text) { plat::StatusSetText(hWndStatus, 1, text); }

bool ReadExact(FILE* ip, void* buffer, size_t size) { return std::fread(buffer, 1, size, ip) == size; }

uint32_t Le16(const BYTE* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const BYTE* p) { return Le16(p) | (Le16(p + 2) << 16); }

bool ReadLe16(FILE* ip, uint32_t& value) {
  BYTE b[2];
  if (!ReadExact(ip, b, sizeof b)) return false;
  value = Le16(b);
  return true;
}

bool ReadLe32(FILE* ip, uint32_t& value) {
  BYTE b[4];
  if (!ReadExact(ip, b, sizeof b)) return false;
  value = Le32(b);
  return true;
}

// Reads and throws away up to `n` bytes; stops at end of file. Reading
// rather than seeking keeps a huge chunk size from pointing past the file.
void SkipBytes(FILE* ip, int64_t n) {
  BYTE scrap[4096];
  while (n > 0) {
    const size_t want = n < static_cast<int64_t>(sizeof scrap) ? static_cast<size_t>(n) : sizeof scrap;
    const size_t got = std::fread(scrap, 1, want, ip);
    n -= static_cast<int64_t>(got);
    if (got < want) return;
  }
}

bool SameChunkName(const char* name, const char* wanted) {
  for (int i = 0; i < 4; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != wanted[i]) return false;
  }
  return true;
}

// Bytes of the container one channel value is read from.
unsigned ContainerBytes(unsigned bits) {
  if (bits <= 8) return 1;
  if (bits <= 16) return 2;
  if (bits <= 24) return 3;
  return 4;
}

// The frame buffer is 64 bytes and the decoder reads every channel's
// container from it: a layout that doesn't fit is refused before any data.
bool FrameLayoutFits(const WavFormat& f) {
  if (f.bits > 32 || f.blockAlign > WAV_FRAME_BUFFER) return false;
  return f.blockAlign == 0 || f.blockAlign >= f.channels * ContainerBytes(f.bits);
}

int ReadFormatChunk(FILE* ip, uint32_t csize, WavFormat& format, HWND hWndStatus) {
  int64_t r = csize;
  uint32_t tag, channels, rate, avgBytes, blockAlign, bits;
  if (!ReadLe16(ip, tag) || !ReadLe16(ip, channels) || !ReadLe32(ip, rate) || !ReadLe32(ip, avgBytes) ||
      !ReadLe16(ip, blockAlign))
    return UnexpectedEnd(WAV_SHORT_FMT, hWndStatus);
  r -= sizeof(WAVEfmt);
  if (tag != kFormatPcm || channels < 1 || channels > 2) {
    const std::string text = FormatText("Unknown audio format (%04X, %d channels)\n", tag, static_cast<int>(channels));
    SetStatus(hWndStatus, text.c_str());
    return WAV_BAD_FORMAT;
  }
  if (!ReadLe16(ip, bits)) return UnexpectedEnd(WAV_SHORT_BITS, hWndStatus);
  r -= sizeof(PCMfmt);
  const WavFormat candidate{channels, blockAlign, bits};
  if (!FrameLayoutFits(candidate)) {
    const std::string text = FormatText("Unsupported WAV frame layout (%d bits, %d channels, block align %d)",
                                        static_cast<int>(bits), static_cast<int>(channels),
                                        static_cast<int>(blockAlign));
    SetStatus(hWndStatus, text.c_str());
    return WAV_BAD_FORMAT;
  }
  flush_chunk(ip, r);
  format = candidate;
  return WAV_OK;
}

// One channel value from its container, on the 16-bit scale.
int32_t DecodeChannel(const BYTE* p, unsigned bits, bool masked) {
  if (bits == 0) return 0;
  if (bits <= 8) {
    const int32_t half = 1 << (bits - 1);
    const int32_t raw = masked ? (p[0] & ((1 << bits) - 1)) : p[0];
    return (raw - half) * (1 << (16 - bits));
  }
  if (bits <= 16) return static_cast<int16_t>(Le16(p)) * (1 << (16 - bits));
  if (bits <= 24) {
    int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    if (v & 0x800000) v -= 0x1000000;
    return static_cast<int16_t>(v >> (bits - 16));
  }
  return static_cast<int32_t>(Le32(p)) >> (bits - 16);
}

// One frame mixed to a mono sample. Only the left value of a 1-byte
// container is masked to its width, as the format has always been read.
int32_t MixFrame(const BYTE* frame, const WavFormat& f) {
  const int32_t left = DecodeChannel(frame, f.bits, true);
  if (f.channels == 1) return left;
  const int32_t right = DecodeChannel(frame + ContainerBytes(f.bits), f.bits, false);
  return (left + right) / 2;
}

// Converts one data chunk; `newpeak` receives the chunk's peak.
int ConvertDataChunk(FILE* ip, uint32_t csize, const WavFormat& f, CodeOutput& out, int32_t max,
                     int32_t& newpeak, HWND hWndStatus) {
  newpeak = 0;
  // A size with the top bit set converts nothing; its content is skipped.
  if (csize > 0x7FFFFFFFu) {
    SkipBytes(ip, csize);
    return WAV_OK;
  }
  BYTE frame[WAV_FRAME_BUFFER];
  const int64_t bytesize = f.blockAlign ? f.blockAlign : 1;
  int64_t r = csize;
  while (r > 0 && !std::feof(ip)) {
    if (f.blockAlign == 0 || !ReadExact(ip, frame, f.blockAlign)) return UnexpectedEnd(WAV_SHORT_DATA, hWndStatus);
    r -= bytesize;
    const int32_t sample = MixFrame(frame, f);
    const int32_t magnitude = std::abs(sample);
    if (magnitude > newpeak) newpeak = magnitude;
    const int code = LinearTou255law(sample, max);
    if (out.left == 0) {
      // The section is full: the rest of the chunk is passed over.
      if (r > 0) SkipBytes(ip, r);
      r = 0;
      break;
    }
    *out.next++ = static_cast<BYTE>(code);
    --out.left;
  }
  // The pad byte after an odd-sized chunk, when the frames ended exactly
  // at the chunk's end.
  if (r == 0 && (csize & 1)) SkipBytes(ip, 1);
  return WAV_OK;
}

}  // namespace

int UnexpectedEnd(int rv, HWND hWndStatus) {
  SetStatus(hWndStatus, "Unexpected end of input");
  return rv;
}

void flush_chunk(FILE* ip, int64_t i) {
  if (i <= 0) return;
  SkipBytes(ip, i + (i & 1));
}

int ConvertWavToDMX(FILE* ip, BYTE* outbuff, UINT buffersize, int32_t* peak, HWND hWndStatus) {
  std::rewind(ip);
  const int32_t max = *peak;
  int32_t lastPeak = 0;
  bool headerDetected = false;
  WavFormat format;
  CodeOutput out{outbuff, outbuff ? buffersize : 0};

  BYTE riff[sizeof(RIFFhdr)];
  if (!ReadExact(ip, riff, sizeof riff)) {
    *peak = 0;
    return UnexpectedEnd(WAV_OK, hWndStatus);
  }
  if (std::memcmp(riff, "RIFF", 4) != 0) {
    SetStatus(hWndStatus, "Not a RIFF file");
    return WAV_NOT_RIFF;
  }
  if (std::memcmp(riff + 8, "WAVE", 4) != 0) {
    char type[5] = {};
    std::memcpy(type, riff + 8, 4);
    const std::string text = FormatText(" Unknown RIFF type [%s]", type);
    SetStatus(hWndStatus, text.c_str());
    return WAV_NOT_WAVE;
  }

  BYTE header[sizeof(CHUNKhdr)];
  while (ReadExact(ip, header, sizeof header)) {
    const char* name = reinterpret_cast<const char*>(header);
    const uint32_t csize = Le32(header + 4);
    if (SameChunkName(name, "fmt ")) {
      const int rv = ReadFormatChunk(ip, csize, format, hWndStatus);
      if (rv != WAV_OK) return rv;
      headerDetected = true;
    } else if (SameChunkName(name, "data") && !headerDetected) {
      SetStatus(hWndStatus, " No header detected before data!");
      flush_chunk(ip, csize);
    } else if (SameChunkName(name, "data")) {
      const int rv = ConvertDataChunk(ip, csize, format, out, max, lastPeak, hWndStatus);
      if (rv != WAV_OK) return rv;
    } else {
      flush_chunk(ip, csize);
    }
  }
  *peak = lastPeak;
  return WAV_OK;
}

void LoadWavFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus) {
  // The WAV reader's message names no file.
  FILE* ip = BeginSectionLoad(filename, lOffset, lSize, "Unable to open input file");
  if (ip == nullptr) return;
  BYTE* section = imgMemory + lOffset;
  int32_t peak = WAV_FULL_SCALE;
  ConvertWavToDMX(ip, section, lSize, &peak, hWndStatus);
  // A silent file measures a peak of 0: scaling to it would mean nothing,
  // so the first pass's codes stand.
  if (AutoScale && peak != 0) ConvertWavToDMX(ip, section, lSize, &peak, hWndStatus);
  // A read error ends the chunk walk as the end of the file would: say so,
  // as the other loaders do, rather than leave a silently shortened sound.
  EndSectionLoad(ip, filename);
  ApplyLoadFixups(lOffset, lSize, false);
}
