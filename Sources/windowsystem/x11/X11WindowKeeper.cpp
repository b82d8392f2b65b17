#include "windowsystem/x11/X11WindowKeeper.h"

#include "windowsystem/x11/X11Connection.h"
#include "windowsystem/x11/X11WindowHints.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int correctionsPerPlacement = 2;
constexpr int maxFrameOffset = 100; // device pixels

void emptyInputShape(xcb_connection_t* c, xcb_window_t window) {
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         window, 0, 0, 0, nullptr);
}

} // namespace

X11WindowKeeper::X11WindowKeeper(QWidget* window, Target target)
    : QObject(window), window_(window), target_(std::move(target)), decision_(new QTimer(this)),
      showDeadline_(new QTimer(this)) {
    // Should the stamp never come back, the window is shown all the same.
    showDeadline_->setSingleShot(true);
    showDeadline_->setInterval(200);
    connect(showDeadline_, &QTimer::timeout, this, [this] {
        if (auto show = std::exchange(pendingShow_, {}))
            show();
    });
    decision_->setSingleShot(true);
    decision_->setInterval(250);
    connect(decision_, &QTimer::timeout, this, [this] { check(true); });
    if (qtX11Connection())
        QCoreApplication::instance()->installNativeEventFilter(this);
    window_->installEventFilter(this);
    // The mark (WM_WINDOW_ROLE) by which the GNOME Shell companion knows the
    // stat window among Quorvel's windows.
    window_->setWindowRole(QStringLiteral("quorvel-stat-window"));
}

bool X11WindowKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_)
        return false;
    if (event->type() == QEvent::Show)
        applyFloatingWindowHints(window_, false);
    else if (event->type() == QEvent::WinIdChange && window_->isVisible())
        applyFloatingWindowHints(window_, true);
    return false;
}

QRect X11WindowKeeper::deviceGeometry(const QScreen& screen) const {
    xcb_connection_t* c = qtX11Connection();
    if (!c)
        return {};
    return x11MonitorGeometry(c, screen.name(), QGuiApplication::screens().size() == 1);
}

X11WindowKeeper::~X11WindowKeeper() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

void X11WindowKeeper::setClickThrough(bool on) {
    clickThrough_ = on;
    if (on)
        passClicksThroughFrame();
}

void X11WindowKeeper::show() {
    if (window_->isVisible() || !qtX11Connection()) {
        window_->show();
        windowShown();
        return;
    }
    showFresh([this] { window_->show(); });
}

void X11WindowKeeper::hide() {
    cancelShow();
    window_->hide();
}

void X11WindowKeeper::setAlpha(float alpha) {
    window_->setWindowOpacity(qreal(alpha));
    // Qt writes the opacity but sends it only with its next other request;
    // each step of a fade must reach the server in its own tick.
    if (xcb_connection_t* c = qtX11Connection())
        xcb_flush(c);
}

void X11WindowKeeper::showFresh(std::function<void()> show) {
    xcb_connection_t* c = qtX11Connection();
    if (!c) {
        show();
        return;
    }
    const bool waiting = bool(pendingShow_);
    pendingShow_ = std::move(show);
    if (waiting)
        return;
    // Appending nothing to a property changes nothing but is still a change
    // the server stamps with its time.
    xcb_change_property(c, XCB_PROP_MODE_APPEND, xcb_window_t(window_->winId()),
                        x11Atom(c, "_QUORVEL_TIME"), XCB_ATOM_CARDINAL, 32, 0, nullptr);
    xcb_flush(c);
    showDeadline_->start();
}

void X11WindowKeeper::cancelShow() {
    pendingShow_ = {};
    showDeadline_->stop();
}

void X11WindowKeeper::placementChanged() {
    correctionsLeft_ = correctionsPerPlacement;
    requested_.reset();
    decideLater();
}

// Each graph marks only its own rectangle, and Qt sends the server one image
// per rectangle of what was painted, each its own write. Every write wakes the
// X server, which then takes the processor from Quorvel: three graphs cost
// four switches a second. Marking the whole window, gaps included, makes it
// one rectangle, one image and one write; painting the gaps costs nothing
// next to that. A graph that only added a column marks just that column (a few
// hundred bytes), and the server moves what it has (see GraphView).
void X11WindowKeeper::contentChanged(bool everything) {
    if (everything && window_->isVisible())
        window_->update();
}

void X11WindowKeeper::decideLater() {
    if (qtX11Connection())
        decision_->start();
}

void X11WindowKeeper::passClicksThroughFrame() {
    xcb_connection_t* c = qtX11Connection();
    if (!c || !frame_)
        return;
    emptyInputShape(c, frame_);
    xcb_flush(c);
}

