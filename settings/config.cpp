// The configuration file. Every setting belongs to the part of the session
// that uses it; this file knows the keys, their order, the defaults and the
// checks.
#include "settings/config.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/file_settings.h"
#include "resources/app_names.h"
#include "shell/image_model.h"

namespace {
ConfigState g_config;
}

ConfigState& TheConfigState() { return g_config; }

namespace {

constexpr int kPathMax = 260;
// The Audio Options dialog's range; a rate of 0 would write broken WAV headers.
constexpr UINT kMinSampleRate = 1200;
constexpr UINT kMaxSampleRate = 96000;

// The keys in the order a line is offered to them: the first one found in
// the line with an '=' after it takes the line.
enum ConfigKey {
  kMidiOut, kMidiIn, kEpromType, kArrangement, kFileFormat, kFillValue,
  kSampleRate, kAutoScale, kAutoDetect, kAutoCleanup, kResample,
  kLoadPath, kSavePath, kInPortName, kOutPortName,
  kKeyCount
};
constexpr int kNumberKeys = kLoadPath;
// A key added later neither contains an older key's name nor occurs in
// one, so that older programs, which find keys as parts of lines, ignore
// its line, and its line is offered to no other key. Hence "InPortName"
// and "OutPortName" rather than names built on "MIDI_in_device": neither
// holds another key, nor the other port's key.
constexpr const char* kKeyName[kKeyCount] = {
    "MIDI_out_device", "MIDI_in_device", "EPROM_type", "EPROM_Arrangement", "DefaultFileFormat",
    "cMemoryFillValue", "sample_rate", "AutoScale", "AutoDetectSampleRate", "AutoCleanup",
    "ResampleToPlaybackRate", "RecentLoadPath", "RecentSavePath", "InPortName", "OutPortName"};
// The order of the lines in the file; keys added later come last.
constexpr ConfigKey kSaveOrder[kKeyCount] = {
    kMidiIn, kMidiOut, kEpromType, kArrangement, kFillValue, kSampleRate,
    kAutoScale, kAutoDetect, kAutoCleanup, kFileFormat, kLoadPath, kSavePath,
    kResample, kInPortName, kOutPortName};

// Where each numeric key's value lives. Type and arrangement go through
// plain numbers so that out-of-range values can be checked before use.
struct NumberSettings {
  UINT* at[kNumberKeys];
};

NumberSettings NumberTargets(FileSettings& files, UINT* fill, UINT* type, UINT* arrangement) {
  return {{&g_config.cMidiOutDevice, &g_config.cMidiInDevice, type, arrangement, &files.DefaultFileFormat, fill, &files.sample_rate,
           &files.AutoScale, &files.AutoDetectSampleRate, &files.AutoCleanup, &files.ResampleToPlaybackRate}};
}

// Where each text key's value lives.
std::string& TextSetting(FileSettings& files, int key) {
  switch (key) {
    case kLoadPath: return files.RecentLoadPath;
    case kSavePath: return files.RecentSavePath;
    case kInPortName: return g_config.midiInName;
    default: return g_config.midiOutName;
  }
}

// How many characters a text key's value takes: a port name no more than
// the ports give.
int TextLimit(int key) {
  return key == kInPortName || key == kOutPortName ? static_cast<int>(MAX_MIDI_PORT_NAME) : kPathMax;
}

std::string ConfigPath(const char* configfile) {
  const std::string dir = plat::GetConfigDirectory();
  return dir.empty() ? std::string(configfile) : dir + "/" + configfile;
}

// The '=' after the first occurrence of `str` in `line`, or nullptr.
const char* FindAssignment(const char* line, const char* str) {
  const char* key = std::strstr(line, str);
  return key ? std::strchr(key + std::strlen(str), '=') : nullptr;
}

int FirstMatchingKey(const char* line) {
  for (int key = 0; key < kKeyCount; ++key)
    if (FindAssignment(line, kKeyName[key])) return key;
  return -1;
}

// File names are UTF-8 here, so only ASCII control characters and space
// count as blanks; bytes from 0x80 up are text.
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

const char* SkipLeadingBlanks(const char* text) {
  while (*text != '\0' && IsBlankOrControl(*text)) ++text;
  return text;
}

bool EndsValue(char c) { return static_cast<unsigned char>(c) < ' ' || c == '"' || c == '\''; }

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A decimal number as "%d" reads it: blanks, an optional sign, digits.
// Anything from -2^31 to 2^32 - 1 is taken (-1 and 4294967295 both give all
// bits set); anything else is not a number.
bool ParseNumber(const char* text, UINT* value) {
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  if (*text < '0' || *text > '9') return false;
  uint64_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(*text - '0');
    if (magnitude > UINT32_MAX) return false;
  }
  if (negative && magnitude > 0x80000000u) return false;
  *value = static_cast<UINT>(negative ? 0 - magnitude : magnitude);
  return true;
}

void ApplyLine(const char* line, const NumberSettings& numbers, FileSettings& files) {
  const int key = FirstMatchingKey(line);
  if (key < 0) return;
  if (key < kNumberKeys) {
    ReadUInt(line, kKeyName[key], numbers.at[key]);
    return;
  }
  char value[kPathMax + 1];
  ReadString(value, line, kKeyName[key], TextLimit(key));
  TextSetting(files, key) = value;
}

