// mxtool: one command-line program to author, inspect, check, evaluate and
// plot friction data, built on the core the plug-in runs.
#include <cstdio>
#include <exception>
#include <new>

#include "mxtool/commands.h"
#include "mxtool/description.h"
#include "mxtool/io.h"

int main(int argc, char** argv) {
    CLI::App app{
        "mxtool: author, inspect, check, evaluate and plot friction data files.\n"
        "Every subcommand has --help. Exit status: 0 success, 1 `check` found faults, "
        "2 error."};
    app.require_subcommand(1);
    mx::tool::CommandStatus status;
    mx::tool::addPackCommands(app, status);
    mx::tool::addFitCommand(app, status);
    mx::tool::addInspectCommand(app, status);
    mx::tool::addCheckCommand(app, status);
    mx::tool::addEvalCommands(app, status);
    mx::tool::addDemoCommand(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const mx::tool::ToolError& e) {
        std::fprintf(stderr, "mxtool: error: %s\n", e.what());
        return 2;
    } catch (const mx::tool::DescriptionError& e) {
        std::fprintf(stderr, "mxtool: error in description: %s\n", e.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "mxtool: error: out of memory\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mxtool: error: %s\n", e.what());
        return 2;
    }
    return status.exitCode;
}
