#!/usr/bin/env bash
# Rebuilds the seed corpora in tests/fuzz/corpus: valid files of every kind
# from independent writers (sox, srec_cat) plus what fuzz_seeds generates.
# Findings of longer fuzzing runs are added by hand (as finding-*) and kept.
#   tests/fuzz/make_seeds.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")"
build=${1:?usage: make_seeds.sh BUILD_FOLDER}
cmake --build "$build" --target fuzz_seeds
corpus=corpus
find "$corpus" -type f ! -name 'finding-*' -delete 2>/dev/null || true
"$build/tests/fuzz/fuzz_seeds" "$corpus"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# WAV: the control bytes of harness_wav.cpp (flags, 16-bit section size,
# position, fill), then a short sine from sox in every width and layout.
for bits in 8 16 24 32; do
  for channels in 1 2; do
    sox -n -r 24000 -b "$bits" -c "$channels" -t wavpcm "$scratch/s.wav" synth 24s sine 440 2>/dev/null
    { printf '\x00\x40\x00\x00\x00'; cat "$scratch/s.wav"; } > "$corpus/wav/sox-$bits-bit-$channels-ch"
  done
done
sox -n -r 24000 -b 16 -c 1 -t wavpcm "$scratch/s.wav" synth 30s sine 440 vol 0.5 2>/dev/null
{ printf '\x01\x10\x00\x00\x00'; cat "$scratch/s.wav"; } > "$corpus/wav/sox-16-bit-autoscale"
# sox's own headers: the extensible format for 24 and 32 bits and more than
# two channels, IEEE float; each also resampled (flag 4: to twice its rate).
for layout in "signed 24 2" "signed 32 1" "signed 16 6" "floating-point 32 1" "floating-point 64 3"; do
  read -r encoding bits channels <<<"$layout"
  sox -D -n -r 44100 -e "$encoding" -b "$bits" -c "$channels" -t wav "$scratch/s.wav" synth 30s sine 440 2>/dev/null
  name="sox-$encoding-$bits-bit-$channels-ch"
  { printf '\x00\x40\x00\x00\x00'; cat "$scratch/s.wav"; } > "$corpus/wav/$name"
  { printf '\x04\x40\x00\x00\x00'; cat "$scratch/s.wav"; } > "$corpus/wav/$name-resampled"
done

# AIFF and AIFF-C as sox writes them, with the same control bytes; each also
# auto-scaled and resampled (flags 9: to half its rate).
for layout in "aiff signed 8 1" "aiff signed 16 2" "aiff signed 24 1" "aiff signed 32 3" "aifc signed 16 1" \
              "aifc floating-point 32 2" "aifc floating-point 64 1"; do
  read -r type encoding bits channels <<<"$layout"
  sox -D -n -r 22050 -e "$encoding" -b "$bits" -c "$channels" -t "$type" "$scratch/s.aif" synth 24s sine 440 2>/dev/null
  name="sox-$type-$encoding-$bits-bit-$channels-ch"
  { printf '\x00\x40\x00\x00\x00'; cat "$scratch/s.aif"; } > "$corpus/aiff/$name"
  { printf '\x09\x40\x00\x00\x00'; cat "$scratch/s.aif"; } > "$corpus/aiff/$name-resampled"
done

# Intel HEX: the same control bytes, then files srec_cat wrote.
printf 'Talverine voice EPROM seed data, 64 bytes long, for srec_cat...' > "$scratch/data.bin"
srec_cat "$scratch/data.bin" -binary -o "$scratch/a.hex" -intel -line-length=44
{ printf '\x00\x00\x01\x00\x00'; cat "$scratch/a.hex"; } > "$corpus/hex/srec-16-per-line"
srec_cat "$scratch/data.bin" -binary -offset 0x1230 -o "$scratch/b.hex" -intel -line-length=76 -crlf
{ printf '\x04\x00\x20\x00\xff'; cat "$scratch/b.hex"; } > "$corpus/hex/srec-32-per-line-crlf"
srec_cat "$scratch/data.bin" -binary -offset 0x18000 -o "$scratch/c.hex" -intel
{ printf '\x01\x00\x00\x00\x00'; cat "$scratch/c.hex"; } > "$corpus/hex/srec-extended-address"
