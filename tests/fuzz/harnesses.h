// The fuzz harnesses: each takes one input of any bytes and checks the
// invariants of the code it drives. fuzz_entry.cpp turns one of them into a
// libFuzzer target; replay_main.cpp runs the committed corpora through them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/codec/sound_parse.h"

int FuzzWavLoader(const uint8_t* data, size_t size);
int FuzzAiffLoader(const uint8_t* data, size_t size);
int FuzzHexLoader(const uint8_t* data, size_t size);
int FuzzConfigReader(const uint8_t* data, size_t size);
int FuzzFileKind(const uint8_t* data, size_t size);
int FuzzDeviceReply(const uint8_t* data, size_t size);
int FuzzMidiFramer(const uint8_t* data, size_t size);

// The checks both sound file harnesses make, with their parser.
int FuzzSoundFile(SoundParser parse, const uint8_t* data, size_t size);

struct FuzzHarness {
  const char* name;  // also the folder of its corpus under tests/fuzz/corpus
  int (*run)(const uint8_t* data, size_t size);
};

inline constexpr FuzzHarness kFuzzHarnesses[] = {
    {"wav", FuzzWavLoader},      {"aiff", FuzzAiffLoader},   {"hex", FuzzHexLoader},
    {"config", FuzzConfigReader}, {"file_kind", FuzzFileKind}, {"reply", FuzzDeviceReply},
    {"framer", FuzzMidiFramer},
};
