// Every query of the library put to a module for a contact state, with the
// answers kept as bit patterns, so that two runs (after a failed and repeated
// preparation, on many threads at once, twice on one fuzz input) compare
// exactly. Needs no GoogleTest: the fuzz targets use it too.
#pragma once

#include <cstdint>
#include <vector>

#include "mxplugin/mxplugin.h"

namespace mx::test {

// Contact states spread over the module's ranges and axes, beyond their ends,
// and a few with NaN and infinities.
std::vector<MorvexInputRecord> spreadStates(const MorvexModule* module, int count);

// What the queries take besides the contact state.
struct QueryArguments {
    uint32_t packageId = 12;   // asked besides the ids 0 to 12
    double bound = 2.0;        // every query's limit or threshold argument
    double previous = 0.1;     // the previous real contact area or history value
    double accumulated = 0.5;  // galling and wear indicators add to this
    double firstLimit = 0.3, secondLimit = 0.7;
    double start = -1.0;  // what the other out-parameters hold before a call
};

// One call: its result and its out-parameters' bits before and after.
struct Answer {
    const char* query;
    uint32_t result;
    uint64_t before[2];
    uint64_t after[2];
    bool isFlag;  // an availability check: it cannot fail and answers 0 or 1
    bool operator==(const Answer&) const = default;
};

// Each query once, in a fixed order: package values, averages and
// availability for every id, the derived queries, the range getters.
std::vector<Answer> answerEverything(const MorvexModule* module, const MorvexInputRecord& in,
                                     const QueryArguments& args = {});

}  // namespace mx::test
