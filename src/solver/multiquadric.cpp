#include "solver/multiquadric.h"

#include <cmath>

namespace mx {

double EvaluateMultiquadric(const PackageData& model, const double* centres, const double* point) {
    const double s0 = model.scales[0], s1 = model.scales[1], s2 = model.scales[2],
                 s3 = model.scales[3];
    const double x0 = point[0], x1 = point[1], x2 = point[2], x3 = point[3];
    const double shape = model.shape;
    const double* weights = model.weights.data();
    const size_t centreCount = model.weights.size();
    double sum = 0.0;
    for (size_t i = 0; i < centreCount; ++i) {
        const double* z = centres + 4 * i;
        const double d0 = (z[0] - x0) * s0;
        const double d1 = (z[1] - x1) * s1;
        const double d2 = (z[2] - x2) * s2;
        const double d3 = (z[3] - x3) * s3;
        const double q = ((((0.0 + d0 * d0) + d1 * d1) + d2 * d2) + d3 * d3) + shape;
        sum = sum + std::sqrt(q) * weights[i];
    }
    return sum + model.offset;
}

void EvaluateModelOnGrid(const PackageData& model, const double* centres, const double* points,
                         int32_t pointCount, double factor, double* out) {
    for (int32_t p = 0; p < pointCount; ++p) {
        out[p] = factor * EvaluateMultiquadric(model, centres, points + 4 * static_cast<size_t>(p));
    }
}

}  // namespace mx
