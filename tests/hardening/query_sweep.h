// Every query of the library put to a module for a set of contact states, with
// the answers collected as bit patterns, so that two runs (after a failed and
// repeated preparation, or on many threads at once) can be compared exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "mxplugin/mxplugin.h"

namespace mxtest {

// Contact states spread over the module's ranges and axes, beyond their ends,
// and a few with NaN and infinities.
std::vector<MorvexInputRecord> spreadStates(const MorvexModule* module, int count);

// For one state: each query's result code and out-parameters, in a fixed order.
std::vector<uint64_t> answerEverything(const MorvexModule* module, const MorvexInputRecord& in);

}  // namespace mxtest
