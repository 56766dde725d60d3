#include "files/file_settings.h"

namespace {
FileSettings g_settings;
}

FileSettings& TheFileSettings() { return g_settings; }

UINT& DefaultFileFormat = g_settings.DefaultFileFormat;
std::string& RecentLoadPath = g_settings.RecentLoadPath;
std::string& RecentSavePath = g_settings.RecentSavePath;
UINT& AutoDetectSampleRate = g_settings.AutoDetectSampleRate;
UINT& AutoCleanup = g_settings.AutoCleanup;
UINT& AutoScale = g_settings.AutoScale;
UINT& sample_rate = g_settings.sample_rate;
UINT& ResampleToPlaybackRate = g_settings.ResampleToPlaybackRate;
