// Linked in, every command registered itself: no part has one to add.
#include "cli/cli_parts.h"

namespace dravmer::cli {

const CommandInfo* PartCommand(const std::string&, std::string&) { return nullptr; }

}  // namespace dravmer::cli
