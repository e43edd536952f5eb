// Files in and out, and telling the inputs apart: a description (JSON), a
// data file (preamble, encrypted chunks, MD5 trailer) or a bare record stream
// (a blob, or a Sheet or Lubricant record).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace mx::tool {

// An error the user can act on; main prints it and exits with status 2.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> readFileBytes(const std::string& path);
std::string readFileText(const std::string& path);
// Writes through a temporary file and a rename, so a failed write leaves no
// half-written output behind.
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void writeFileText(const std::string& path, const std::string& text);
// Writes `text` to the file at `path`, or to standard output when it is empty.
void writeOutput(const std::string& path, const std::string& text);

enum class InputForm { Description, DataFile, RecordStream };

// A JSON object is a description; a version block at offset 16 makes a record
// stream; anything else is taken as a data file (so a damaged one is still
// examined as such). Sheet record streams carry no version block: callers
// name them explicitly.
InputForm sniffInput(const std::vector<uint8_t>& bytes);
const char* inputFormName(InputForm form);

}  // namespace mx::tool
