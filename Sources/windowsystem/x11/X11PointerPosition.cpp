#include "windowsystem/x11/X11PointerPosition.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <utility>

X11PointerPosition::X11PointerPosition(QObject* parent) : PointerPosition(parent) {
    if (QGuiApplication::platformName() != u"xcb")
        return;
    int screen = 0;
    connection_ = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen && it.rem; ++i)
        xcb_screen_next(&it);
    root_ = it.data->root;
    // No notifier watches this one: its reply waits in the socket until the
    // next look reads it, waking no thread when it comes.
    questionConnection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(questionConnection_)) {
        xcb_disconnect(questionConnection_);
        questionConnection_ = nullptr;
    }

    // Raw motion events need XInput 2.0.
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection_, &xcb_input_id);
    if (!extension || !extension->present)
        return;
    auto* version = xcb_input_xi_query_version_reply(
        connection_, xcb_input_xi_query_version(connection_, 2, 0), nullptr);
    if (version && version->major_version >= 2) {
        xinputOpcode_ = extension->major_opcode;
        notifier_ =
            new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &X11PointerPosition::readEvents);
    }
    std::free(version);
}

X11PointerPosition::~X11PointerPosition() {
    if (questionConnection_)
        xcb_disconnect(questionConnection_);
    if (connection_)
        xcb_disconnect(connection_);
}

QPoint X11PointerPosition::devicePosition() {
    if (!connection_ || xcb_connection_has_error(connection_))
        return qtDevicePosition();
    auto* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    if (!reply)
        return qtDevicePosition();
    const QPoint device(reply->root_x, reply->root_y);
    std::free(reply);
    // A question still in flight is dropped: whoever asked this one now has a
    // newer answer. (Answering it from here would run the asker inside the
    // caller's own pointer test.)
    dropQuestion();
    // Events that arrived with the reply are waiting in xcb's queue, where the
    // socket notifier would not see them.
    if (armed_)
        readEvents();
    return device;
}

void X11PointerPosition::askDevicePosition(std::function<void(QPoint)> answer) {
    if (!connection_ || !questionConnection_ || xcb_connection_has_error(questionConnection_))
        return PointerPosition::askDevicePosition(std::move(answer));
    // A server too busy to have answered in a whole interval: the question
    // already sent answers the new asker.
    const bool unanswered = asker_ && !answerQuestion();
    asker_ = std::move(answer);
    if (unanswered)
        return;
    questionSequence_ = xcb_query_pointer(questionConnection_, root_).sequence;
    xcb_flush(questionConnection_);
}

bool X11PointerPosition::answerQuestion() {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (!xcb_poll_for_reply(questionConnection_, questionSequence_, &reply, &error))
        return false;
    auto asker = std::exchange(asker_, {});
    std::free(error);
    if (!reply) {
        asker(qtDevicePosition());
        return true;
    }
    const auto* pointer = static_cast<xcb_query_pointer_reply_t*>(reply);
    const QPoint device(pointer->root_x, pointer->root_y);
    std::free(reply);
    asker(device);
    return true;
}

void X11PointerPosition::dropQuestion() {
    if (std::exchange(asker_, {}))
        xcb_discard_reply(questionConnection_, questionSequence_);
}

void X11PointerPosition::selectRawMotion(bool on) {
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           // Raw motion comes from every real device (and XTest); plain
           // motion over the desktop also covers a pointer warped there.
           on ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_MOTION) : 0u};
    xcb_input_xi_select_events(connection_, root_, 1, &mask.head);
    xcb_flush(connection_);
}

void X11PointerPosition::armMotionNotice() {
    if (!canNoticeMotion() || armed_)
        return;
    armed_ = true;
    selectRawMotion(true);
}

void X11PointerPosition::readEvents() {
    bool movedNow = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
            if (generic->extension == xinputOpcode_ &&
                (generic->event_type == XCB_INPUT_RAW_MOTION ||
                 generic->event_type == XCB_INPUT_MOTION))
                movedNow = true;
        }
        std::free(event);
    }
    if (movedNow && armed_) {
        // One notice is all the caller needs; a moving pointer would otherwise
        // send hundreds of these a second.
        armed_ = false;
        selectRawMotion(false);
        emit moved();
    }
}
