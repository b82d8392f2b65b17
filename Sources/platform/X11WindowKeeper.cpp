#include "X11WindowKeeper.h"

#include "X11Connection.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

constexpr int correctionsPerPlacement = 2;

void emptyInputShape(xcb_connection_t* c, xcb_window_t window) {
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         window, 0, 0, 0, nullptr);
}

} // namespace

X11WindowKeeper::X11WindowKeeper(QWidget* window, Target target)
    : QObject(window), window_(window), target_(std::move(target)), decision_(new QTimer(this)) {
    decision_->setSingleShot(true);
    decision_->setInterval(250);
    connect(decision_, &QTimer::timeout, this, [this] { check(true); });
    if (qtX11Connection())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

X11WindowKeeper::~X11WindowKeeper() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

void X11WindowKeeper::setClickThrough(bool on) {
    clickThrough_ = on;
    if (on)
        passClicksThroughFrame();
}

void X11WindowKeeper::placementChanged() {
    correctionsLeft_ = correctionsPerPlacement;
    requested_.reset();
    decideLater();
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
            // Hear of every shape the window manager gives its frame later.
            xcb_shape_select_input(c, frame_, 1);
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
        }
        return false;
    case XCB_CONFIGURE_NOTIFY:
        if (reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window == window)
            scheduleCheck();
        return false;
    default:
        break;
    }
    xcb_connection_t* c = qtX11Connection();
    const xcb_query_extension_reply_t* shape = c ? xcb_get_extension_data(c, &xcb_shape_id) : nullptr;
    if (shape && shape->present && type == shape->first_event + XCB_SHAPE_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_shape_notify_event_t*>(event);
        if (clickThrough_ && frame_ && notify->affected_window == frame_ &&
            notify->shape_kind == XCB_SHAPE_SK_INPUT &&
            (notify->extents_width > 0 || notify->extents_height > 0))
            passClicksThroughFrame();
    }
    return false;
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
    requested_ = requested_ ? *requested_ + (wanted - actual) : wanted;
    const uint32_t position[] = {uint32_t(requested_->x()), uint32_t(requested_->y())};
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    xcb_flush(c);
    decideLater();
}
