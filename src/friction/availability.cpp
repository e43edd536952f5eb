#include "friction/evaluate.h"

namespace mx {

uint32_t productionRuleHolds(const Module& m) {
    if (isPackageAvailable(m, 8) && isPackageAvailable(m, 10)) return 1;
    if (isPackageAvailable(m, 9) && isPackageAvailable(m, 11)) return 1;
    return 0;
}

}  // namespace mx
