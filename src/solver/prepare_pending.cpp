// Placeholder until solver preparation lands.
#include "solver/prepare.h"

namespace mx {

bool PrepareSolverData(Module&) {
    return false;
}

}  // namespace mx
