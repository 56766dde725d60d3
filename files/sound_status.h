// The status texts of a sound file's parse (WAV, AIFF): the note on data
// skipped, then the error that ended it.
#pragma once

#include "files/codec/sound_parse.h"
#include "files/file_report.h"

// Adds the parse's texts, for part 1 of the status bar, to the report, and
// its error, if any.
void ReportSoundParse(const WavParse& wav, const WavOptions& options, FileReport& report);
