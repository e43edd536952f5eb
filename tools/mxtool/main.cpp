// mxtool: one command-line program to author, inspect, check, evaluate and
// plot friction data, built on the core the plug-in runs.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "mxplugin/mxplugin.h"
#include "mxtool/commands.h"
#include "mxtool/description.h"
#include "mxtool/io.h"

int main(int argc, char** argv) {
    CLI::App app{
        "mxtool: author, inspect, check, evaluate and plot friction data files.\n"
        "Every subcommand has --help with examples. Exit status: 0 success, 1 `check` found "
        "faults or `diff` differences, 2 error (usage errors included)."};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("mxtool ") + MXPLUGIN_VERSION_STRING +
                                          " (mxplugin library " + MXPLUGIN_VERSION_STRING + ")");
    mx::tool::CommandStatus status;
    mx::tool::addPackCommands(app, status);
    mx::tool::addFitCommand(app, status);
    mx::tool::addInspectCommand(app, status);
    mx::tool::addCheckCommand(app, status);
    mx::tool::addEvalCommands(app, status);
    mx::tool::addDiffCommand(app, status);
    mx::tool::addReportCommand(app, status);
    mx::tool::addDemoCommand(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end the parse with status 0; every other parse
        // failure is a usage error: one line, status 2.
        if (e.get_exit_code() == 0) return app.exit(e);
        std::string what = e.what();
        for (char& c : what)
            if (c == '\n') c = ' ';
        std::fprintf(stderr, "mxtool: usage error: %s (see mxtool --help)\n", what.c_str());
        return 2;
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