bool X11WindowKeeper::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !window_->internalWinId())
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const xcb_window_t window = xcb_window_t(window_->internalWinId());
    const uint8_t type = event->response_type & 0x7f;
    switch (type) {
    case XCB_REPARENT_NOTIFY: {
        const auto* reparent = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        if (reparent->window != window)
            return false;
        xcb_connection_t* c = qtX11Connection();
        frame_ = reparent->parent != x11RootWindow(c) ? reparent->parent : 0;
        if (frame_) {
            // Hear of every shape the window manager gives its frame later,
            // and of every move of the frame: not every window manager tells
            // the window when it moves the frame (fluxbox does not always).
            xcb_shape_select_input(c, frame_, 1);
            const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(c, frame_, XCB_CW_EVENT_MASK, &structure);
            if (clickThrough_)
                passClicksThroughFrame();
        }
        scheduleCheck();
        return false;
    }
    case XCB_MAP_NOTIFY:
        if (reinterpret_cast<const xcb_map_notify_event_t*>(event)->window == window) {
            correctionsLeft_ = correctionsPerPlacement;
            requested_.reset();
            scheduleCheck();
            decideLater();
            windowShown();
        }
        return false;
    case XCB_PROPERTY_NOTIFY: {
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (property->window == window &&
            property->atom == x11Atom(qtX11Connection(), "_NET_WM_STATE"))
            QMetaObject::invokeMethod(this, &X11WindowKeeper::dropAttentionFlag,
                                      Qt::QueuedConnection);
        if (property->window == window && pendingShow_ &&
            property->atom == x11Atom(qtX11Connection(), "_QUORVEL_TIME")) {
            // Qt takes the time from this event once the filters are done.
            showDeadline_->stop();
            QTimer::singleShot(0, this, [this] {
                if (auto show = std::exchange(pendingShow_, {}))
                    show();
            });
        }
        return false;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const xcb_window_t moved =
            reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window;
        if (moved == window || (frame_ && moved == frame_))
            scheduleCheck();
        return false;
    }
    default:
        break;
    }
    xcb_connection_t* c = qtX11Connection();
    const xcb_query_extension_reply_t* shape =
        c ? xcb_get_extension_data(c, &xcb_shape_id) : nullptr;
    if (shape && shape->present && type == shape->first_event + XCB_SHAPE_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_shape_notify_event_t*>(event);
        if (clickThrough_ && frame_ && notify->affected_window == frame_ &&
            notify->shape_kind == XCB_SHAPE_SK_INPUT &&
            (notify->extents_width > 0 || notify->extents_height > 0))
            passClicksThroughFrame();
    }
    return false;
}

void X11WindowKeeper::dropAttentionFlag() {
    xcb_connection_t* c = qtX11Connection();
    if (!c || !window_->internalWinId())
        return;
    const xcb_window_t window = xcb_window_t(window_->internalWinId());
    const xcb_atom_t state = x11Atom(c, "_NET_WM_STATE");
    const xcb_atom_t attention = x11Atom(c, "_NET_WM_STATE_DEMANDS_ATTENTION");
    const std::vector<xcb_atom_t> states = x11AtomList(c, window, state);
    if (std::find(states.begin(), states.end(), attention) == states.end())
        return;
    constexpr uint32_t remove = 0, sourceIsApplication = 1;
    x11SendToRoot(c, window, state, {remove, attention, 0, sourceIsApplication, 0});
    xcb_flush(c);
}

// After the events of one batch are handled: a map brings a reparent, a
// configure and a map in one go. Only looks; corrections wait for decideLater.
void X11WindowKeeper::scheduleCheck() {
    if (checkPending_)
        return;
    checkPending_ = true;
    QTimer::singleShot(0, this, [this] {
        checkPending_ = false;
        check(false);
    });
}

void X11WindowKeeper::check(bool correct) {
    xcb_connection_t* c = qtX11Connection();
    if (!c || !window_->isVisible() || !window_->internalWinId())
        return;
    const xcb_window_t window = xcb_window_t(window_->internalWinId());
    const auto geometryCookie = xcb_get_geometry(c, window);
    const auto placeCookie = xcb_translate_coordinates(c, window, x11RootWindow(c), 0, 0);
    auto* geometry = xcb_get_geometry_reply(c, geometryCookie, nullptr);
    auto* place = xcb_translate_coordinates_reply(c, placeCookie, nullptr);
    if (geometry && place)
        deviceFrame_ = QRect(place->dst_x, place->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(place);
    if (!correct || deviceFrame_.isNull() || correctionsLeft_ <= 0)
        return;
    const QPoint wanted = target_(deviceFrame_.size());
    const QPoint actual = deviceFrame_.topLeft();
    if (actual == wanted)
        return;
    --correctionsLeft_;
    // First the wanted place itself, for a window manager that ignored it
    // (at map time) or a Qt that skipped the move. If that did not do, the
    // window manager adds an offset of its own (the border and title of a
    // frame it never draws): asking for the wanted place less that offset
    // puts the window itself there.
    // An offset larger than any frame's border and title is no such thing (a
    // window manager still placing the window, say): then the plain request
    // again.
    const QPoint offset = wanted - actual;
    const bool frameOffset =
        std::abs(offset.x()) <= maxFrameOffset && std::abs(offset.y()) <= maxFrameOffset;
    requested_ = requested_ && frameOffset ? *requested_ + offset : wanted;
    const uint32_t position[] = {uint32_t(requested_->x()), uint32_t(requested_->y())};
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    xcb_flush(c);
    decideLater();
}
