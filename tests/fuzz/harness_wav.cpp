// The WAV loader over any bytes, with any section and both passes.
//
// Input: flags (bit 0 AutoScale, bit 1 a whole-image section, bit 2 a
// section reaching past the image, bit 3 AutoCleanup), the section size
// (16 bits), its position (256-byte steps), the fill byte; then the file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "files/fileio.h"
#include "files/wav_read.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Every text the reader may leave in status part 1.
bool KnownStatus(const std::string& text) {
  return text.empty() || text == "Unexpected end of input" || text == "Not a RIFF file" ||
         StartsWith(text, " Unknown RIFF type [") || StartsWith(text, "Unknown audio format (") ||
         StartsWith(text, "Unsupported WAV frame layout (") || text == " No header detected before data!";
}

bool IsResultCode(int rv) { return rv == WAV_OK || (rv >= WAV_NOT_RIFF && rv <= WAV_SHORT_DATA); }

}  // namespace

int FuzzWavLoader(const uint8_t* data, size_t size) {
  fuzz::FuzzPlatform& p = fuzz::Core();
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t sizeField = in.Le16();
  const uint8_t position = in.Byte();
  const uint8_t fill = in.Byte();

  TheImageModel() = ImageModel{};
  TheFileSettings() = FileSettings{};
  AutoScale = flags & 1;
  AutoCleanup = (flags >> 3) & 1;
  cMemoryFillValue = fill;
  const fuzz::Section section = fuzz::ChooseSection(sizeField, position, (flags & 2) != 0, (flags & 4) != 0);
  const UINT lOffset = section.offset;
  const UINT lSize = section.size;

  p.ForgetEffects();
  p.SetFile("in.wav", in.Rest(), in.RestSize());
  const uint8_t* before = fuzz::MarkImage(flags ^ fill);
  LoadWavFile("in.wav", lOffset, lSize, hWndStatus);

  if (section.outside) {
    FUZZ_CHECK(fuzz::RefusedAsOutside(p, before));
    return 0;
  }
  FUZZ_CHECK(fuzz::OutsideUnchanged(before, lOffset, lSize));
  FUZZ_CHECK(p.messageBoxes.empty());
  FUZZ_CHECK(KnownStatus(p.StatusText(1)));

  // The converter alone, into an output of exactly the section's size (an
  // access past it is caught by the address sanitizer), must give what the
  // loader stored when a single pass ran and no clean-up touched the start.
  std::unique_ptr<BYTE[]> out(new BYTE[lSize ? lSize : 1]);
  std::fill(out.get(), out.get() + lSize, fill);
  FILE* fp = p.OpenFile("in.wav", "rb");
  FUZZ_CHECK(fp != nullptr);
  int32_t peak = WAV_FULL_SCALE;
  const int rv = ConvertWavToDMX(fp, out.get(), lSize, &peak, hWndStatus);
  // A second call on the same stream rewinds it and returns the same.
  int32_t again = WAV_FULL_SCALE;
  FUZZ_CHECK(ConvertWavToDMX(fp, out.get(), lSize, &again, hWndStatus) == rv && again == peak);
  std::fclose(fp);
  FUZZ_CHECK(IsResultCode(rv));
  FUZZ_CHECK(peak >= 0);
  const bool cleanupMayRun = AutoCleanup && fill == 0 && lOffset == 0 && lSize >= 2;
  if (!AutoScale && !cleanupMayRun) FUZZ_CHECK(std::equal(out.get(), out.get() + lSize, imgMemory + lOffset));
  // A refused container leaves the whole section at the fill byte.
  if (rv == WAV_NOT_RIFF || rv == WAV_NOT_WAVE)
    for (UINT i = 0; i < lSize; ++i) FUZZ_CHECK(imgMemory[lOffset + i] == fill);
  return 0;
}
