#include "windowsystem/wayland/WaylandActiveApplication.h"

#include "windowsystem/wayland/WaylandConnection.h"

#include "plasma-window-management-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

// wlroots' foreign-toplevel list: a toplevel's properties arrive one by one
// and take effect together at its done event.
struct ForeignToplevelEvents {
    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                         zwlr_foreign_toplevel_handle_v1* handle) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        static const zwlr_foreign_toplevel_handle_v1_listener listener = {
            &title, &appId, &outputEnter, &outputLeave, &state, &done, &closed, &parent};
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, self);
        self->pending_.insert(handle, {});
    }
    static void finished(void*, zwlr_foreign_toplevel_manager_v1*) {}
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void outputEnter(void* data, zwlr_foreign_toplevel_handle_v1* handle,
                            wl_output* output) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        auto& outputs = self->pending_[handle].outputs;
        if (!outputs.contains(output))
            outputs.append(output);
    }
    static void outputLeave(void* data, zwlr_foreign_toplevel_handle_v1* handle,
                            wl_output* output) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->pending_[handle].outputs.removeAll(output);
    }
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* id) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->pending_[handle].appId = QString::fromUtf8(id);
    }
    static void state(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        bool active = false;
        bool fullScreen = false;
        const auto* values = static_cast<const uint32_t*>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
            active |= values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
            fullScreen |= values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN;
        }
        self->pending_[handle].active = active;
        self->pending_[handle].fullScreen = fullScreen;
    }
    static void done(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->toplevels_.insert(handle, self->pending_.value(handle));
        self->changed();
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->pending_.remove(handle);
        self->toplevels_.remove(handle);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        self->changed();
    }
};

// KDE's plasma window management: each window is announced by an id (and,
// from version 13 on, by a uuid as well), then asked for; its properties each
// take effect as they arrive. KWin 6 keeps its windows by uuid: a window asked
// for by the older number is answered as an unknown one (a default state, then
// unmapped at once), so the uuid is used wherever the compositor offers it.
struct PlasmaWindowEvents {
    static bool byUuid(org_kde_plasma_window_management* manager) {
        return org_kde_plasma_window_management_get_version(manager) >=
               ORG_KDE_PLASMA_WINDOW_MANAGEMENT_WINDOW_WITH_UUID_SINCE_VERSION;
    }
    static void showDesktopChanged(void*, org_kde_plasma_window_management*, uint32_t) {}
    static void ignoreOrder(void*, org_kde_plasma_window_management*, wl_array*) {}
    static void ignoreOrderText(void*, org_kde_plasma_window_management*, const char*) {}
    static void windowById(void* data, org_kde_plasma_window_management* manager, uint32_t id) {
        if (!byUuid(manager))
            watch(static_cast<WaylandActiveApplication*>(data),
                  org_kde_plasma_window_management_get_window(manager, id));
    }
    static void windowByUuid(void* data, org_kde_plasma_window_management* manager, uint32_t,
                             const char* uuid) {
        watch(static_cast<WaylandActiveApplication*>(data),
              org_kde_plasma_window_management_get_window_by_uuid(manager, uuid));
    }
    static void watch(WaylandActiveApplication* self, org_kde_plasma_window* window) {
        // Filled by name: a window is of its manager's bound version, and
        // every event up to the highest version bound has a handler; a newer
        // protocol's longer struct leaves only later events' slots empty.
        static const org_kde_plasma_window_listener listener = [] {
            org_kde_plasma_window_listener events{};
            events.title_changed = &ignoreText;
            events.app_id_changed = &appId;
            events.state_changed = &state;
            events.virtual_desktop_changed = &ignoreNumber;
            events.themed_icon_name_changed = &ignoreText;
            events.unmapped = &unmapped;
            events.initial_state = &ignore;
            events.parent_window = &ignoreWindow;
            events.geometry = &geometry;
            events.icon_changed = &ignore;
            events.pid_changed = &pid;
            events.virtual_desktop_entered = &ignoreText;
            events.virtual_desktop_left = &ignoreText;
            events.application_menu = &ignoreTwoTexts;
            events.activity_entered = &ignoreText;
            events.activity_left = &ignoreText;
            events.resource_name_changed = &ignoreText;
            return events;
        }();
        org_kde_plasma_window_add_listener(window, &listener, self);
        self->toplevels_.insert(window, {});
    }
    static void ignore(void*, org_kde_plasma_window*) {}
    static void ignoreText(void*, org_kde_plasma_window*, const char*) {}
    static void ignoreNumber(void*, org_kde_plasma_window*, int32_t) {}
    static void ignoreTwoTexts(void*, org_kde_plasma_window*, const char*, const char*) {}
    static void ignoreWindow(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
    static void geometry(void* data, org_kde_plasma_window* window, int32_t x, int32_t y,
                         uint32_t width, uint32_t height) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->toplevels_[window].geometry = QRect(x, y, int(width), int(height));
        self->changed();
    }
    static void appId(void* data, org_kde_plasma_window* window, const char* id) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->toplevels_[window].appId = QString::fromUtf8(id);
        self->changed();
    }
    static void state(void* data, org_kde_plasma_window* window, uint32_t flags) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->toplevels_[window].active = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
        self->toplevels_[window].fullScreen =
            flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_FULLSCREEN;
        self->changed();
    }
    static void pid(void* data, org_kde_plasma_window* window, uint32_t pid) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->toplevels_[window].executable = programOfProcess(pid);
        self->changed();
    }
    static void unmapped(void* data, org_kde_plasma_window* window) {
        auto* self = static_cast<WaylandActiveApplication*>(data);
        self->toplevels_.remove(window);
        org_kde_plasma_window_destroy(window);
        self->changed();
    }
};

