// Sound files (WAV, AIFF) into u255 codes: the loader they share, with the
// status texts of their problems.
#pragma once

#include "files/codec/byte_reader.h"
#include "files/codec/wav_parse.h"
#include "platform/platform.h"


// Loads the file into the `lSize` bytes at imgMemory + `lOffset` with the
// audio settings in force: filled first, resampled to `sample_rate` when
// `ResampleToPlaybackRate` is set, auto-scaled when `AutoScale` is, and the
// header clean-up after. Problems go to part 1 of the status bar.
void LoadSoundFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus, SoundParser parse);
void LoadAiffFile(const char* filename, UINT lOffset, UINT lSize, HWND hWndStatus);

// Shows in part 1 of the status bar the texts the parse met, in their
// order: the note on skipped data, then the error that ended it.
void ShowSoundStatus(const WavParse& wav, const WavOptions& options, HWND hWndStatus);
