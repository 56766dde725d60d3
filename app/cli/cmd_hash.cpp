// talverine-cli hash: the digest the help check computes for each file.
#include <cstdio>
#include <string>

#include "app/cli/cli_args.h"
#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/cli_system.h"
#include "help/validate.h"

namespace cli {
namespace {

const char kUsage[] =
    "usage: talverine-cli hash [--text] FILE...\n"
    "\n"
    "Prints the SHA-1 digest the help check computes for each FILE: of its\n"
    "first 100,000 bytes; with --text, control characters left out first.\n";

}  // namespace

int HashCommand(const std::vector<std::string>& argv) {
  Args args(argv, {"--text", "--help"}, {});
  if (!args.ok()) return Usage(args.error(), kUsage);
  if (args.Has("--help")) {
    WriteOut(kUsage);
    return EXIT_OK;
  }
  if (args.positional().empty()) return Usage("hash needs at least one FILE", kUsage);
  Session session;
  for (const std::string& path : args.positional()) {
    uint32_t digest[5] = {};
    if (!SupportFileDigest(path, args.Has("--text"), digest)) {
      session.Fail("cannot read " + path);
      continue;
    }
    char hex[41];
    std::snprintf(hex, sizeof hex, "%08x%08x%08x%08x%08x", digest[0], digest[1], digest[2], digest[3], digest[4]);
    WriteOut(std::string(hex) + "  " + path + "\n");
  }
  return session.failed() ? EXIT_FAILED : EXIT_OK;
}

}  // namespace cli
