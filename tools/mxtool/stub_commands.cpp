#include "mxtool/commands.h"
namespace mx::tool {
void addEvalCommands(CLI::App&, CommandStatus&) {}
void addDemoCommand(CLI::App&, CommandStatus&) {}
}  // namespace mx::tool
