// talverine in the browser: the page script starts this with the page's
// options ("--simulator" for ?simulator in the address) once it has put the
// stored configuration into the in-memory file system.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/web/page_calls.h"
#include "platform/web/platform_web.h"
#include "shell/core_session.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
  bool simulator = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--simulator") == 0) {
      simulator = true;
    } else {
      std::fprintf(stderr, "talverine: unknown option \"%s\"\n", argv[i]);
    }
  }
  for (const char* folder : {WebPlatform::kConfigFolder, WebPlatform::kUploadFolder, WebPlatform::kDownloadFolder})
    mkdir(folder, 0755);

  WebPlatform platform;
  // The browser's MIDI ports, then the simulated Kilnbox, as on the desktop.
  platform.RegisterWebMidiPorts();
  if (simulator) platform.StartSimulator();
  const plat::Parts previous = plat::Install(&platform);
  int code = 0;
  {
    CoreSession core;
    code = TalverineMain(core, nullptr, {});
  }
  plat::Install(previous);
  web_program_ended();
  return code;
}
