#include "mxtool/points.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "mxtool/io.h"
#include "mxtool/progress.h"
#include "mxtool/sweep.h"

namespace mx::tool {

namespace {

enum Field {
    kPressure,
    kStrain,
    kSheetTemperature,
    kToolTemperature,
    kVelocity,
    kDirectionCosine,
    kStateValue,
    kSheetRoughness,
    kLubricationAmount,
    kToolRoughness,
    kUseDirectionDependency,
    kTemperatureMode,
    kFieldCount
};

// Splits a CSV line at commas; a field may be quoted ("pressure"). Spaces
// around a field are dropped. A trailing carriage return is ignored.
std::vector<std::string_view> splitCsv(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = line.find(',', start);
        std::string_view f = line.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        while (!f.empty() && (f.front() == ' ' || f.front() == '\t'))
            f.remove_prefix(1);
        while (!f.empty() && (f.back() == ' ' || f.back() == '\t'))
            f.remove_suffix(1);
        if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
        fields.push_back(f);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return fields;
}

[[noreturn]] void refuse(const std::string& where, uint64_t line, size_t column,
                         const std::string& what) {
    throw ToolError(where + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                    what);
}

double fieldValue(const MorvexInputRecord& r, int f) {
    const double values[kFieldCount] = {r.pressure,
                                        r.strain,
                                        r.sheetTemperature,
                                        r.toolTemperature,
                                        r.velocity,
                                        r.directionCosine,
                                        r.stateValue,
                                        r.sheetRoughness,
                                        r.lubricationAmount,
                                        r.toolRoughness,
                                        static_cast<double>(r.useDirectionDependency),
                                        static_cast<double>(r.temperatureMode)};
    return values[f];
}

double* doubleField(MorvexInputRecord& r, int f) {
    double* fields[kUseDirectionDependency] = {
        &r.pressure,          &r.strain,          &r.sheetTemperature, &r.toolTemperature,
        &r.velocity,          &r.directionCosine, &r.stateValue,       &r.sheetRoughness,
        &r.lubricationAmount, &r.toolRoughness};
    return fields[f];
}

}  // namespace

const std::vector<std::string>& inputFieldNames() {
    static const std::vector<std::string> names = {"pressure",
                                                   "strain",
                                                   "sheetTemperature",
                                                   "toolTemperature",
                                                   "velocity",
                                                   "directionCosine",
                                                   "stateValue",
                                                   "sheetRoughness",
                                                   "lubricationAmount",
                                                   "toolRoughness",
                                                   "useDirectionDependency",
                                                   "temperatureMode"};
    return names;
}

bool PointColumns::has(int f) const {
    for (int g : field)
        if (g == f) return true;
    return false;
}

PointColumns parsePointHeader(std::string_view line, const std::string& where) {
    PointColumns columns;
    const auto names = splitCsv(line);
    for (size_t c = 0; c < names.size(); ++c) {
        int found = -1;
        for (int f = 0; f < kFieldCount; ++f)
            if (names[c] == inputFieldNames()[f]) found = f;
        if (found < 0) {
            std::string known;
            for (const std::string& n : inputFieldNames())
                known += (known.empty() ? "" : ", ") + n;
            refuse(where, 1, c + 1,
                   "unknown column \"" + std::string(names[c]) + "\" (known: " + known + ")");
        }
        if (columns.has(found))
            refuse(where, 1, c + 1, "column \"" + std::string(names[c]) + "\" repeated");
        columns.field.push_back(found);
    }
    return columns;
}

void parsePointRow(std::string_view line, const PointColumns& columns, MorvexInputRecord& record,
                   const std::string& where, uint64_t lineNumber) {
    const auto cells = splitCsv(line);
    if (cells.size() != columns.field.size()) {
        refuse(where, lineNumber, std::min(cells.size(), columns.field.size()) + 1,
               std::to_string(cells.size()) + " values where the header names " +
                   std::to_string(columns.field.size()) + " columns");
    }
    for (size_t c = 0; c < cells.size(); ++c) {
        const int f = columns.field[c];
        const std::string_view cell = cells[c];
        const char* end = cell.data() + cell.size();
        bool ok;
        if (f >= kUseDirectionDependency) {
            uint32_t v = 0;
            const auto r = std::from_chars(cell.data(), end, v);
            ok = r.ec == std::errc() && r.ptr == end && !cell.empty();
            if (f == kUseDirectionDependency)
                record.useDirectionDependency = v;
            else
                record.temperatureMode = v;
        } else {
            double v = 0.0;
            const auto r = std::from_chars(cell.data(), end, v);
            ok = r.ec == std::errc() && r.ptr == end && !cell.empty();
            *doubleField(record, f) = v;
        }
        if (!ok) {
            refuse(where, lineNumber, c + 1,
                   "cannot read \"" + std::string(cell) + "\" as " +
                       (f >= kUseDirectionDependency ? "a whole number" : "a number") + " for " +
                       inputFieldNames()[f]);
        }
    }
}

std::string roundTripText(double value) {
    if (std::isnan(value)) return "";
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

uint64_t evaluatePoints(const MorvexModule* module, const std::vector<Quantity>& quantities,
                        const MorvexInputRecord& defaults, std::FILE* in, uint64_t inSize,
                        const std::string& where, std::FILE* out) {
    Progress progress("evaluating " + where);
    std::string line, text;
    uint64_t lineNumber = 0, consumed = 0, rows = 0;
    PointColumns columns;
    auto readLine = [&]() {
        line.clear();
        int c;
        while ((c = std::getc(in)) != EOF && c != '\n')
            line += static_cast<char>(c);
        consumed += line.size() + 1;
        ++lineNumber;
        return c != EOF || !line.empty();
    };
    if (!readLine()) throw ToolError(where + ": empty file, no header line");
    if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // BOM
    columns = parsePointHeader(line, where);
    for (const std::string& name : inputFieldNames())
        text += name + ",";
    for (size_t q = 0; q < quantities.size(); ++q)
        text += quantities[q].key + (q + 1 < quantities.size() ? "," : "\n");
    const bool ownToolTemperature = columns.has(kToolTemperature);
    MorvexInputRecord start = defaults;
    if (columns.has(kDirectionCosine) && !columns.has(kUseDirectionDependency))
        start.useDirectionDependency = 1;
    while (readLine()) {
        if (line.empty() || line == "\r") continue;
        MorvexInputRecord record = start;
        parsePointRow(line, columns, record, where, lineNumber);
        if (!ownToolTemperature) record.toolTemperature = record.sheetTemperature;
        for (int f = 0; f < kFieldCount; ++f)
            text += roundTripText(fieldValue(record, f)) + ",";
        for (size_t q = 0; q < quantities.size(); ++q) {
            text += roundTripText(evaluateRecord(module, quantities[q], record));
            text += q + 1 < quantities.size() ? ',' : '\n';
        }
        ++rows;
        if (text.size() > (1u << 16)) {
            std::fwrite(text.data(), 1, text.size(), out);
            text.clear();
            if (inSize > 0) progress.update(std::min(1.0, double(consumed) / double(inSize)));
        }
    }
    std::fwrite(text.data(), 1, text.size(), out);
    if (std::ferror(in)) throw ToolError("cannot read " + where);
    if (std::ferror(out)) throw ToolError("cannot write the results");
    return rows;
}

}  // namespace mx::tool
