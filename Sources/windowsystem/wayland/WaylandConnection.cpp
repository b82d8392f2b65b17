#include "windowsystem/wayland/WaylandConnection.h"

#include "session/SystemLog.h"

#include "fractional-scale-v1-client-protocol.h"
#include "plasma-window-management-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "windowsystem/wayland/LayerShellProtocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The versions whose events the listeners here handle; a compositor that
// offers more is bound at these.
constexpr quint32 compositorVersion = 4;
constexpr quint32 outputVersion = 4; // the name event
constexpr quint32 seatVersion = 5;
constexpr quint32 layerShellVersion = 3;
constexpr quint32 foreignToplevelVersion = 3;
// 16: windows tell their geometry (6) and are known by uuid (13), which KWin 6
// needs; every event up to 16 has a handler.
constexpr quint32 plasmaWindowsVersionWanted = 16;

void ignoreOutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t,
                          const char*, const char*, int32_t) {}
void ignoreOutputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void ignoreOutputDone(void*, wl_output*) {}
void ignoreOutputDescription(void*, wl_output*, const char*) {}
void ignoreSeatName(void*, wl_seat*, const char*) {}
void ignorePointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void ignorePointerMotion(void*, wl_pointer*, uint32_t, wl_fixed_t, wl_fixed_t) {}
void ignorePointerButton(void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void ignorePointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void ignorePointerFrame(void*, wl_pointer*) {}
void ignorePointerAxisSource(void*, wl_pointer*, uint32_t) {}
void ignorePointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void ignorePointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

// Released, where the version bound has the request that tells the
// compositor; older versions are only forgotten on this side.
void releaseOutput(wl_output* output) {
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(output);
    else
        wl_output_destroy(output);
}

void releasePointer(wl_pointer* pointer) {
    if (wl_pointer_get_version(pointer) >= WL_POINTER_RELEASE_SINCE_VERSION)
        wl_pointer_release(pointer);
    else
        wl_pointer_destroy(pointer);
}

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection);
    connection->display_ = display;
    connection->registry_ = wl_display_get_registry(display);
    static const wl_registry_listener registryListener = {&WaylandConnection::global,
                                                          &WaylandConnection::globalRemove};
    wl_registry_add_listener(connection->registry_, &registryListener, connection.get());
    // One round trip for the globals, one for what binding them sent (the
    // outputs' scales and names, the seat's capabilities).
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        systemLog(QStringLiteral("Wayland: the compositor did not answer."));
        return nullptr;
    }
    return connection;
}

WaylandConnection::~WaylandConnection() {
    delete notifier_;
    if (pointer_)
        releasePointer(pointer_);
    if (seat_) {
        if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION)
            wl_seat_release(seat_);
        else
            wl_seat_destroy(seat_);
    }
    for (const Output& output : outputs_) {
        if (output.xdgOutput)
            zxdg_output_v1_destroy(output.xdgOutput);
        releaseOutput(output.output);
    }
    if (xdgOutputs_)
        zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (layerShell_) {
        // The destroy request came with version 3; before it there is none.
        if (zwlr_layer_shell_v1_get_version(layerShell_) >=
            ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(layerShell_);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
    }
    if (fractionalScale_)
        wp_fractional_scale_manager_v1_destroy(fractionalScale_);
    if (viewporter_)
        wp_viewporter_destroy(viewporter_);
    if (shm_)
        wl_shm_destroy(shm_);
    if (compositor_)
        wl_compositor_destroy(compositor_);
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

void WaylandConnection::attachToEventLoop() {
    if (notifier_)
        return;
    notifier_ = new QSocketNotifier(wl_display_get_fd(display_), QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, &WaylandConnection::readEvents);
    // Requests queue up in the connection; they leave before Qt sleeps, so a
    // tick's requests go out together.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     this, &WaylandConnection::flush);
    // Events read during setup wait in the queue.
    wl_display_dispatch_pending(display_);
}

void WaylandConnection::flush() {
    if (!lost_)
        wl_display_flush(display_);
}

void WaylandConnection::readEvents() {
    if (lost_)
        return;
    if (wl_display_dispatch(display_) >= 0)
        return;
    lost_ = true;
    notifier_->setEnabled(false);
    const int error = wl_display_get_error(display_);
    systemLog(QStringLiteral("Wayland: the connection to the compositor was lost (%1); the stat "
                             "window is gone until Quorvel starts again.")
                  .arg(QString::fromLocal8Bit(std::strerror(error ? error : EPIPE))));
}

zwlr_foreign_toplevel_manager_v1* WaylandConnection::bindForeignToplevels() const {
    if (!offersForeignToplevels())
        return nullptr;
    return static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry_, foreignToplevels_.name,
                         &zwlr_foreign_toplevel_manager_v1_interface, foreignToplevels_.version));
}

