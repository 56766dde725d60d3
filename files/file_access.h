// File access shared by the loaders and writers: opening input, writing a
// whole output file without ever destroying the user's old one, and the
// texts of their failures, added to the command's report.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "files/file_report.h"
#include "platform/platform.h"

struct ImageModel;

// Opens `path` for binary reading; nullptr when it can't be opened or is
// not a plain file (a folder would open and then fail to read, a FIFO would
// wait for a writer).
FILE* OpenInputFile(const std::string& path);

// True when the section lies within the image and the image exists;
// otherwise the report says why.
bool CheckSection(const ImageModel& image, UINT lOffset, UINT lSize, FileReport& report);

// Starts loading `filename` into the image section at `lOffset`: checks the
// section, opens the file (reporting `openFailFormat`, whose %s gets the
// path, when it can't be opened) and fills the section with the fill byte.
// nullptr when any step failed; the image is then untouched.
FILE* BeginSectionLoad(ImageModel& image, const char* filename, UINT lOffset, UINT lSize,
                       const char* openFailFormat, FileReport& report);
// Closes a load's file, reporting a read that failed.
void EndSectionLoad(FILE* fp, const char* filename, FileReport& report);

// Writes `size` bytes as the file `path`. A regular file (or a new one) is
// written to a temporary sibling that replaces the target only once every
// byte is on disk; a device or FIFO is written directly. When the file can't
// be opened, `openFailFormat` (one %s for the path) is reported; a failure
// after that reports "Unable to write output file %s" and removes the
// temporary file.
void WriteWholeFile(const std::string& path, const void* data, size_t size, const char* openFailFormat,
                    FileReport& report);

// Suffix of the temporary sibling that WriteWholeFile writes first.
extern const char kPartialSuffix[];
