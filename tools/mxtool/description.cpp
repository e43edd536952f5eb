#include "mxtool/description.h"

#include <limits>

#include "mxtool/description_parts.h"
#include "mxtool/quantities.h"
#include "serialize/module_record.h"
#include "serialize/sub_records.h"
#include "stream/record_reader.h"

namespace mx::tool {

// ---- Text ----------------------------------------------------------------

std::string utf8FromText(const Text& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t unit : text) {
        const uint32_t c = unit;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Text textFromUtf8(const std::string& utf8, const std::string& where) {
    Text out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        uint32_t c;
        size_t length;
        if (b < 0x80) {
            c = b, length = 1;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            c = ((b & 0x1Fu) << 6) | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu), length = 2;
        } else {
            c = 0x10000, length = 1;  // anything longer is beyond one byte a character
        }
        if (c > 0xFF) {
            throw DescriptionError(where +
                                   ": characters above U+00FF cannot be stored (records hold "
                                   "one byte a character)");
        }
        out += static_cast<char16_t>(c);
        i += length;
    }
    if (out.size() > kMaxStringLength) {
        throw DescriptionError(where + ": " + std::to_string(out.size()) +
                               " characters; records hold at most 1000");
    }
    return out;
}

Json propertiesJson(const PropertyList& list) {
    Json out = Json::array();
    for (size_t i = 0; i < list.keys.size(); ++i) {
        out.push_back(Json::array({utf8FromText(list.keys[i]), utf8FromText(list.values[i])}));
    }
    return out;
}

std::string packageQuantityName(size_t packageIndex) {
    const PackageInfo* info = packageByIndex(static_cast<uint32_t>(packageIndex));
    if (info == nullptr) return "index " + std::to_string(packageIndex) + " (no package id)";
    return std::string(info->name) + " (id " + std::to_string(info->id) + ")";
}

const char* kindName(RecordKindName kind) {
    switch (kind) {
        case RecordKindName::Sheet:
            return "sheet";
        case RecordKindName::Lubricant:
            return "lubricant";
        case RecordKindName::Module:
            return "module";
    }
    return "?";
}

RecordKindName describedKind(const Json& description) {
    const Node d{description, ""};
    checkHeader(d);
    const Node kind = d["kind"];
    for (RecordKindName k :
         {RecordKindName::Sheet, RecordKindName::Lubricant, RecordKindName::Module}) {
        if (kind.json == kindName(k)) return k;
    }
    kind.fail("expected \"sheet\", \"lubricant\" or \"module\"");
}

Json describeModule(const Module& m) {
    Json out = header(RecordKindName::Module);
    out["identifier"] = hexOf(m.identifier.data(), m.identifier.size());
    out["name"] = utf8FromText(m.name);
    out["recordKind"] = m.formatVersion;
    out["solverId"] = utf8FromText(m.solverId);
    const SharedFields f = sharedOf(m);
    const Json extra = {{"strainRoughening", f64ArrayJson(m.strainRougheningValues)},
                        {"staticFriction", f64ArrayJson(m.staticFrictionValues)},
                        {"toolWear", f64ArrayJson(m.toolWearValues)}};
    describeShared(out, f, extra, m.primaryEntries, m.secondaryEntries);
    return out;
}

Module moduleFromDescription(const Json& description) {
    const Node d{description, ""};
    if (describedKind(description) != RecordKindName::Module) d.fail("not a module description");
    d.allowOnly({"format",
                 "revision",
                 "kind",
                 "identifier",
                 "name",
                 "recordKind",
                 "solverId",
                 "text1",
                 "text2",
                 "ranges",
                 "nominal",
                 "axes",
                 "directionDependency",
                 "heatTransferStatus",
                 "properties",
                 "primaryEntries",
                 "secondaryEntries",
                 "strainRoughening",
                 "staticFriction",
                 "toolWear",
                 "dataFile"});
    Module m;
    m.identifier = identifierFrom(d);
    m.name = d.has("name") ? d["name"].text() : kVersionBlockName;
    m.formatVersion = recordKindFrom(d, 3);
    m.solverId = d.has("solverId") ? d["solverId"].text() : kDefaultSolverId;
    m.primaryEntries = entriesFrom(d["primaryEntries"]);
    if (d.has("secondaryEntries")) m.secondaryEntries = entriesFrom(d["secondaryEntries"]);
    applyShared(sharedFrom(d, m.primaryEntries), m);
    auto list = [&](const char* key) {
        return d.has(key) ? d[key].f64Array() : std::vector<double>{0.0};
    };
    m.strainRougheningValues = list("strainRoughening");
    m.staticFrictionValues = list("staticFriction");
    m.toolWearValues = list("toolWear");
    return m;
}

std::vector<uint8_t> recordStreamOf(const Json& description) {
    switch (describedKind(description)) {
        case RecordKindName::Module: {
            const Module m = moduleFromDescription(description);
            MallocBuffer blob;
            uint64_t length = 0;
            if (!SerializeModule(m, blob, length)) throw std::bad_alloc();
            return std::vector<uint8_t>(blob.get(), blob.get() + length);
        }
        case RecordKindName::Lubricant: {
            std::vector<uint8_t> bytes =
                LubricantRecordBytes(lubricantFromDescription(description));
            if (bytes.empty()) throw DescriptionError("the Lubricant record cannot be written");
            return bytes;
        }
        case RecordKindName::Sheet: {
            std::vector<uint8_t> bytes = SheetRecordBytes(sheetFromDescription(description));
            if (bytes.empty()) throw DescriptionError("the Sheet record cannot be written");
            return bytes;
        }
    }
    throw DescriptionError("unknown record kind");
}

Json describeRecordStream(RecordKindName kind, const uint8_t* data, size_t length) {
    if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw DescriptionError("record stream of 2 GiB or more");
    }
    ReadFault fault;
    switch (kind) {
        case RecordKindName::Module: {
            ModulePtr slot;
            if (!ReadModuleRecord(data, static_cast<int32_t>(length), slot, &fault)) {
                throw DescriptionError("module record unreadable at offset " +
                                       std::to_string(fault.offset) + ": " + fault.what);
            }
            return describeModule(*slot);
        }
        case RecordKindName::Lubricant: {
            LubricantRecord record;
            if (!ReadLubricantRecord(data, static_cast<int32_t>(length), record, &fault)) break;
            return describeLubricant(record);
        }
        case RecordKindName::Sheet: {
            SheetRecord record;
            if (!ReadSheetRecord(data, static_cast<int32_t>(length), record, &fault)) break;
            return describeSheet(record);
        }
    }
    throw DescriptionError(std::string(kindName(kind)) + " record unreadable at offset " +
                           std::to_string(fault.offset) + ": " + fault.what);
}

}  // namespace mx::tool
