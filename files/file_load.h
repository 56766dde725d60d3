// Loading a file into a section of the image: the loader of each kind and
// the dispatcher that picks one (Load File, a drop, talverine-cli convert).
// Each loader checks the section, fills it with the fill byte, never writes
// beyond it, and ends with the header fix-ups, with the file settings in
// force; what it has to tell comes back in its report.
#pragma once

#include "files/codec/sound_parse.h"
#include "files/file_report.h"
#include "platform/platform.h"

struct FileSettings;
struct ImageModel;

// Loads `filename` into section `fNum`, at offset `fNum` * `iSize`, filling
// at most `bufferSize` bytes; the section keeps the file's name even when
// the load fails. The kind comes from the extension, or for a name without
// one from the content.
FileReport tvOpenFileName(ImageModel& image, const FileSettings& settings, const char* filename, BYTE fNum, int iSize,
                          int bufferSize);

FileReport LoadBinaryFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                          UINT lSize);
FileReport LoadHexFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                       UINT lSize);
// Sound files into u255 codes with the audio settings in force: resampled
// to `sample_rate` when `ResampleToPlaybackRate` is set, auto-scaled when
// `AutoScale` is. Their problems are status texts.
FileReport LoadWavFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                       UINT lSize);
FileReport LoadAiffFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                        UINT lSize);
