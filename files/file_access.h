// File access shared by the loaders and writers: opening input, writing a
// whole output file without ever destroying the user's old one, and the
// messages for both.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Opens `path` for binary reading; nullptr when it can't be opened or is
// not a plain file (a folder would open and then fail to read, a FIFO would
// wait for a writer).
FILE* OpenInputFile(const std::string& path);

// Starts loading `filename` into the image section at `lOffset`: checks the
// section, opens the file (showing `openFailFormat`, whose %s gets the path,
// when it can't be opened) and fills the section with the fill byte. nullptr
// when any step failed; the image is then untouched.
FILE* BeginSectionLoad(const char* filename, unsigned lOffset, unsigned lSize, const char* openFailFormat);
// Closes a load's file, telling the user when reading it failed.
void EndSectionLoad(FILE* fp, const char* filename);

// Writes `size` bytes as the file `path`. A regular file (or a new one) is
// written to a temporary sibling that replaces the target only once every
// byte is on disk; a device or FIFO is written directly. When the file can't
// be opened, `openFailFormat` (one %s for the path) is shown; a failure after
// that shows "Unable to write output file %s" and removes the temporary file.
// True when the file was written.
bool WriteWholeFile(const std::string& path, const void* data, size_t size, const char* openFailFormat);

// Suffix of the temporary sibling that WriteWholeFile writes first.
extern const char kPartialSuffix[];

// A message box without owner and with the default caption.
void ShowFileMessage(const std::string& text);
// The same, showing `format` with `path` in its one %s.
void ShowFileMessage(const char* format, const std::string& path);

#if defined(__GNUC__)
#define TV_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TV_PRINTF_FORMAT(f, a)
#endif

// `format` (printf style) formatted into a string of any length.
std::string FormatText(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
