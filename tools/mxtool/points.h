// eval --points: friction quantities at every contact state of a CSV file
// whose columns are named like the input record's fields, streamed row by row
// so files of millions of states need no more memory than one row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "mxplugin/mxplugin.h"
#include "mxtool/quantities.h"

namespace mx::tool {

// The twelve fields of MorvexInputRecord, in record order: the CSV column names.
const std::vector<std::string>& inputFieldNames();

// Which record field each column of a CSV file fills. Built from the header
// line; refuses unknown and repeated columns with the column number.
struct PointColumns {
    std::vector<int> field;  // per column: index into inputFieldNames()
    bool has(int f) const;
};
PointColumns parsePointHeader(std::string_view line, const std::string& where);

// Fills the given columns of `record` from one CSV line; the other fields keep
// their values. Refuses a wrong field count or an unparsable value with the
// line and column.
void parsePointRow(std::string_view line, const PointColumns& columns, MorvexInputRecord& record,
                   const std::string& where, uint64_t lineNumber);

// Shortest text that reads back as the same double (empty for NaN).
std::string roundTripText(double value);

// Evaluates `quantities` at every row of `in` (its size in bytes drives the
// progress bar; 0 when unknown) and writes CSV to `out`: the twelve fields of
// the state evaluated, then one column per quantity. `defaults` holds the
// values of the columns the file leaves out; without a toolTemperature column
// the tool temperature follows the sheet temperature, and a directionCosine
// column turns the direction blend on unless useDirectionDependency is given
// too. Returns the row count.
uint64_t evaluatePoints(const MorvexModule* module, const std::vector<Quantity>& quantities,
                        const MorvexInputRecord& defaults, std::FILE* in, uint64_t inSize,
                        const std::string& where, std::FILE* out);

}  // namespace mx::tool
