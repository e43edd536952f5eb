#include "mxtool/commands.h"
namespace mx::tool {
void addInspectCommand(CLI::App&, CommandStatus&) {}
void addCheckCommand(CLI::App&, CommandStatus&) {}
void addEvalCommands(CLI::App&, CommandStatus&) {}
void addDemoCommand(CLI::App&, CommandStatus&) {}
}  // namespace mx::tool
