#pragma once

#include <QObject>
#include <QPoint>

class QSocketNotifier;
struct xcb_connection_t;

// Where the pointer is, in device pixels (the X server's coordinates), and when
// it starts moving.
//
// On X11 it talks to the server over a connection of its own: a round trip
// there wakes only the asking thread, where one on Qt's connection also wakes
// Qt's event-reader thread. armMotionNotice() asks the server (XInput 2 raw
// motion on the root window) for one notice of the next pointer movement, so a
// caller can stop sampling the position while the pointer rests. Elsewhere it
// uses QCursor::pos() and cannot give notice.
class PointerPosition : public QObject {
    Q_OBJECT
public:
    explicit PointerPosition(QObject* parent = nullptr);
    ~PointerPosition() override;

    QPoint devicePosition();
    // Qt's idea of the pointer, scaled to device pixels: where the X server
    // cannot be asked.
    static QPoint qtDevicePosition();

    bool canNoticeMotion() const { return xinputOpcode_ != 0; }
    // moved() is emitted once, at the next movement of any pointer device.
    void armMotionNotice();

signals:
    void moved();

private:
    void selectRawMotion(bool on);
    void readEvents();

    xcb_connection_t* connection_ = nullptr;
    unsigned root_ = 0;
    quint8 xinputOpcode_ = 0;
    bool armed_ = false;
    QSocketNotifier* notifier_ = nullptr;
};
