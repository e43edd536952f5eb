// Registration of the subcommands with the command line parser. Each
// subcommand lives in its own file; its callback stores the process exit
// status here (0 success, 1 a check found faults, 2 an error).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace mx::tool {

struct CommandStatus {
    int exitCode = 0;
};

// A required positional argument naming a file that must exist.
inline CLI::Option* addInputFile(CLI::App* cmd, const std::string& name, std::string& path,
                                 const std::string& description) {
    return cmd->add_option(name, path, description)->required()->check(CLI::ExistingFile);
}

// The input of a command that reads a material in any form, and the flag that
// names a bare Sheet record stream (it has no version block to be told by).
inline void addMaterialInput(CLI::App* cmd, std::string& path) {
    addInputFile(cmd, "input", path, "data file, record stream (blob) or description");
}
inline void addSheetFlag(CLI::App* cmd, bool& sheet) {
    cmd->add_flag("--sheet", sheet, "the input is a bare Sheet record stream");
}

void addPackCommands(CLI::App& app, CommandStatus& status);  // pack, unpack
void addFitCommand(CLI::App& app, CommandStatus& status);
void addInspectCommand(CLI::App& app, CommandStatus& status);
void addCheckCommand(CLI::App& app, CommandStatus& status);
void addEvalCommands(CLI::App& app, CommandStatus& status);  // eval, plot
void addDiffCommand(CLI::App& app, CommandStatus& status);
void addReportCommand(CLI::App& app, CommandStatus& status);
void addDemoCommand(CLI::App& app, CommandStatus& status);

}  // namespace mx::tool
