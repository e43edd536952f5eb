// check: every reason the plug-in would reject an input, and the data faults
// that would make a solver fail or quietly misbehave.
#pragma once

#include <string>
#include <vector>

#include "module/diagnose.h"
#include "mxtool/material.h"

namespace mx::tool {

struct CheckReport {
    std::vector<std::string> rejections;  // the plug-in refuses the input
    std::vector<DataFault> dataFaults;    // the plug-in accepts it, the solver stumbles
    bool clean() const { return rejections.empty() && dataFaults.empty(); }
};

CheckReport checkMaterial(const LoadedMaterial& material);
std::string renderCheck(const std::string& path, const CheckReport& report);

}  // namespace mx::tool
