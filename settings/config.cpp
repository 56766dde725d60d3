#include "settings/config.h"

UINT cMidiInDevice = 0;
UINT cMidiOutDevice = 0;

void ConfigInit() {
  cMidiInDevice = 0;
  cMidiOutDevice = 0;
}
