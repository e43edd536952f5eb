// Until the data-file loader and its cryptography land: data files fail cleanly.
#include "mxtool/data_file_view.h"
#include "mxtool/io.h"
namespace mx::tool {
DataFileView viewDataFile(const std::vector<uint8_t>&) {
    throw ToolError("data files are not available in this build yet");
}
std::vector<uint8_t> buildDataFile(const std::string&, uint16_t, std::vector<uint8_t>) {
    throw ToolError("data files are not available in this build yet");
}
}  // namespace mx::tool
