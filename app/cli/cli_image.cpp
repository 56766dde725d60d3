#include "app/cli/cli_image.h"

#include <strings.h>

#include "files/file_kind.h"
#include "files/file_save.h"
#include "shell/core_session.h"
#include "shell/file_outcome.h"

namespace cli {
namespace {

// The image must stay within 64 KB: four EPROMs only up to 16 K, two up to 32 K.
bool ArrangementFits(etEnum type, eaEnum arrangement) {
  const UINT k = EPROM_info[type].etSizeK;
  if (arrangement == eaFourEpromsOneSound) return k <= 16;
  if (arrangement == eaTwoEpromsOneSound) return k <= 32;
  return true;
}

}  // namespace

bool FindType(const std::string& name, etEnum* type) {
  for (UINT t = 0; t < etINVALID; ++t) {
    if (strcasecmp(EPROM_info[t].etName, name.c_str()) == 0) {
      *type = static_cast<etEnum>(t);
      return true;
    }
  }
  return false;
}

std::string TypeNames() {
  std::string names;
  for (UINT t = 0; t < etINVALID; ++t) names += std::string(t ? ", " : "") + EPROM_info[t].etName;
  return names;
}

std::string ReadLayout(const Args& args, etEnum* type, eaEnum* arrangement) {
  *type = et2764;
  if (auto name = args.Value("--type"); name && !FindType(*name, type))
    return "unknown EPROM type \"" + *name + "\" (types: " + TypeNames() + ")";
  *arrangement = eaOneEpromOneSound;
  if (auto a = args.Value("--arrangement")) {
    auto n = ParseNumber(*a, 0, 3);
    if (!n) return "--arrangement must be 0, 1, 2 or 3";
    *arrangement = static_cast<eaEnum>(*n);
  }
  if (!ArrangementFits(*type, *arrangement))
    return std::string("a ") + EPROM_info[*type].etName + " is too large for that arrangement (the image holds 64 KB)";
  return "";
}

void SaveSection(CoreSession& session, const std::string& path, UINT offset, UINT length) {
  char ext[5];
  GetFileExtension(ext, path.c_str());
  ApplyFileReport(session, SaveFileOfKind(session.image, session.fileSettings, FileKindOfExtension(ext),
                                          path.c_str(), offset, length));
}

}  // namespace cli
