#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_layer_shell_v1;
struct org_kde_plasma_window_management;
class QSocketNotifier;

// Quorvel's own connection to the Wayland compositor, beside whatever Qt
// uses: the globals the stat window's layer surface and the active-application
// watcher need, the outputs with their scales, and pointer entries. Its events
// are read from Qt's event loop; requests are flushed before the loop sleeps.
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    struct Output {
        wl_output* output = nullptr;
        quint32 globalName = 0;
        int scale = 1;
        QString name;
        // Where it is in the compositor's logical space, where it says so.
        zxdg_output_v1* xdgOutput = nullptr;
        QRect logical;
    };

    // Null when there is no compositor to connect to.
    static std::unique_ptr<WaylandConnection> connect();
    ~WaylandConnection() override;

    // Reads events from Qt's event loop from now on.
    void attachToEventLoop();
    void flush();

    wl_display* display() const { return display_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
    wp_viewporter* viewporter() const { return viewporter_; }
    wp_fractional_scale_manager_v1* fractionalScale() const { return fractionalScale_; }
    // The window lists announce every existing window as soon as they are
    // bound, so they are bound only by whoever listens to them, with the
    // listener added before any event is read; the caller owns the object.
    bool offersForeignToplevels() const { return foreignToplevels_.name != 0; }
    bool offersPlasmaWindows() const { return plasmaWindows_.name != 0; }
    zwlr_foreign_toplevel_manager_v1* bindForeignToplevels() const;
    org_kde_plasma_window_management* bindPlasmaWindows() const;

    const std::vector<Output>& outputs() const { return outputs_; }
    int scaleOf(const wl_output* output) const;
    // The output's place in the compositor's logical space; null if unknown.
    QRect logicalRectOf(const wl_output* output) const;

    // The output the stat window's surface is on, as the compositor last said
    // (null before it has said, or while there is no surface).
    const wl_output* statWindowOutput() const { return statWindowOutput_; }
    void setStatWindowOutput(const wl_output* output) { statWindowOutput_ = output; }

    // Called with the surface the pointer came onto.
    // The surface the pointer came onto, and where on it, in its units.
    void setPointerEnterHandler(std::function<void(wl_surface*, QPoint)> handler) {
        pointerEntered_ = std::move(handler);
    }

signals:
    void outputsChanged();
    // The output is about to be forgotten; its address means nothing after.
    void outputRemoved(const void* output); // a wl_output, opaque to Qt

private:
    WaylandConnection() = default;
    void readEvents();
    const Output* find(const wl_output* output) const;

    static void global(void* data, wl_registry* registry, quint32 name, const char* interface,
                       quint32 version);
    static void globalRemove(void* data, wl_registry* registry, quint32 name);
    void describeOutput(Output& output);
    static void seatCapabilities(void* data, wl_seat* seat, quint32 capabilities);
    static void pointerEnter(void* data, wl_pointer* pointer, quint32 serial, wl_surface* surface,
                             qint32 x, qint32 y);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    const wl_output* statWindowOutput_ = nullptr;
    struct Global {
        quint32 name = 0;
        quint32 version = 0;
    };
    Global foreignToplevels_;
    Global plasmaWindows_;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    std::vector<Output> outputs_;
    std::function<void(wl_surface*, QPoint)> pointerEntered_;
    QSocketNotifier* notifier_ = nullptr;
    bool lost_ = false;
};