org_kde_plasma_window_management* WaylandConnection::bindPlasmaWindows() const {
    if (!offersPlasmaWindows())
        return nullptr;
    return static_cast<org_kde_plasma_window_management*>(
        wl_registry_bind(registry_, plasmaWindows_.name,
                         &org_kde_plasma_window_management_interface, plasmaWindows_.version));
}

const WaylandConnection::Output* WaylandConnection::find(const wl_output* output) const {
    for (const Output& known : outputs_)
        if (known.output == output)
            return &known;
    return nullptr;
}

QRect WaylandConnection::logicalRectOf(const wl_output* output) const {
    const Output* known = find(output);
    return known ? known->logical : QRect();
}

int WaylandConnection::scaleOf(const wl_output* output) const {
    const Output* known = find(output);
    return known ? known->scale : 1;
}

void WaylandConnection::global(void* data, wl_registry* registry, quint32 name,
                               const char* interface, quint32 version) {
    auto* self = static_cast<WaylandConnection*>(data);
    auto bind = [&](const wl_interface* type, quint32 wanted) {
        return wl_registry_bind(registry, name, type, std::min(version, wanted));
    };
    const std::string_view is(interface);
    if (is == wl_compositor_interface.name) {
        self->compositor_ =
            static_cast<wl_compositor*>(bind(&wl_compositor_interface, compositorVersion));
    } else if (is == wl_shm_interface.name) {
        self->shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (is == zwlr_layer_shell_v1_interface.name) {
        self->layerShell_ = static_cast<zwlr_layer_shell_v1*>(
            bind(&zwlr_layer_shell_v1_interface, layerShellVersion));
    } else if (is == wp_viewporter_interface.name) {
        self->viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (is == wp_fractional_scale_manager_v1_interface.name) {
        self->fractionalScale_ = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
    } else if (is == zxdg_output_manager_v1_interface.name) {
        self->xdgOutputs_ =
            static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 1));
        for (Output& output : self->outputs_)
            self->describeOutput(output);
    } else if (is == zwlr_foreign_toplevel_manager_v1_interface.name) {
        self->foreignToplevels_ = {name, std::min(version, foreignToplevelVersion)};
    } else if (is == org_kde_plasma_window_management_interface.name) {
        self->plasmaWindows_ = {name, std::min(version, plasmaWindowsVersionWanted)};
    } else if (is == wl_seat_interface.name && !self->seat_) {
        self->seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, seatVersion));
        static const wl_seat_listener seatListener = {&WaylandConnection::seatCapabilities,
                                                      ignoreSeatName};
        wl_seat_add_listener(self->seat_, &seatListener, self);
    } else if (is == wl_output_interface.name) {
        Output output;
        output.globalName = name;
        output.output = static_cast<wl_output*>(bind(&wl_output_interface, outputVersion));
        self->outputs_.push_back(output);
        static const wl_output_listener outputListener = {
            ignoreOutputGeometry,
            ignoreOutputMode,
            ignoreOutputDone,
            [](void* data, wl_output* output, int32_t factor) {
                auto* self = static_cast<WaylandConnection*>(data);
                for (Output& known : self->outputs_)
                    if (known.output == output && known.scale != factor) {
                        known.scale = std::max(1, factor);
                        emit self->outputsChanged();
                    }
            },
            [](void* data, wl_output* output, const char* outputName) {
                auto* self = static_cast<WaylandConnection*>(data);
                // An output comes with no name; a window waiting for this
                // name learns of it now.
                for (Output& known : self->outputs_)
                    if (known.output == output && known.name != QString::fromUtf8(outputName)) {
                        known.name = QString::fromUtf8(outputName);
                        emit self->outputsChanged();
                    }
            },
            ignoreOutputDescription};
        wl_output_add_listener(self->outputs_.back().output, &outputListener, self);
        self->describeOutput(self->outputs_.back());
        emit self->outputsChanged();
    }
}

