// What the commands that touch the image share: the EPROM type and
// arrangement options, and saving a section by the output file's extension.
#pragma once

#include <string>

#include "app/cli/cli_args.h"
#include "shell/image_model.h"

class CoreSession;

namespace cli {

bool FindType(const std::string& name, etEnum* type);
// "2732, 2732A, ..." for messages.
std::string TypeNames();

// Reads --type and --arrangement (defaults 2764 and 0) and checks that the
// image holds them; "" or the problem.
std::string ReadLayout(const Args& args, etEnum* type, eaEnum* arrangement);

// Saves `length` bytes of the session's image from `offset` as Save File
// would: Intel HEX for ".hex", WAV for ".wav", binary otherwise.
void SaveSection(CoreSession& session, const std::string& path, UINT offset, UINT length);

}  // namespace cli
