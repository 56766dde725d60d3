#include "files/wav_read.h"

UINT AutoScale = 0;
