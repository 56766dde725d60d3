// Saving a section of the image as a file of each kind; the old file stays
// whole until the new one is complete. What a writer has to tell comes back
// in its report.
#pragma once

#include "files/file_report.h"
#include "platform/platform.h"

struct FileSettings;
struct ImageModel;

FileReport SaveBinaryFile(const ImageModel& image, const char* filename, UINT lOffset, UINT lSize);
// 16-byte data records and the end-of-file record, CR LF line ends.
FileReport SaveHexFile(const ImageModel& image, const char* filename, UINT lOffset, UINT lSize);
// 16-bit mono PCM at the playback rate `sample_rate`.
FileReport SaveWavFile(const ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                       UINT lSize);
// The writer of `kind`: FILE_KIND_HEX, FILE_KIND_WAV, binary for any other.
FileReport SaveFileOfKind(const ImageModel& image, const FileSettings& settings, int kind, const char* filename,
                          UINT lOffset, UINT lSize);
