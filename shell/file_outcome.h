// What a file command's report does to the program: its texts shown in
// the order they arose (message boxes, part 1 of the status bar), then the
// playback rate a load's header selected taken and the playback images
// rebuilt. A changed folder is the Load File and Save File commands' to
// write to the configuration.
#pragma once

#include "files/file_report.h"
#include "platform/platform.h"

class CoreSession;

// `mainWindow` owns the boxes the report gives to the main window.
void ApplyFileReport(CoreSession& session, const FileReport& report, HWND mainWindow = nullptr);
// The same without the texts, for a caller that shows them its own way.
void TakeFileResult(CoreSession& session, const FileReport& report);
