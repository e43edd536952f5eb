#include "mxtool/io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace mx::tool {

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError("cannot read " + path);
    return bytes;
}

std::string readFileText(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw ToolError("cannot write " + path + ": " + std::strerror(errno));
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            throw ToolError("cannot write " + path);
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        throw ToolError("cannot write " + path + ": " + error.message());
    }
}

void writeFileText(const std::string& path, const std::string& text) {
    writeFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void writeOutput(const std::string& path, const std::string& text) {
    if (path.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        writeFileText(path, text);
    }
}

InputForm sniffInput(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        if (b == '{') return InputForm::Description;
        if (b != ' ' && b != '\t' && b != '\n' && b != '\r') break;
    }
    static const uint8_t versionBlock[18] = {10,  0,   0,   0,   0,   0,   0,   0,   'V',
                                             'e', 'r', 's', 'i', 'o', 'n', 'B', 'l', 'k'};
    if (bytes.size() >= 36 && std::memcmp(bytes.data() + 16, versionBlock, 18) == 0) {
        return InputForm::RecordStream;
    }
    return InputForm::DataFile;
}

const char* inputFormName(InputForm form) {
    switch (form) {
        case InputForm::Description:
            return "description";
        case InputForm::DataFile:
            return "data file";
        case InputForm::RecordStream:
            return "record stream";
    }
    return "?";
}

}  // namespace mx::tool
