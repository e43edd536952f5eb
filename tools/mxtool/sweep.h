// eval and plot: friction quantities over a sweep of one contact variable,
// computed through the plug-in's exports on a module that went through the
// solver's own road (serialize, deserialize and prepare).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/module.h"
#include "mxplugin/mxplugin.h"
#include "mxtool/quantities.h"

namespace mx::tool {

// A module as the solver holds it: rebuilt from a blob and prepared.
struct SolverModuleDeleter {
    void operator()(MorvexModule* m) const;
};
using SolverModule = std::unique_ptr<MorvexModule, SolverModuleDeleter>;

// Serializes `m` and runs Morvex_DeserializeAndPrepareSolverData on the blob,
// showing progress on a terminal. Throws ToolError when the plug-in refuses.
SolverModule prepareForSolver(const Module& m);

// The contact state of a sweep: every variable's value, by default the
// midpoint of each contact range, the nominal surface conditions, the first
// state value, and no direction blend.
struct ContactState {
    std::map<Variable, double> values;
    bool blendDirections = false;  // set when the direction cosine is given
};
ContactState defaultContactState(const Module& m);

// The range a sweep over `v` covers by default: the module's range or axis.
std::pair<double, double> defaultSweepRange(const Module& m, Variable v);

// The input record of a contact state (both temperatures the same, mode 0).
MorvexInputRecord inputRecordOf(const ContactState& state);

// One quantity at one state; NaN when the plug-in answers with failure.
double evaluateRecord(const MorvexModule* m, const Quantity& q, const MorvexInputRecord& in);
double evaluateQuantity(const MorvexModule* m, const Quantity& q, const ContactState& state);

struct SweepSpec {
    Variable variable = Variable::Pressure;
    double from = 0.0, to = 0.0;
    int steps = 11;
};

// Rows of [variable value, quantity values...].
std::vector<std::vector<double>> runSweep(const MorvexModule* m, const SweepSpec& sweep,
                                          const ContactState& state,
                                          const std::vector<Quantity>& quantities);

// Table text: aligned columns for the terminal, or CSV.
std::string formatTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<double>>& rows, bool csv);

}  // namespace mx::tool