// Asks for the output's logical place, where the compositor tells it.
void WaylandConnection::describeOutput(Output& output) {
    if (!xdgOutputs_ || output.xdgOutput)
        return;
    output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output.output);
    static const zxdg_output_v1_listener listener = {
        [](void* data, zxdg_output_v1* xdgOutput, int32_t x, int32_t y) {
            auto* self = static_cast<WaylandConnection*>(data);
            for (Output& known : self->outputs_)
                if (known.xdgOutput == xdgOutput)
                    known.logical.moveTo(x, y);
        },
        [](void* data, zxdg_output_v1* xdgOutput, int32_t width, int32_t height) {
            auto* self = static_cast<WaylandConnection*>(data);
            for (Output& known : self->outputs_)
                if (known.xdgOutput == xdgOutput)
                    known.logical.setSize(QSize(width, height));
        },
        [](void*, zxdg_output_v1*) {},
        // Of later versions than the one bound; never sent, but no slot is left empty.
        [](void*, zxdg_output_v1*, const char*) {}, [](void*, zxdg_output_v1*, const char*) {}};
    zxdg_output_v1_add_listener(output.xdgOutput, &listener, this);
}

void WaylandConnection::globalRemove(void* data, wl_registry*, quint32 name) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto gone = std::find_if(self->outputs_.begin(), self->outputs_.end(),
                                   [name](const Output& o) { return o.globalName == name; });
    if (gone == self->outputs_.end())
        return;
    if (self->statWindowOutput_ == gone->output)
        self->statWindowOutput_ = nullptr;
    // Whoever keeps the output's address forgets it now, before the address
    // can be given to another object.
    emit self->outputRemoved(gone->output);
    if (gone->xdgOutput)
        zxdg_output_v1_destroy(gone->xdgOutput);
    releaseOutput(gone->output);
    self->outputs_.erase(gone);
    emit self->outputsChanged();
}

void WaylandConnection::seatCapabilities(void* data, wl_seat* seat, quint32 capabilities) {
    auto* self = static_cast<WaylandConnection*>(data);
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (hasPointer && !self->pointer_) {
        self->pointer_ = wl_seat_get_pointer(seat);
        // Filled by name: the pointer is of the seat's bound version (5),
        // whose events all have a handler; later versions' events
        // (axis_value120, axis_relative_direction) never come.
        static const wl_pointer_listener pointerListener = [] {
            wl_pointer_listener listener{};
            listener.enter = &WaylandConnection::pointerEnter;
            listener.leave = ignorePointerLeave;
            listener.motion = ignorePointerMotion;
            listener.button = ignorePointerButton;
            listener.axis = ignorePointerAxis;
            listener.frame = ignorePointerFrame;
            listener.axis_source = ignorePointerAxisSource;
            listener.axis_stop = ignorePointerAxisStop;
            listener.axis_discrete = ignorePointerAxisDiscrete;
            return listener;
        }();
        wl_pointer_add_listener(self->pointer_, &pointerListener, self);
    } else if (!hasPointer && self->pointer_) {
        releasePointer(std::exchange(self->pointer_, nullptr));
    }
}

void WaylandConnection::pointerEnter(void* data, wl_pointer*, quint32, wl_surface* surface,
                                     wl_fixed_t x, wl_fixed_t y) {
    auto* self = static_cast<WaylandConnection*>(data);
    if (self->pointerEntered_ && surface)
        self->pointerEntered_(surface,
                              QPoint(int(wl_fixed_to_double(x)), int(wl_fixed_to_double(y))));
}
