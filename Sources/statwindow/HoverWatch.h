#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

#include <optional>

class FloatingWindow;
class PointerPosition;
class PointerPresence;
class QTimer;

// Whether the pointer is on the stat window, for "AutoHide", at the least cost
// each window system allows.
//
// Where the pointer can be followed (X11), it is sampled ten times a second
// while it moves; once it has rested for half a second, sampling stops until
// the window system reports the next movement, so a Quorvel left alone does not
// wake up for this at all. Where it cannot (Wayland, or over native windows on
// Xwayland), the window gets out of the way when the pointer comes onto it and
// is back hoverReturnMs later; a pointer still there hides it again at its next
// movement. Where the window system reports the pointer coming and going (GNOME
// with the Shell companion), its report is the answer and nothing is sampled.
class HoverWatch : public QObject {
    Q_OBJECT
public:
    // How long the window stays away for a pointer that came onto it, where the
    // pointer cannot be followed once it has gone: long enough to click what
    // lies beneath, short enough that it is soon back.
    static constexpr int hoverReturnMs = 2000;

    HoverWatch(FloatingWindow& window, QObject* parent = nullptr);

    // Watches while "AutoHide" is on, and not at all while it is off.
    void setWatching(bool on);
    // Samples the pointer; call only while watching.
    bool pointerInWindow();
    // A pointer moved by a program (a warp) gives no notice of its own; the
    // graphs' sampling ticks, which wake Quorvel anyway, call this to look.
    void lookAtRestingPointer();

signals:
    // The pointer may have come or gone: time to decide again.
    void mayHaveChanged();

private:
    void startSampling();
    void pointerCameOn();
    void hoverTimeIsUp();

    bool presenceReported() const;

    FloatingWindow& window_;
    PointerPresence* presence_;
    bool watching_ = false;
    QTimer* sampling_;
    PointerPosition* pointer_ = nullptr;
    QPoint lastPointer_;
    int stillTicks_ = 0;
    QTimer* hoverReturn_;
    bool pointerCameOn_ = false;
    std::optional<QPoint> returnedAt_;
    QElapsedTimer restingLook_;
};
