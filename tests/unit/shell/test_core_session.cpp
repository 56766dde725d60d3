// Each run of the core starts clean: what one session did to the image, the
// marks, the settings and the MIDI port records is gone in the next.
#include "shell/core_session.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/headless/platform_headless.h"
#include "settings/config.h"
#include "shell/app_state.h"

namespace {

TEST(CoreSession, ANewSessionStartsWithANewImageMarksAndSettings) {
  headless::ScopedHeadless platform;
  {
    CoreSession first(CoreSession::Setup::WithoutWindow);
    ASSERT_TRUE(first.ready());
    EXPECT_EQ(&CoreSession::Current(), &first);
    ImageModel& image = first.image;
    std::fill(image.imgMemory.get(), image.imgMemory.get() + IMAGE_SIZE, 0x42);
    image.EPROM_type = et27512;
    image.EPROM_Arrangement = eaOneEpromTwoSounds;
    image.Old_EPROM_Arrangement = eaOneEpromTwoSounds;
    image.cMemoryFillValue = 0xFF;
    image.EpromFlags[0] = efProgrammed | efVerified;
    image.SoundFile[1] = "snare.wav";
    image.SoundFileLoaded[1] = 1;
    image.WhichEPROM = 3;
    first.fileSettings.sample_rate = 44100;
    first.fileSettings.AutoScale = 1;
    first.fileSettings.RecentLoadPath = "/sounds";
    first.dialogs.old_sr = 8000;
    first.app.bMidiInit = 1;
    first.app.MidiInInfo.uDeviceID = 2;
    TheConfigState().cMidiOutDevice = 3;
  }

  CoreSession second(CoreSession::Setup::WithoutWindow);
  ASSERT_TRUE(second.ready());
  EXPECT_EQ(&CoreSession::Current(), &second);
  const ImageModel& image = second.image;
  const BYTE* bytes = image.imgMemory.get();
  EXPECT_TRUE(std::all_of(bytes, bytes + IMAGE_SIZE, [](BYTE b) { return b == 0; }));
  EXPECT_EQ(image.EPROM_type, et2764);
  EXPECT_EQ(image.EPROM_Arrangement, eaOneEpromOneSound);
  EXPECT_EQ(image.Old_EPROM_Arrangement, eaINVALID);
  EXPECT_EQ(image.cMemoryFillValue, 0u);
  EXPECT_EQ(image.EpromFlags[0], 0u);
  EXPECT_TRUE(image.SoundFile[1].empty());
  EXPECT_EQ(image.SoundFileLoaded[1], 0u);
  EXPECT_EQ(image.WhichEPROM, 0);
  EXPECT_EQ(second.fileSettings.sample_rate, 24000u);
  EXPECT_EQ(second.fileSettings.AutoScale, 0u);
  EXPECT_TRUE(second.fileSettings.RecentLoadPath.empty());
  EXPECT_EQ(second.dialogs.old_sr, 24000u);
  EXPECT_EQ(second.app.bMidiInit, 0u);
  EXPECT_EQ(second.app.MidiInInfo.uDeviceID, MIDI_INVALID);
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 0u);
}

}  // namespace
