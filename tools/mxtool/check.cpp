#include "mxtool/check.h"

#include <cstdio>

#include "mxtool/commands.h"
#include "mxtool/description.h"
#include "mxtool/json_layout.h"

namespace mx::tool {

CheckReport checkMaterial(const LoadedMaterial& material) {
    CheckReport report;
    report.rejections = material.rejections;
    if (material.module) report.dataFaults = DiagnoseModule(*material.module);
    return report;
}

std::string renderCheck(const std::string& path, const CheckReport& report) {
    std::string out;
    if (report.clean()) return path + ": clean\n";
    if (!report.rejections.empty()) {
        out += path + ": the plug-in rejects it\n";
        for (const std::string& r : report.rejections)
            out += "  rejected: " + r + "\n";
    }
    if (!report.dataFaults.empty()) {
        out += path + ": " + std::to_string(report.dataFaults.size()) + " data fault" +
               (report.dataFaults.size() == 1 ? "" : "s") + "\n";
        for (const DataFault& f : report.dataFaults)
            out += std::string("  ") + DataFaultKindName(f.kind) + ": " + f.message + "\n";
    }
    return out;
}

void addCheckCommand(CLI::App& app, CommandStatus& status) {
    struct Options {
        std::string input;
        bool json = false, sheet = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "check", "Say why the plug-in would reject an input, and what would trip a solver");
    cmd->footer(
        "Reports every rejection reason (MD5 trailer, chunk layout, record parse with byte "
        "offsets) and every data fault (unmatched cells, entries off the axes, unpreparable "
        "models, short heat-transfer curves, one-direction packages, non-finite values).\n"
        "Exit status 0 only for a clean input, 1 when something was found.\n"
        "Example: mxtool check data/demo.mxd");
    addMaterialInput(cmd, o->input);
    cmd->add_flag("--json", o->json, "print JSON for scripts");
    addSheetFlag(cmd, o->sheet);
    cmd->callback([o, &status] {
        const CheckReport report = checkMaterial(loadMaterial(o->input, o->sheet));
        std::string text;
        if (o->json) {
            Json faults = Json::array();
            for (const DataFault& f : report.dataFaults)
                faults.push_back(Json{{"kind", DataFaultKindName(f.kind)}, {"message", f.message}});
            text = layoutJson(Json{{"file", o->input},
                                   {"clean", report.clean()},
                                   {"rejections", report.rejections},
                                   {"dataFaults", faults}});
        } else {
            text = renderCheck(o->input, report);
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        status.exitCode = report.clean() ? 0 : 1;
    });
}

}  // namespace mx::tool
