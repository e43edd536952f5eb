// Placeholder until friction evaluation lands: every query fails cleanly.
#include "friction/evaluate.h"

namespace mx {

uint32_t packageIndexFromId(uint32_t) {
    return 1;
}
uint32_t isPackageAvailable(const Module&, uint32_t) {
    return 0;
}
uint32_t productionRuleHolds(const Module&) {
    return 0;
}
bool GetPackageValue(const Module&, const InputRecord&, uint32_t, double&) {
    return false;
}
bool GetPackageAverage(const Module&, const InputRecord&, uint32_t, double&) {
    return false;
}
bool GetSurfaceRoughness(const Module&, const InputRecord&, double, double&) {
    return false;
}
bool GetRealContactArea(const Module&, const InputRecord&, double, double&) {
    return false;
}
bool GetHistoryParameter(const Module&, const InputRecord&, double, double&) {
    return false;
}
bool GetLubricationAmount(const Module&, const InputRecord&, double, double&, double&) {
    return false;
}
bool GetSpotLubeIndicator(const Module&, const InputRecord&, double, double&) {
    return false;
}
bool GetGallingIndicator(const Module&, const InputRecord&, double, double&) {
    return false;
}
bool GetWearIndicator(const Module&, const InputRecord&, double, double&) {
    return false;
}
bool GetProductionVolume(const Module&, const InputRecord&, const double*, const double*, double&) {
    return false;
}
bool GetHeatTransferCoefficient(const Module&, const InputRecord&, double, double&) {
    return false;
}

}  // namespace mx
