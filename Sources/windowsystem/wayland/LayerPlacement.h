#pragma once

#include <QList>
#include <QRect>
#include <QSize>

#include <cstdint>

// How the stat window sits as a layer surface: which output edges it is
// anchored to, and the buffer that fills it at an output's scale. Plain
// arithmetic, so that it can be tested without a compositor.
namespace LayerPlacement {

// The layer shell's anchor bits.
enum Anchor : std::uint32_t { Top = 1, Bottom = 2, Left = 4, Right = 8 };

// The corner of screen that frame sits in, as anchor bits: the window keeps
// to that corner whatever the compositor's idea of the output's size. Panels
// are kept clear of by the compositor (an exclusive zone of 0), so no margin
// is needed for them.
std::uint32_t anchorFor(const QRect& frame, const QRect& screen);

// Where a surface of size, anchored so, takes the pointer while it senses it:
// a band `width` units deep along each edge that faces the output's inside,
// the edges a pointer crosses to come onto it. The inside takes nothing, so a
// pointer that rests there when the window comes back never catches a click.
QList<QRect> sensingBand(const QSize& size, std::uint32_t anchor, int width);

struct Buffer {
    QSize pixels;          // the buffer's size in pixels
    int bufferScale = 1;   // wl_surface.set_buffer_scale
    bool viewport = false; // scaled to the surface's size by a viewport
};

// The buffer for a surface of logical size at the output's integer scale,
// or at a fractional one (in 120ths, 0 when the compositor gives none), which
// wins when a viewport can scale the buffer to the surface.
Buffer bufferFor(const QSize& logical, int integerScale, int fractionalScale120, bool canViewport);

} // namespace LayerPlacement
