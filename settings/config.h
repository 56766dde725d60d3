// The configuration file: twelve settings as key = value lines.
#pragma once

#include "platform/platform.h"

extern UINT cMidiInDevice;
extern UINT cMidiOutDevice;

int LoadConfig(const char* configfile);
void SaveConfig(const char* configfile);
int ReadUInt(const char* line, const char* str, UINT* var);
int ReadString(char* var, const char* line, const char* str, int maxlen);

void ConfigInit();
