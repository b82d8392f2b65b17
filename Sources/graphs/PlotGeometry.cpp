#include "graphs/PlotGeometry.h"

#include <cmath>

namespace PlotGeometry {

double netBarLength(float bytesPerSecond, float scale, float plotHeight) {
    const float v = bytesPerSecond + 1.0f;
    return std::log10(double(v)) / double(scale) * double(plotHeight) / 2.0;
}

} // namespace PlotGeometry
