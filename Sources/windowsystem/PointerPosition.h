#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

// Where the pointer is, in device pixels, and when it starts moving: what the
// hover test asks of the window system where the pointer can be followed over
// other windows (see WindowKeeper::seesPointer()).
class PointerPosition : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QPoint devicePosition() = 0;
    // The same answer, given to a callback: later where the window system can
    // answer without the caller waiting for it, at once elsewhere.
    virtual void askDevicePosition(std::function<void(QPoint)> answer) { answer(devicePosition()); }
    // Qt's idea of the pointer, scaled to device pixels: where the window
    // system cannot be asked.
    static QPoint qtDevicePosition();

    virtual bool canNoticeMotion() const = 0;
    // moved() is emitted once, at the next movement of any pointer device.
    virtual void armMotionNotice() = 0;

signals:
    void moved();
};
