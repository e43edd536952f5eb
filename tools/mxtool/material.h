// An input file read the way the plug-in reads it: a data file through the
// loader, a record stream through the record dispatch, a description packed in
// memory first. What the plug-in rejects comes back with the core's reason.
#pragma once

#include <optional>
#include <string>

#include "model/module.h"
#include "mxtool/data_file_view.h"
#include "mxtool/io.h"

namespace mx::tool {

struct LoadedMaterial {
    std::string path;
    InputForm form = InputForm::DataFile;
    std::optional<DataFileView> dataFile;  // the file's chunks, when it can be walked
    std::string dataFileProblem;           // why it cannot
    int recordKind = 0;                    // 1 Sheet, 2 Lubricant, 3 module; 0 unknown
    ModulePtr module;                      // finalized; null when the plug-in rejects the input
    std::vector<std::string> rejections;   // every reason found, first the loader's own
};

// `sheetStream`: the input is a bare Sheet record stream (no version block).
LoadedMaterial loadMaterial(const std::string& path, bool sheetStream = false);

const char* recordKindText(int kind);  // "Sheet record", ...

}  // namespace mx::tool