bool WaylandActiveApplication::canWatch(const WaylandConnection& wayland) {
    return wayland.offersForeignToplevels() || wayland.offersPlasmaWindows();
}

WaylandActiveApplication::WaylandActiveApplication(WaylandConnection& wayland, QObject* parent)
    : QObject(parent), wayland_(wayland) {
    // Bound here, with the listener in place before the windows that exist
    // already are announced: bound earlier, that announcement would be lost.
    if ((foreignToplevels_ = wayland_.bindForeignToplevels())) {
        static const zwlr_foreign_toplevel_manager_v1_listener listener = {
            &ForeignToplevelEvents::toplevel, &ForeignToplevelEvents::finished};
        zwlr_foreign_toplevel_manager_v1_add_listener(foreignToplevels_, &listener, this);
    } else if ((plasmaWindows_ = wayland_.bindPlasmaWindows())) {
        static const org_kde_plasma_window_management_listener listener = [] {
            org_kde_plasma_window_management_listener events{};
            events.show_desktop_changed = &PlasmaWindowEvents::showDesktopChanged;
            events.window = &PlasmaWindowEvents::windowById;
            events.stacking_order_changed = &PlasmaWindowEvents::ignoreOrder;
            events.stacking_order_uuid_changed = &PlasmaWindowEvents::ignoreOrderText;
            events.window_with_uuid = &PlasmaWindowEvents::windowByUuid;
            return events;
        }();
        org_kde_plasma_window_management_add_listener(plasmaWindows_, &listener, this);
    }
    // The windows that exist already are announced in answer to binding.
    wl_display_roundtrip(wayland_.display());
    // An output that goes is forgotten by every window that was on it, so
    // that an output made later at the same address is not taken for it.
    connect(&wayland_, &WaylandConnection::outputRemoved, this, [this](const void* output) {
        for (auto* windows : {&toplevels_, &pending_})
            for (Toplevel& toplevel : *windows)
                toplevel.outputs.removeAll(static_cast<const wl_output*>(output));
        changed();
    });
}

WaylandActiveApplication::~WaylandActiveApplication() {
    // Handles still waiting for their first done event are in pending_ only.
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        toplevels_.insert(it.key(), {});
    for (auto it = toplevels_.cbegin(); it != toplevels_.cend(); ++it) {
        if (foreignToplevels_)
            zwlr_foreign_toplevel_handle_v1_destroy(
                static_cast<zwlr_foreign_toplevel_handle_v1*>(it.key()));
        else
            org_kde_plasma_window_destroy(static_cast<org_kde_plasma_window*>(it.key()));
    }
    if (foreignToplevels_) {
        // Asked to stop first, as the protocol has it; the object has no
        // destroy request, and what the compositor still sends is dropped.
        zwlr_foreign_toplevel_manager_v1_stop(foreignToplevels_);
        zwlr_foreign_toplevel_manager_v1_destroy(foreignToplevels_);
    }
    if (plasmaWindows_)
        org_kde_plasma_window_management_destroy(plasmaWindows_);
}

WindowIdentity WaylandActiveApplication::identityForAppId(const QString& appId,
                                                          const QString& executable) {
    // An app id is the desktop file's name for applications that follow the
    // desktop-entry rules, and otherwise the program's class or name: it is
    // tried as each, as shells try it.
    WindowIdentity identity;
    identity.kdeDesktopFile = appId;
    identity.gtkApplicationId = appId;
    identity.wmInstance = appId;
    identity.wmClass = appId;
    identity.executable = executable;
    return identity;
}

void WaylandActiveApplication::setListedDesktopFiles(const QStringList& paths) {
    entries_.setListedFiles(paths);
    stale_ = true;
}

void WaylandActiveApplication::changed() {
    stale_ = true;
    notifyChange();
}

bool WaylandActiveApplication::isOnOutput(const Toplevel& toplevel, const wl_output* output,
                                          const QRect& outputLogical) {
    if (!output)
        return true;
    if (!toplevel.outputs.isEmpty())
        return toplevel.outputs.contains(output);
    if (toplevel.geometry.isValid() && outputLogical.isValid())
        return outputLogical.contains(toplevel.geometry.center());
    return true;
}

bool WaylandActiveApplication::activeIsFullScreenOn(const QRect&) {
    const wl_output* output = wayland_.statWindowOutput();
    for (const Toplevel& toplevel : std::as_const(toplevels_))
        if (toplevel.active)
            return toplevel.fullScreen &&
                   isOnOutput(toplevel, output, wayland_.logicalRectOf(output));
    return false;
}

QString WaylandActiveApplication::activeDesktopEntry() {
    if (!stale_)
        return cached_;
    stale_ = false;
    cached_.clear();
    for (const Toplevel& toplevel : std::as_const(toplevels_)) {
        if (toplevel.active) {
            cached_ = entries_.idForWindow(identityForAppId(toplevel.appId, toplevel.executable));
            break;
        }
    }
    return cached_;
}
