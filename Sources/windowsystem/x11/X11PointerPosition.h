#pragma once

#include "windowsystem/PointerPosition.h"

class QSocketNotifier;
struct xcb_connection_t;

// The pointer on X11, in the X server's coordinates.
//
// On X11 it talks to the server over connections of its own: a round trip
// there wakes only the asking thread, where one on Qt's connection also wakes
// Qt's event-reader thread. armMotionNotice() asks the server (XInput 2 raw
// motion on the root window) for one notice of the next pointer movement, so a
// caller can stop sampling the position while the pointer rests. Elsewhere it
// uses QCursor::pos() and cannot give notice.
class X11PointerPosition : public PointerPosition {
    Q_OBJECT
public:
    explicit X11PointerPosition(QObject* parent = nullptr);
    ~X11PointerPosition() override;

    QPoint devicePosition() override;
    // Answers the question the previous call sent, then sends this one, for
    // callers that ask once a sampling interval: the answer waits a whole
    // interval instead of waking the program again a moment after it went to
    // sleep (the server answers after it has drawn what was just painted).
    // The question goes over a third connection that nothing listens on, so
    // its reply wakes no thread: Qt's reader thread would wake for it on Qt's
    // connection, and the motion notifier on the other. A devicePosition()
    // call meanwhile drops the question unanswered.
    void askDevicePosition(std::function<void(QPoint)> answer) override;
    bool canNoticeMotion() const override { return xinputOpcode_ != 0; }
    void armMotionNotice() override;

private:
    void selectRawMotion(bool on);
    void readEvents();
    // Gives the waiting asker the reply to its question; false while it has not
    // arrived.
    bool answerQuestion();
    void dropQuestion();

    xcb_connection_t* connection_ = nullptr;
    unsigned root_ = 0;
    quint8 xinputOpcode_ = 0;
    bool armed_ = false;
    QSocketNotifier* notifier_ = nullptr;
    // The connection that questions go over; the sequence number of the
    // question in flight, and who asked it.
    xcb_connection_t* questionConnection_ = nullptr;
    unsigned questionSequence_ = 0;
    std::function<void(QPoint)> asker_;
};
