#include "mxtool/pack.h"

#include "io/dispatch.h"
#include "mxtool/commands.h"
#include "mxtool/data_file_view.h"
#include "mxtool/json_layout.h"

namespace mx::tool {

namespace {

std::string preambleOf(const Json& description) {
    const auto found = description.find("dataFile");
    if (found == description.end()) return kDefaultPreamble;
    if (!found->is_object()) throw DescriptionError("dataFile: expected an object");
    for (const auto& [key, value] : found->items()) {
        if (key != "preamble") throw DescriptionError("dataFile: unknown key \"" + key + "\"");
    }
    const auto preamble = found->find("preamble");
    if (preamble == found->end()) return kDefaultPreamble;
    if (!preamble->is_string()) throw DescriptionError("dataFile.preamble: expected a string");
    const Text text = textFromUtf8(preamble->get<std::string>(), "dataFile.preamble");
    std::string bytes;
    for (char16_t c : text)
        bytes += static_cast<char>(c);
    return bytes;
}

RecordKindName kindOfStream(const std::vector<uint8_t>& bytes, bool sheetStream) {
    if (sheetStream) return RecordKindName::Sheet;
    uint16_t kind = 0;
    if (bytes.size() > static_cast<size_t>(INT32_MAX) ||
        !PeekRecordKind(bytes.data(), static_cast<int32_t>(bytes.size()), kind)) {
        throw ToolError(
            "record stream head unreadable (shorter than 16 bytes, or no kind "
            "after the version block)");
    }
    if (kind < 1 || kind > 3) throw ToolError("record kind " + std::to_string(kind) + " unknown");
    return static_cast<RecordKindName>(kind);
}

// Puts the "dataFile" object right after the header fields.
Json withDataFile(const Json& description, const std::string& preamble) {
    Json out;
    for (const auto& [key, value] : description.items()) {
        out[key] = value;
        if (key == "kind") {
            Text text;
            for (char c : preamble)
                text += static_cast<char16_t>(static_cast<uint8_t>(c));
            out["dataFile"] = Json{{"preamble", utf8FromText(text)}};
        }
    }
    return out;
}

}  // namespace

std::vector<uint8_t> packDescription(const Json& description, PackForm form) {
    const RecordKindName kind = describedKind(description);
    std::vector<uint8_t> stream = recordStreamOf(description);
    if (form == PackForm::RecordStream) return stream;
    return buildDataFile(preambleOf(description), static_cast<uint16_t>(kind), std::move(stream));
}

Json unpackBytes(const std::vector<uint8_t>& bytes, bool sheetStream) {
    if (!sheetStream && sniffInput(bytes) == InputForm::DataFile) {
        const DataFileView view = viewDataFile(bytes);
        if (!view.hasRecord) throw ToolError("the data file holds no record chunk");
        if (view.recordKind < 1 || view.recordKind > 3) {
            throw ToolError("record chunk of unknown kind " + std::to_string(view.recordKind));
        }
        const Json d = describeRecordStream(static_cast<RecordKindName>(view.recordKind),
                                            view.record.data(), view.record.size());
        return withDataFile(d, view.preamble);
    }
    return describeRecordStream(kindOfStream(bytes, sheetStream), bytes.data(), bytes.size());
}

void addPackCommands(CLI::App& app, CommandStatus& status) {
    struct PackOptions {
        std::string input, output;
        bool stream = false;
    };
    auto pack = std::make_shared<PackOptions>();
    CLI::App* packCmd = app.add_subcommand("pack", "Turn a description (JSON) into a data file");
    packCmd->footer(
        "The description's schema is in docs/description.md. With --stream the bare record "
        "stream is written instead (for a module: a blob).\n"
        "Example: mxtool pack data/demo.json -o demo.mxd");
    addInputFile(packCmd, "description", pack->input, "description (JSON)");
    packCmd->add_option("-o,--output", pack->output, "file to write")->required();
    packCmd->add_flag("--stream", pack->stream, "write the record stream, not a data file");
    packCmd->callback([pack, &status] {
        Json description;
        try {
            description = Json::parse(readFileText(pack->input));
        } catch (const Json::parse_error& e) {
            throw ToolError(pack->input + ": not valid JSON: " + e.what());
        }
        const auto bytes = packDescription(
            description, pack->stream ? PackForm::RecordStream : PackForm::DataFile);
        writeFileBytes(pack->output, bytes);
        status.exitCode = 0;
    });

    struct UnpackOptions {
        std::string input, output;
        bool sheet = false;
    };
    auto unpack = std::make_shared<UnpackOptions>();
    CLI::App* unpackCmd = app.add_subcommand("unpack", "Describe a data file or a blob as JSON");
    unpackCmd->footer(
        "Packing the description again gives the same file.\n"
        "Example: mxtool unpack data/demo.mxd -o demo.json");
    addInputFile(unpackCmd, "input", unpack->input, "data file or record stream");
    unpackCmd->add_option("-o,--output", unpack->output, "file to write (default: stdout)");
    unpackCmd->add_flag("--sheet", unpack->sheet,
                        "the input is a bare Sheet record stream (it has no version block)");
    unpackCmd->callback([unpack, &status] {
        const std::string text =
            layoutJson(unpackBytes(readFileBytes(unpack->input), unpack->sheet));
        writeOutput(unpack->output, text);
        status.exitCode = 0;
    });
}

}  // namespace mx::tool
