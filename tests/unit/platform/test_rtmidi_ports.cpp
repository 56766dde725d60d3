// RtMidi's ports on a machine without a MIDI service (no ALSA sequencer):
// no ports and clear errors, never an exception or a crash. RtMidi's
// module loads on demand, and one that cannot load says why. Port names
// are fitted so that the ports of one interface stay apart.
#include "platform/midi/rtmidi/ports_rtmidi.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/midi/system_ports.h"

namespace {

bool HaveSequencer() { return access("/dev/snd/seq", F_OK) == 0; }

TEST(RtMidiPorts, NoSequencerMeansNoPortsAndNoCrash) {
  if (HaveSequencer()) GTEST_SKIP() << "this machine has an ALSA sequencer";
  // RtMidi throws here; the lists are simply empty.
  EXPECT_TRUE(rtmidiports::ListPorts(true).empty());
  EXPECT_TRUE(rtmidiports::ListPorts(false).empty());
  MidiPortSet ports;
  rtmidiports::RegisterRtMidiPorts(ports);
  EXPECT_TRUE(ports.InputNames().empty());
  EXPECT_TRUE(ports.OutputNames().empty());
  if (access("/dev/snd", F_OK) != 0) {
    RegisterSystemPorts(ports, {});
    EXPECT_TRUE(ports.InputNames().empty());
    EXPECT_TRUE(ports.OutputNames().empty());
  }
}

TEST(RtMidiPorts, OpeningWithoutSequencerFailsWithRtMidisOwnText) {
  if (HaveSequencer()) GTEST_SKIP() << "this machine has an ALSA sequencer";
  MidiPortSet ports;
  ports.AddInput(std::make_unique<rtmidiports::RtMidiInputDevice>("Kilnbox MIDI 1 20:0"));
  ports.AddOutput(rtmidiports::MakeOutputDevice("Kilnbox MIDI 1 20:0"));
  PlatMidiPort* port = nullptr;

  const MidiResult in = ports.OpenInput("Kilnbox MIDI 1 20:0", {}, &port);
  EXPECT_EQ(in.error, midi_error::kNoDriver);
  EXPECT_EQ(in.text, "MidiInAlsa::initialize: error creating ALSA sequencer client object.");

  const MidiResult out = ports.OpenOutput("Kilnbox MIDI 1 20:0", nullptr, &port);
  EXPECT_EQ(out.error, midi_error::kNoDriver);
  EXPECT_EQ(out.text, "MidiOutAlsa::initialize: error creating ALSA sequencer client object.");
  // A second try fails the same way instead of finding a half-made port.
  EXPECT_EQ(ports.OpenOutput("Kilnbox MIDI 1 20:0", nullptr, &port).error, midi_error::kNoDriver);
  EXPECT_EQ(port, nullptr);
}

TEST(RtMidiPorts, TheModuleLoadsOrSaysWhyNot) {
  std::string why;
  EXPECT_TRUE(rtmidiports::ModuleLoaded(&why)) << why;
  // A missing file, and a library without the module's entry.
  EXPECT_EQ(rtmidiports::LoadModule("talverine-no-such-module.so", &why), nullptr);
  EXPECT_NE(why.find("talverine-no-such-module.so"), std::string::npos) << why;
  EXPECT_EQ(rtmidiports::LoadModule("libc.so.6", &why), nullptr);
  EXPECT_NE(why.find(rtmidiports::kModuleEntryName), std::string::npos) << why;
}

TEST(RtMidiPorts, LongNamesKeepTheirSequencerAddress) {
  EXPECT_EQ(rtmidiports::FitPortName("UM-ONE:UM-ONE MIDI 1 20:0"), "UM-ONE:UM-ONE MIDI 1 20:0");
  const std::string first = rtmidiports::FitPortName("MIDISPORT 4x4 Anniv:MIDISPORT 4x4 Anniv MIDI 1 24:0");
  const std::string second = rtmidiports::FitPortName("MIDISPORT 4x4 Anniv:MIDISPORT 4x4 Anniv MIDI 2 24:1");
  EXPECT_EQ(first, "MIDISPORT 4x4 Anniv:MIDISP 24:0");
  EXPECT_EQ(second, "MIDISPORT 4x4 Anniv:MIDISP 24:1");
  // Names without an address (other systems) are cut as the port set would.
  EXPECT_EQ(rtmidiports::FitPortName("A MIDI interface with a rather long name"), "A MIDI interface with a rather ");
  EXPECT_EQ(rtmidiports::FitPortName("A MIDI interface with a long name ends 1:"),
            "A MIDI interface with a long na");
}

}  // namespace
