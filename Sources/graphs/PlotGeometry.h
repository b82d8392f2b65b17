#pragma once

// Where the graphs put their columns, in the units of a graph image whose
// origin is its bottom-left corner.
namespace PlotGeometry {

// Sample c (0 = oldest kept) is a one-unit column centred here.
inline float columnCenter(int c) {
    return float(double(c) + 1.5);
}

// Samples a graph of width w holds: one empty unit stays at each side.
inline int capacity(float imageWidth) {
    return int(imageWidth - 2.0f);
}

// Height of the plot area below a title strip of topMargin.
inline float plotHeight(float imageHeight, float topMargin) {
    return imageHeight - (topMargin + 1.0f);
}

// Length of a network bar for a rate in bytes per second: `scale` decades of
// bytes per second fill half the plot height. Not clipped: rates beyond that
// reach into the other half.
double netBarLength(float bytesPerSecond, float scale, float plotHeight);

} // namespace PlotGeometry
