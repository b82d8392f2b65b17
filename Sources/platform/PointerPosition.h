#pragma once

#include <QObject>
#include <QPoint>

// Where the pointer is, in device pixels, and when it starts moving: what the
// hover test asks of the window system where the pointer can be followed over
// other windows (see WindowKeeper::seesPointer()).
class PointerPosition : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QPoint devicePosition() = 0;
    // Qt's idea of the pointer, scaled to device pixels: where the window
    // system cannot be asked.
    static QPoint qtDevicePosition();

    virtual bool canNoticeMotion() const = 0;
    // moved() is emitted once, at the next movement of any pointer device.
    virtual void armMotionNotice() = 0;

signals:
    void moved();
};
