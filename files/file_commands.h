// The Load File and Save File commands: the file dialogs, the Choose Sound
// question, the load or save itself and the folders remembered for the next
// dialog. What they have to tell comes back in their report.
#pragma once

#include <string>

#include "files/file_report.h"
#include "platform/platform.h"

struct FileSettings;
struct ImageModel;

// The filter list of both file dialogs; index 1 binary, 2 WAV, 3 HEX,
// 4 all files.
constexpr int FILE_FILTER_COUNT = 4;
extern const FileFilter file_filter[FILE_FILTER_COUNT];
// The open dialog offers AIFF files after those, as index 5, so that the
// four keep the indexes DefaultFileFormat and the dialogs count on.
extern const FileFilter aiff_file_filter;
// Extensions by DefaultFileFormat.
extern const char* const file_extension[3];

// `hWnd` owns the dialogs; a cancelled dialog reports nothing. The folders
// chosen are remembered in `settings`.
FileReport tvOpenFile(HWND hWnd, ImageModel& image, FileSettings& settings);
FileReport tvSaveFile(HWND hWnd, ImageModel& image, FileSettings& settings);

// The extension ("bin", "wav", "hex") for a default file format; "bin" for
// a value outside the table.
const char* DefaultExtension(UINT format);
// The file dialogs' filter index for a default file format; 1 (binary) for
// a value outside the table.
DWORD DefaultFilterIndex(UINT format);
// The folder holding `path`, as the file dialogs should start in it next
// time; a name without folder is in the platform's current folder.
std::string FolderOfPath(const std::string& path);
