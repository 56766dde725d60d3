// Building and handing over the largest data block: 64 KB of the image as a
// 131,118-byte SysEx message, through the MIDI layer and the port set of
// the headless platform to an in-memory output port.
#include <benchmark/benchmark.h>

#include "device/midi.h"
#include "device/sysex.h"
#include "platform/headless/platform_headless.h"
#include "platform/midi/memory_port.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/image_model.h"

namespace {

void BM_SysexSendBlock64K(benchmark::State& state) {
  headless::ScopedHeadless platform;
  CoreSession core(CoreSession::Setup::WithoutWindow);
  if (!core.ready()) {
    state.SkipWithError("no buffers");
    return;
  }
  BYTE* image = core.image.imgMemory.get();
  for (UINT i = 0; i < IMAGE_SIZE; ++i) image[i] = static_cast<BYTE>(i * 13);
  midimem::MemoryPorts mem = midimem::AddMemoryPorts(platform->Midi(), "Bench");
  mem.output->SetRecording(false);
  MidiInit(nullptr, &core.app.MidiOutInfo);
  core.app.MidiOutInfo.uDeviceID = mem.outputId;
  MidiActivateDevice(nullptr, &core.app.MidiOutInfo, MIDI_OPEN);

  const SysexOutput out{&core.app.MidiOutInfo, core.app.MIDIoutBuffer.get(), nullptr};
  for (auto _ : state) {
    benchmark::DoNotOptimize(SysexSendBlock(out, image, 1, 64, 0));
  }
  if (mem.output->MessagesSent() != state.iterations()) state.SkipWithError("blocks were not sent");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * SysexBlockPacketSize(65536));

  MidiActivateDevice(nullptr, &core.app.MidiOutInfo, MIDI_FORCE_CLOSE);
}
BENCHMARK(BM_SysexSendBlock64K)->Unit(benchmark::kMicrosecond);

}  // namespace
