#include "friction/evaluate.h"

namespace mx {

uint32_t packageIndexFromId(uint32_t packageId) {
    // Ids 0..5 are a permutation of the indices 0..5, ids 6..11 map to
    // themselves, every other id reads index 1 (as id 3 does).
    static constexpr uint32_t kIndexOfId[12] = {5, 4, 2, 1, 0, 3, 6, 7, 8, 9, 10, 11};
    return packageId < 12 ? kIndexOfId[packageId] : 1;
}

// The flag itself, not a recomputed boolean: with direction dependency the
// transverse flag must equal the primary one.
uint32_t isPackageAvailable(const Module& m, uint32_t packageId) {
    const uint32_t i = packageIndexFromId(packageId);
    if (i >= m.packageTable.size()) return 0;
    const uint32_t v = m.packageTable[i];
    if (m.directionDependency == 0) return v;
    if (i >= m.transversePackageTable.size()) return 0;
    return m.transversePackageTable[i] == v ? v : 0;
}

uint32_t productionRuleHolds(const Module& m) {
    if (isPackageAvailable(m, 8) && isPackageAvailable(m, 10)) return 1;
    if (isPackageAvailable(m, 9) && isPackageAvailable(m, 11)) return 1;
    return 0;
}

}  // namespace mx
