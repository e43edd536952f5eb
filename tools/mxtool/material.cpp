#include "mxtool/material.h"

#include "io/data_file.h"
#include "io/dispatch.h"
#include "mxtool/description.h"

namespace mx::tool {

namespace {

std::string faultText(const ReadFault& fault, const std::string& where) {
    if (fault.offset < 0) return where + "rejected (no reason recorded)";
    return where + fault.what + " at offset " + std::to_string(fault.offset);
}

void readStream(LoadedMaterial& out, const uint8_t* data, size_t length, int kind,
                const std::string& where) {
    if (length > static_cast<size_t>(INT32_MAX)) {
        out.rejections.push_back(where + "record stream of 2 GiB or more");
        return;
    }
    ReadFault fault;
    ModulePtr slot;
    const auto n = static_cast<int32_t>(length);
    bool ok;
    if (kind == 0) {
        ok = ReadRecordStream(data, n, slot, &fault);
        uint16_t peeked = 0;
        if (PeekRecordKind(data, n, peeked)) out.recordKind = peeked;
    } else {
        out.recordKind = kind;
        ok = DispatchRecord(static_cast<int16_t>(kind), data, n, slot, &fault);
    }
    if (ok) {
        out.module = std::move(slot);
    } else {
        out.rejections.push_back(faultText(fault, where));
    }
}

void loadDataFile(LoadedMaterial& out, const std::vector<uint8_t>& bytes) {
    try {
        out.dataFile = viewDataFile(bytes);
        if (out.dataFile->hasRecord) out.recordKind = out.dataFile->recordKind;
    } catch (const ToolError& e) {
        out.dataFileProblem = e.what();
    }
    ModulePtr module;
    LoadFault fault;
    if (LoadDataFile(out.path.c_str(), module, &fault)) {
        out.module = std::move(module);
        if (!out.module) out.rejections.push_back("the data file holds no record chunk");
        return;
    }
    out.rejections.push_back(fault.offset < 0 ? "rejected (no reason recorded)"
                                              : fault.what + " (file offset " +
                                                    std::to_string(fault.offset) + ")");
    // The loader stops at its first reason. Past a digest mismatch the chunks
    // and the record may hold more.
    if (fault.what.find("MD5 trailer mismatch") != std::string::npos) {
        if (!out.dataFileProblem.empty()) out.rejections.push_back(out.dataFileProblem);
    }
    if (fault.what.find("MD5 trailer mismatch") != std::string::npos && out.dataFile &&
        out.dataFile->hasRecord) {
        LoadedMaterial record;
        const auto& rec = out.dataFile->record;
        readStream(record, rec.data(), rec.size(), out.dataFile->recordKind, "record chunk: ");
        for (auto& reason : record.rejections)
            out.rejections.push_back(std::move(reason));
    }
}

}  // namespace

const char* recordKindText(int kind) {
    switch (kind) {
        case 1:
            return "Sheet record";
        case 2:
            return "Lubricant record";
        case 3:
            return "module record";
        default:
            return "record of unknown kind";
    }
}

LoadedMaterial loadMaterial(const std::string& path, bool sheetStream) {
    LoadedMaterial out;
    out.path = path;
    const std::vector<uint8_t> bytes = readFileBytes(path);
    out.form = sheetStream ? InputForm::RecordStream : sniffInput(bytes);
    switch (out.form) {
        case InputForm::DataFile:
            loadDataFile(out, bytes);
            break;
        case InputForm::RecordStream:
            readStream(out, bytes.data(), bytes.size(), sheetStream ? 1 : 0, "");
            break;
        case InputForm::Description: {
            Json description;
            try {
                description = Json::parse(bytes.begin(), bytes.end());
            } catch (const Json::parse_error& e) {
                throw ToolError(path + ": not valid JSON: " + e.what());
            }
            const int kind = static_cast<int>(describedKind(description));
            const std::vector<uint8_t> stream = recordStreamOf(description);
            readStream(out, stream.data(), stream.size(), kind, "");
            break;
        }
    }
    return out;
}

}  // namespace mx::tool
