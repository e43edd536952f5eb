#include "mxtool/commands.h"
namespace mx::tool {
void addDemoCommand(CLI::App&, CommandStatus&) {}
}  // namespace mx::tool
