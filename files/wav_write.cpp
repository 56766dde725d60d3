#include "files/wav_write.h"

UINT sample_rate = 24000;
