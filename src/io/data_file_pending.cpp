// Placeholder until data-file loading lands.
#include "io/data_file.h"

namespace mx {

bool LoadDataFile(const char*, ModulePtr&) {
    return false;
}

}  // namespace mx
