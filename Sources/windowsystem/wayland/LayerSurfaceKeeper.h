#pragma once

#include "windowsystem/WindowKeeper.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QTimer;
class QWidget;
class WaylandConnection;
struct wl_buffer;
struct wl_output;
struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct zwlr_layer_surface_v1;

// The stat window as a layer surface (wlroots' layer shell) on Quorvel's own
// Wayland connection: on the top layer, above every ordinary window and
// beneath the panels' menus and notifications, in the corner the window's
// frame is in, clear of panels' exclusive zones, on every workspace, never
// given the keyboard, with an input region that never takes a click over its
// inside, so that clicks there reach the window beneath. The Qt widget itself is never shown:
// its graphs are drawn into shared-memory buffers at the output's scale
// (fractional where the compositor offers it), the window's alpha applied.
//
// Sensing the pointer (AutoHide): the whole surface takes the pointer, so
// that a pointer gliding on at any speed is seen at its first motion inside;
// its entry empties the region at once, so the next click goes to the window
// beneath. An entry right after the surface appeared (or began sensing) is a
// pointer resting where the window came back: the surface is made anew with
// a small hole in its region around that pointer (compositors look for the
// surface under a resting pointer when one appears, not when a region
// changes), so its clicks reach the window beneath, and only a pointer that
// moves out of the hole onto the window hides it again.
//
// Hiding destroys the surface and showing makes a new one, which is how the
// layer shell maps a surface again.
class LayerSurfaceKeeper : public QObject, public WindowKeeper {
    Q_OBJECT
public:
    LayerSurfaceKeeper(QWidget* window, WaylandConnection& wayland);
    ~LayerSurfaceKeeper() override;

    void show() override;
    void hide() override;
    void setAlpha(float alpha) override;
    void setClickThrough(bool on) override;
    void placementChanged() override;
    void setScreenName(const QString& name) override;
    void contentChanged(bool everything) override;
    // A Wayland client is not told where its surface is.
    QRect deviceFrame() const override { return {}; }

    bool seesPointer() const override { return false; }
    void setSensesPointer(bool on) override;

private:
    struct ShmBuffer {
        wl_buffer* buffer = nullptr;
        uchar* pixels = nullptr;
        qsizetype bytes = 0;
        QSize size;
        bool busy = false;
    };

    void createSurface();
    void destroySurface();
    void remakeSurface();
    void setLayerState();
    void applyInputRegion();
    // The input region as it should be now, sent at once.
    void commitInputRegion();
    void draw();
    ShmBuffer* freeBuffer(const QSize& size);
    void dropBuffers();
    void pointerCameOn(wl_surface* surface, QPoint at);
    wl_output* chosenOutput() const;
    void takeScale(int scale);
    std::uint32_t anchorNow() const;
    static void bufferReleased(void* data, wl_buffer* buffer);

    static void configure(void* data, zwlr_layer_surface_v1* layer, quint32 serial, quint32 width,
                          quint32 height);
    static void closed(void* data, zwlr_layer_surface_v1* layer);

    QWidget* window_;
    WaylandConnection& wayland_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    wp_fractional_scale_v1* fractional_ = nullptr;
    std::array<ShmBuffer, 2> buffers_;
    QTimer* drawSoon_;
    // Since the surface began taking the pointer.
    QElapsedTimer armed_;
    // Where a pointer rested when the surface appeared under it.
    std::optional<QPoint> restingAt_;
    bool mapped_ = false;
    bool shown_ = false;
    bool configured_ = false;
    bool sensing_ = false;
    bool entryTaken_ = false;
    bool drawWhenReleased_ = false;
    std::uint32_t anchor_ = 0;
    const wl_output* surfaceOutput_ = nullptr; // the one it was made for
    float alpha_ = 1.0f;
    QString outputName_; // empty: the first output
    int integerScale_ = 1;
    int fractionalScale120_ = 0;
};
