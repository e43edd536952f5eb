// Registration of the subcommands with the command line parser. Each
// subcommand lives in its own file; its callback stores the process exit
// status here (0 success, 1 a check found faults, 2 an error).
#pragma once

#include <CLI/CLI.hpp>

namespace mx::tool {

struct CommandStatus {
    int exitCode = 0;
};

void addPackCommands(CLI::App& app, CommandStatus& status);  // pack, unpack
void addFitCommand(CLI::App& app, CommandStatus& status);
void addInspectCommand(CLI::App& app, CommandStatus& status);
void addCheckCommand(CLI::App& app, CommandStatus& status);
void addEvalCommands(CLI::App& app, CommandStatus& status);  // eval, plot
void addDemoCommand(CLI::App& app, CommandStatus& status);

}  // namespace mx::tool
