#include "windowsystem/PointerPosition.h"

#include <QCursor>
#include <QGuiApplication>

QPoint PointerPosition::qtDevicePosition() {
    return (QPointF(QCursor::pos()) * qGuiApp->devicePixelRatio()).toPoint();
}
