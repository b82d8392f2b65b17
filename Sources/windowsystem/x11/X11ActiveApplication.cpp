#include "windowsystem/x11/X11ActiveApplication.h"

#include "windowsystem/x11/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>

X11ActiveApplication::X11ActiveApplication(QObject* parent) : QObject(parent) {
    connection_ = qtX11Connection();
    if (!connection_)
        return;
    root_ = x11RootWindow(connection_);
    activeWindowAtom_ = atom("_NET_ACTIVE_WINDOW");
    stateAtom_ = atom("_NET_WM_STATE");
    fullScreenAtom_ = atom("_NET_WM_STATE_FULLSCREEN");

    // Make sure property changes of the root window reach us (Qt selects them
    // already; this keeps whatever else is selected).
    auto attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, root_), nullptr);
    if (attributes) {
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        free(attributes);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11ActiveApplication::~X11ActiveApplication() {
    if (connection_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11ActiveApplication::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->window == root_ && notify->atom == activeWindowAtom_) {
            stale_ = true;
            notifyChange();
        } else if (watched_ && notify->window == watched_ && notify->atom == stateAtom_) {
            stateStale_ = true;
            notifyChange();
        }
    } else if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY) {
        // Some window managers (openbox) leave _NET_ACTIVE_WINDOW naming a
        // window that is gone. A window that is gone is in front of nothing,
        // so it counts as none until the property names another; and its id,
        // which the server may give to a new window, is no longer watched.
        auto* notify = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
        if (watched_ && notify->window == watched_) {
            addedSelection_ = 0; // gone with the window
            watch(XCB_WINDOW_NONE);
            readState(XCB_WINDOW_NONE);
            cached_.clear();
            stale_ = stateStale_ = false;
            notifyChange();
        }
    }
    return false;
}

xcb_atom_t X11ActiveApplication::atom(const char* name) {
    return x11Atom(connection_, name);
}

QByteArray X11ActiveApplication::property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                          quint32 maxLength) {
    if (property == XCB_ATOM_NONE)
        return {};
    auto reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, maxLength / 4),
        nullptr);
    if (!reply)
        return {};
    QByteArray value(static_cast<const char*>(xcb_get_property_value(reply)),
                     xcb_get_property_value_length(reply));
    free(reply);
    return value;
}

WindowIdentity X11ActiveApplication::identify(xcb_window_t window) {
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    auto text = [](const QByteArray& bytes) {
        return QString::fromUtf8(
            bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0')));
    };
    WindowIdentity identity;
    identity.kdeDesktopFile = text(property(window, atom("_KDE_NET_WM_DESKTOP_FILE"), utf8));
    identity.gtkApplicationId = text(property(window, atom("_GTK_APPLICATION_ID"), utf8));
    const QByteArray wmClass = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    const QList<QByteArray> names = wmClass.split('\0');
    identity.wmInstance = names.value(0);
    identity.wmClass = names.value(1);
    const QByteArray pid = property(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 4);
    if (pid.size() == 4) {
        quint32 value = 0;
        memcpy(&value, pid.constData(), 4);
        identity.executable = programOfProcess(value);
    }
    return identity;
}

void X11ActiveApplication::setListedDesktopFiles(const QStringList& paths) {
    entries_.setListedFiles(paths);
    stale_ = true;
}

QString X11ActiveApplication::activeDesktopEntry() {
    refresh();
    return cached_;
}

bool X11ActiveApplication::activeIsFullScreenOn(const QRect& deviceScreen) {
    refresh();
    return fullScreen_ && (deviceScreen.isNull() || activeFrame_.isNull() ||
                           deviceScreen.contains(activeFrame_.center()));
}

void X11ActiveApplication::refresh() {
    if (!connection_)
        return;
    if (stale_) {
        stale_ = false;
        stateStale_ = true;
        cached_.clear();
        const QByteArray active = property(root_, activeWindowAtom_, XCB_ATOM_WINDOW, 4);
        xcb_window_t window = XCB_WINDOW_NONE;
        if (active.size() == 4)
            memcpy(&window, active.constData(), 4);
        watch(window);
        if (window != XCB_WINDOW_NONE)
            cached_ = entries_.idForWindow(identify(window));
    }
    // The same window going into or out of full screen: only its state is
    // read again, not who it is.
    if (stateStale_) {
        stateStale_ = false;
        readState(watched_);
    }
}

void X11ActiveApplication::readState(xcb_window_t window) {
    fullScreen_ = false;
    activeFrame_ = QRect();
    if (window == XCB_WINDOW_NONE)
        return;
    const QByteArray states = property(window, stateAtom_, XCB_ATOM_ATOM);
    for (qsizetype at = 0; at + 4 <= states.size(); at += 4) {
        xcb_atom_t state = 0;
        memcpy(&state, states.constData() + at, 4);
        fullScreen_ |= state == fullScreenAtom_;
    }
    // Where it is, only when it matters: for a full-screen window, once per
    // change of the active window or its state.
    if (!fullScreen_)
        return;
    auto geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    auto place = xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr);
    if (geometry && place)
        activeFrame_ = QRect(place->dst_x, place->dst_y, geometry->width, geometry->height);
    free(geometry);
    free(place);
}

// Property changes of the active window, and its end, come to this
// connection while it is the active one. The selection is added to what this
// connection selects on the window already (it may be one of Quorvel's own,
// whose events Qt selects), and only what was added is taken back afterwards.
// A window that is gone by then gives an error, which is dropped: there is
// nothing to watch.
void X11ActiveApplication::watch(xcb_window_t window) {
    constexpr uint32_t wanted = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    // Returns the bits this call added.
    auto changeSelection = [this](xcb_window_t target, uint32_t add, uint32_t remove) -> uint32_t {
        auto attributes = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, target), nullptr);
        if (!attributes)
            return 0;
        const uint32_t had = attributes->your_event_mask;
        free(attributes);
        const uint32_t mask = (had | add) & ~remove;
        if (mask == had)
            return 0;
        const xcb_void_cookie_t cookie =
            xcb_change_window_attributes_checked(connection_, target, XCB_CW_EVENT_MASK, &mask);
        xcb_discard_reply(connection_, cookie.sequence);
        return mask & ~had;
    };
    if (watched_ != XCB_WINDOW_NONE && window != watched_ && addedSelection_)
        changeSelection(watched_, 0, addedSelection_);
    // The same id again is selected again too: it may be a new window that
    // was given the id of one that is gone.
    const uint32_t kept = window == watched_ ? addedSelection_ : 0;
    watched_ = window;
    addedSelection_ = window != XCB_WINDOW_NONE && window != root_
                          ? kept | changeSelection(window, wanted, 0)
                          : 0;
    xcb_flush(connection_);
}
