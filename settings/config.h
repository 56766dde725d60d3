// The configuration file: the settings as key = value lines, kept in the
// platform's configuration folder.
#pragma once

#include <string>

#include "platform/platform.h"

struct FileSettings;
struct ImageModel;

// The settings this module keeps itself: the MIDI ports chosen, by number
// and by name. The platforms renumber ports when an interface is unplugged
// or moved, so the name chooses; the number serves files from before names
// were kept (the name is empty then).
struct ConfigState {
  UINT cMidiInDevice = 0;
  UINT cMidiOutDevice = 0;
  std::string midiInName;
  std::string midiOutName;
};

// The program's one configuration state; a new run starts from a new one.
ConfigState& TheConfigState();

// A line holds at most this many characters; a longer one is read in pieces.
constexpr int CONFIG_LINE_MAX = 255;
// SaveConfig writes "<name><CONFIG_TEMP_SUFFIX>" beside the file and renames
// it over the file once it is complete.
constexpr char CONFIG_TEMP_SUFFIX[] = ".tmp";

// Reads every setting from the file into the image model, the file
// settings and the ports chosen; always 1.
int LoadConfig(const char* configfile, ImageModel& image, FileSettings& files);
// Writes every setting; on failure the old file stays as it was.
void SaveConfig(const char* configfile, const ImageModel& image, const FileSettings& files);
// 1 when `str` and an '=' after it stand in `line`; a number there is stored
// in `*var`, anything else leaves `*var` as it was.
int ReadUInt(const char* line, const char* str, UINT* var);
// 1 when `str` and an '=' after it stand in `line`; the value, without
// surrounding quotes, is copied into `var` (at most `maxlen` characters and a
// terminator, so `var` holds maxlen + 1).
int ReadString(char* var, const char* line, const char* str, int maxlen);

