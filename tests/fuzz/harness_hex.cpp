// The Intel HEX loader over any text, into any section; then the section
// saved as HEX and loaded back must come out unchanged.
//
// Input: flags (bit 0 a whole-image section, bit 1 a section reaching past
// the image, bit 2 AutoDetectSampleRate, bit 3 AutoCleanup), the section
// size (16 bits), its position (256-byte steps), the fill byte; then the file.
#include <algorithm>
#include <cstring>
#include <string>

#include "files/fileio.h"
#include "files/hexfile.h"
#include "files/wav_write.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Every line SaveHexFile writes: a data record of at most 16 bytes or the
// end record, upper-case digits, CR LF.
bool WellFormedHexText(const std::vector<uint8_t>& text) {
  const std::string s(text.begin(), text.end());
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t end = s.find("\r\n", pos);
    if (end == std::string::npos) return false;
    const std::string line = s.substr(pos, end - pos);
    if (line.size() < 11 || line.size() > 11 + 32 || line[0] != ':' || (line.size() - 11) % 2) return false;
    for (size_t i = 1; i < line.size(); ++i)
      if (!IsUpperHex(line[i])) return false;
    pos = end + 2;
  }
  return s.size() >= 13 && s.compare(s.size() - 13, 13, ":00000001FF\r\n") == 0;
}

}  // namespace

int FuzzHexLoader(const uint8_t* data, size_t size) {
  fuzz::FuzzPlatform& p = fuzz::Core();
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t sizeField = in.Le16();
  const uint8_t position = in.Byte();
  const uint8_t fill = in.Byte();

  TheImageModel() = ImageModel{};
  TheFileSettings() = FileSettings{};
  AutoDetectSampleRate = (flags >> 2) & 1;
  AutoCleanup = (flags >> 3) & 1;
  cMemoryFillValue = fill;
  const fuzz::Section section = fuzz::ChooseSection(sizeField, position, (flags & 1) != 0, (flags & 2) != 0);
  const UINT lOffset = section.offset;
  const UINT lSize = section.size;

  p.ForgetEffects();
  p.RemoveAllFiles();
  p.SetFile("in.hex", in.Rest(), in.RestSize());
  const uint8_t* before = fuzz::MarkImage(flags ^ fill);
  LoadHexFile("in.hex", lOffset, lSize);

  if (section.outside) {
    FUZZ_CHECK(fuzz::RefusedAsOutside(p, before));
    return 0;
  }
  FUZZ_CHECK(fuzz::OutsideUnchanged(before, lOffset, lSize));
  FUZZ_CHECK(sample_rate == 24000 || (AutoDetectSampleRate && lOffset == 0));
  FUZZ_CHECK(p.messageBoxes.size() <= 1);
  for (const auto& box : p.messageBoxes)
    FUZZ_CHECK(StartsWith(box.text, "CRC error at line ") || StartsWith(box.text, "Record too short at line "));

  // Whatever was loaded, the writer's file reads back to the same section.
  // Writing is the slow half; sections past 4 KB only repeat its records.
  if (lSize > 4096) return 0;
  const std::vector<uint8_t> loaded(imgMemory + lOffset, imgMemory + lOffset + lSize);
  p.ForgetEffects();
  SaveHexFile("out.hex", lOffset, lSize);
  const std::vector<uint8_t>* saved = p.File("out.hex");
  FUZZ_CHECK(saved != nullptr && p.messageBoxes.empty());
  FUZZ_CHECK(WellFormedHexText(*saved));
  AutoDetectSampleRate = 0;
  AutoCleanup = 0;
  cMemoryFillValue = static_cast<uint8_t>(~fill);
  LoadHexFile("out.hex", lOffset, lSize);
  FUZZ_CHECK(p.messageBoxes.empty());
  FUZZ_CHECK(std::equal(loaded.begin(), loaded.end(), imgMemory + lOffset));
  FUZZ_CHECK(fuzz::OutsideUnchanged(before, lOffset, lSize));
  return 0;
}
