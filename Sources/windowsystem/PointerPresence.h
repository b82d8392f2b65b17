#pragma once

#include <QObject>

// Where the window system itself reports the pointer coming onto the stat
// window and leaving it (the GNOME Shell companion, which sees the pointer over
// every window): the hover test's answer, with nothing sampled.
class PointerPresence : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether reports come now; they may start and stop while Quorvel runs.
    virtual bool reportsPointer() const = 0;
    virtual bool pointerInside() const = 0;
    // Reports are wanted only while "AutoHide" is on.
    virtual void setPointerWanted(bool wanted) = 0;

signals:
    // Reports started or stopped, or the pointer came or went.
    void pointerPresenceChanged();
};
