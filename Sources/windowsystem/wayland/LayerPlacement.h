#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <optional>

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

// Where a surface of size takes the pointer while it senses it: all of it, so
// that a pointer gliding on at any speed lands on it with its first motion
// inside, less a square `hole` units on each side of where a pointer rests
// (found there when the surface appeared), so that it never catches that
// pointer's clicks. The rectangles do not overlap.
QList<QRect> sensingRegion(const QSize& size, const std::optional<QPoint>& resting, int hole);

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
