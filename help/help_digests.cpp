// GENERATED from the help files delivered with the program by
// `talverine-cli hash`: do not edit by hand. Each digest is the one
// SupportFileDigest computes (text files without their control characters,
// the first 100,000 kept bytes). Zeros are placeholders until the help
// files are written.
#include "help/validate.h"

const SUPFILE support_file[SUPPORT_FILE_COUNT] = {
    {"talverin.css", 1, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"help.htm", 1, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"menus.htm", 1, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"controls.htm", 1, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"tips.htm", 1, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"support.htm", 1, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"screen_4_1.jpg", 0, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"screen_1_2.jpg", 0, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {"screen_1_1.jpg", 0, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
};
