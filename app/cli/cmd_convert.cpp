// talverine-cli convert: a file into the image as Load File would, and the
// same section out again as Save File would.
#include <cstdio>
#include <string>

#include "app/cli/cli_args.h"
#include "app/cli/cli_commands.h"
#include "app/cli/cli_image.h"
#include "app/cli/cli_session.h"
#include "app/cli/cli_system.h"
#include "files/file_load.h"
#include "shell/core_session.h"
#include "shell/file_outcome.h"

namespace cli {
namespace {

const char kUsage[] =
    "usage: talverine-cli convert [--type NAME] [--arrangement 0-3] [--sound N | --both]\n"
    "                             [--fill audio|data] [--auto-scale] [--auto-cleanup]\n"
    "                             [--auto-detect-rate] [--sample-rate HZ] [--resample]\n"
    "                             INPUT OUTPUT\n"
    "\n"
    "Loads INPUT (binary, Intel HEX, WAV or AIFF, by extension or content) into\n"
    "the section of sound N (1 = the first; with several EPROMs, N counts EPROMs)\n"
    "or, with --both, the whole EPROM of a two-sound arrangement, then saves that\n"
    "section to OUTPUT as binary, Intel HEX or WAV by OUTPUT's extension.\n"
    "WAV files may be PCM (1 to 32 bits), IEEE float (32 or 64 bits) or the\n"
    "extensible format holding either; AIFF and AIFF-C files integers of 1 to 32\n"
    "bits or floats. Up to 8 channels are mixed to mono.\n"
    "--resample converts a WAV or AIFF file from its own sample rate to the\n"
    "playback rate (--sample-rate) before encoding; without it every frame\n"
    "becomes one sample at the playback rate.\n"
    "Defaults: --type 2764 --arrangement 0 --sound 1 --fill audio --sample-rate 24000.\n"
    "Arrangements: 0 one EPROM one sound, 1 one EPROM two sounds,\n"
    "              2 two EPROMs one sound, 3 four EPROMs one sound.\n";

struct Section {
  BYTE number;      // sound or EPROM index handed to the loader
  UINT stride;      // the loader's section stride
  UINT length;      // bytes the file may fill
  UINT Offset() const { return number * stride; }
};

}  // namespace

int ConvertCommand(const std::vector<std::string>& argv) {
  Args args(argv, {"--both", "--auto-scale", "--auto-cleanup", "--auto-detect-rate", "--resample", "--help"},
            {"--type", "--arrangement", "--sound", "--fill", "--sample-rate"});
  if (!args.ok()) return Usage(args.error(), kUsage);
  if (args.Has("--help")) {
    WriteOut(kUsage);
    return EXIT_OK;
  }
  if (args.positional().size() != 2) return Usage("convert needs an INPUT and an OUTPUT file", kUsage);

  Session session;
  ImageModel& image = session.core().image;
  FileSettings& settings = session.core().fileSettings;
  etEnum type = et2764;
  eaEnum arrangement = eaOneEpromOneSound;
  if (const std::string problem = ReadLayout(args, &type, &arrangement); !problem.empty()) return Usage(problem, kUsage);
  image.EPROM_type = type;
  image.EPROM_Arrangement = arrangement;

  if (auto fill = args.Value("--fill")) {
    if (*fill == "audio") {
      image.cMemoryFillValue = 0;
    } else if (*fill == "data") {
      image.cMemoryFillValue = 0xFF;
    } else {
      return Usage("--fill must be audio or data", kUsage);
    }
  }
  if (auto rate = args.Value("--sample-rate")) {
    auto hz = ParseNumber(*rate, 1200, 96000);
    if (!hz) return Usage("--sample-rate must be a number from 1200 to 96000", kUsage);
    settings.sample_rate = static_cast<UINT>(*hz);
  }
  settings.AutoScale = args.Has("--auto-scale") ? 1 : 0;
  settings.AutoCleanup = args.Has("--auto-cleanup") ? 1 : 0;
  settings.AutoDetectSampleRate = args.Has("--auto-detect-rate") ? 1 : 0;
  settings.ResampleToPlaybackRate = args.Has("--resample") ? 1 : 0;

  const UINT soundBytes = image.DataSize();
  const UINT epromBytes = image.EpromBytes();
  const bool twoSounds = arrangement == eaOneEpromTwoSounds;
  const UINT sections = twoSounds ? 2 : (arrangement == eaTwoEpromsOneSound ? 2 : arrangement == eaFourEpromsOneSound ? 4 : 1);
  Section section{0, soundBytes, soundBytes};
  if (args.Has("--both")) {
    if (!twoSounds) return Usage("--both applies to the one-EPROM two-sound arrangement (--arrangement 1)", kUsage);
    if (args.Has("--sound")) return Usage("give either --sound or --both", kUsage);
    section = {0, epromBytes, epromBytes};
  } else if (auto s = args.Value("--sound")) {
    auto n = ParseNumber(*s, 1, sections);
    if (!n) return Usage("--sound must be a number from 1 to " + std::to_string(sections) + " here", kUsage);
    const BYTE index = static_cast<BYTE>(*n - 1);
    section = twoSounds ? Section{index, soundBytes, soundBytes}
                        : Section{index, epromBytes, soundBytes - index * epromBytes};
  }

  const std::string& input = args.positional()[0];
  const std::string& output = args.positional()[1];
  if (plat::GetPathKind(input) != Platform::PathKind::Regular) {
    session.Fail("cannot read " + input);
    return EXIT_FAILED;
  }
  ApplyFileReport(session.core(), tvOpenFileName(image, settings, input.c_str(), section.number,
                                                 static_cast<int>(section.stride), static_cast<int>(section.length)));
  session.platform().Pump();
  // A failed load leaves the output alone.
  if (session.failed()) return EXIT_FAILED;
  SaveSection(session.core(), output, section.Offset(), section.length);
  return session.failed() ? EXIT_FAILED : EXIT_OK;
}

}  // namespace cli