// A hand-edited file may pair a type with more EPROMs than the 64 KB image
// holds; reduce the arrangement as the EPROM dialog's size limits would.
void KeepImageWithinBuffer(ImageModel& image) {
  const UINT sizeK = EPROM_info[image.EPROM_type].etSizeK;
  eaEnum& arrangement = image.EPROM_Arrangement;
  if (arrangement == eaFourEpromsOneSound && sizeK > 16)
    arrangement = sizeK <= 32 ? eaTwoEpromsOneSound : eaOneEpromOneSound;
  if (arrangement == eaTwoEpromsOneSound && sizeK > 32) arrangement = eaOneEpromOneSound;
}

// True when LoadConfig will read `key = value` back exactly: the line fits,
// no other key claims it, and nothing in the value ends it early. Anything
// else would be cut into another folder's or port's name.
bool ReadsBackUnchanged(int key, const std::string& value) {
  if (value.find('\0') != std::string::npos) return false;
  char line[CONFIG_LINE_MAX + 2];
  const int length = std::snprintf(line, sizeof line, "%s = %s", kKeyName[key], value.c_str());
  if (length < 0 || length > CONFIG_LINE_MAX) return false;
  if (FirstMatchingKey(line) != key) return false;
  char readBack[kPathMax + 1];
  ReadString(readBack, line, kKeyName[key], TextLimit(key));
  return value == readBack;
}

// NumberTargets points into what it is given: the values are written from
// copies.
bool WriteSettings(FILE* fp, const ImageModel& image, FileSettings files) {
  UINT fill = image.cMemoryFillValue, type = image.EPROM_type, arrangement = image.EPROM_Arrangement;
  const NumberSettings numbers = NumberTargets(files, &fill, &type, &arrangement);
  if (std::fprintf(fp, "# Configuration file for %s\n\n", szAppName) < 0) return false;
  for (ConfigKey key : kSaveOrder) {
    int written;
    if (key < kNumberKeys) {
      written = std::fprintf(fp, "%s = %d\n", kKeyName[key], static_cast<int>(*numbers.at[key]));
    } else {
      const std::string& text = TextSetting(files, key);
      written = std::fprintf(fp, "%s = %s\n", kKeyName[key], ReadsBackUnchanged(key, text) ? text.c_str() : "");
    }
    if (written < 0) return false;
  }
  return true;
}

void TraceSaveFailure(const char* what, const std::string& path) {
  plat::DebugTrace(("\r\nSaveConfig: " + std::string(what) + " " + path).c_str());
}

}  // namespace

int ReadUInt(const char* line, const char* str, UINT* var) {
  const char* assignment = FindAssignment(line, str);
  if (assignment == nullptr) return 0;
  UINT value;
  if (ParseNumber(assignment + 1, &value)) *var = value;
  return 1;
}

int ReadString(char* var, const char* line, const char* str, int maxlen) {
  const char* text = FindAssignment(line, str);
  if (text == nullptr) return 0;
  ++text;
  while (*text == ' ' || *text == '\t' || *text == '"' || *text == '\'') ++text;
  int copied = 0;
  for (; copied < maxlen && !EndsValue(text[copied]); ++copied) var[copied] = text[copied];
  var[copied] = '\0';
  return 1;
}

int LoadConfig(const char* configfile, ImageModel& image, FileSettings& files) {
  g_config.cMidiInDevice = 0;
  g_config.cMidiOutDevice = 0;
  g_config.midiInName.clear();
  g_config.midiOutName.clear();
  image.cMemoryFillValue = 0;
  UINT type = et2764, arrangement = eaOneEpromOneSound;
  const NumberSettings numbers = NumberTargets(files, &image.cMemoryFillValue, &type, &arrangement);

  if (FILE* fp = plat::OpenFile(ConfigPath(configfile), "r")) {
    char line[CONFIG_LINE_MAX + 1];
    while (std::fgets(line, sizeof line, fp)) {
      const char* text = SkipLeadingBlanks(line);
      if (*text != '\0' && *text != '#') ApplyLine(text, numbers, files);
    }
    std::fclose(fp);
  }

  image.EPROM_type = type < etINVALID ? static_cast<etEnum>(type) : et2764;
  image.EPROM_Arrangement = arrangement < eaINVALID ? static_cast<eaEnum>(arrangement) : eaOneEpromOneSound;
  KeepImageWithinBuffer(image);
  files.sample_rate = std::clamp(files.sample_rate, kMinSampleRate, kMaxSampleRate);
  return 1;
}

void SaveConfig(const char* configfile, const ImageModel& image, const FileSettings& files) {
  // Written beside the file and renamed over it only when complete, so a
  // crash or a full disk never leaves a cut-off configuration.
  const std::string path = ConfigPath(configfile);
  const std::string temp = path + CONFIG_TEMP_SUFFIX;
  FILE* fp = plat::OpenFile(temp, "w");
  if (fp == nullptr) {
    TraceSaveFailure("cannot create", temp);
    return;
  }
  bool ok = WriteSettings(fp, image, files);
  ok = std::fflush(fp) == 0 && ok;
  ok = !std::ferror(fp) && ok;
  ok = std::fclose(fp) == 0 && ok;
  if (ok && plat::ReplaceFile(temp, path)) return;
  plat::RemoveFile(temp);
  TraceSaveFailure("cannot write", path);
}
