#pragma once

#include "windowsystem/WindowKeeper.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>

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
// Sensing the pointer (AutoHide): only a thin band along the edges that face
// the output's inside takes the pointer, the edges a pointer crosses to come
// onto the window; its entry there empties the region at once. A pointer
// resting inside the window when it comes back is on no input region, so a
// click there reaches the window beneath. The compositor also reports an
// entry when the surface appears under a pointer resting on the band; an
// entry right after that is let be: the window stays, lets clicks through,
// and takes the pointer again a while later, so a pointer left in the corner
// never keeps it hidden.
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
    void pointerCameOn(wl_surface* surface);
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
    QTimer* rearm_;
    QElapsedTimer armed_; // since the input region last took the pointer
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
