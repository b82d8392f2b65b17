#pragma once

#include "windowsystem/WindowKeeper.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>
#include <optional>

class QTimer;
class QWidget;

// Keeps an X11 window where, and as, its program put it, against what window
// managers do to it:
//
// - Placement. After every map and every change of the wanted place, it looks
//   where the window really is (device pixels, relative to the root window)
//   and, when that is not where it should be, asks once more, offset by what
//   the window manager added (a frame it never draws, a position it ignored
//   at map time). A window manager that insists wins: a place gets at most two
//   corrections, so the two never fight.
// - Click-through. A reparenting window manager puts a frame around the
//   window that does not inherit its empty input shape, so the frame would
//   catch clicks; each frame gets an empty input shape too, again whenever the
//   window manager gives it another.
// - Attention. Window managers judge a newly mapped window by its user time:
//   KWin and Mutter flag one that asks never to be activated (user time 0),
//   and Mutter one whose time is older than the user's last action in the
//   window in front. The window is therefore shown with a fresh server time
//   (Qt writes the last time it saw): showFresh() first has the server stamp a
//   property change on the window and shows it once Qt has seen that stamp.
//   Should a window manager flag the window all the same (KWin, now and
//   then, when another window was mapped a moment before), the flag is taken
//   back at once.
// - Where the window is on screen, for tests of the pointer against it.
//
// Does nothing off X11.
class X11WindowKeeper : public QObject, public QAbstractNativeEventFilter, public WindowKeeper {
    Q_OBJECT
public:
    X11WindowKeeper(QWidget* window, Target target);
    ~X11WindowKeeper() override;

    // Shown with a fresh server time (see above).
    void show() override;
    void hide() override;
    // The compositor's opacity property, sent at once.
    void setAlpha(float alpha) override;
    void setClickThrough(bool on) override;
    // Calls show as soon as Qt knows the server's present time; at once off
    // X11. cancelShow() drops a show still waiting.
    void showFresh(std::function<void()> show);
    void cancelShow();
    // The wanted place changed: look again, with corrections allowed again.
    void placementChanged() override;
    // The graphs drew everything: the whole window is painted again (see the
    // source).
    void contentChanged(bool everything) override;
    // Where the window is, in device pixels; null until it was first seen.
    QRect deviceFrame() const override { return deviceFrame_; }
    // The screen's RandR monitor.
    QRect deviceGeometry(const QScreen& screen) const override;

    // The window manager hints go on before every map: a window manager drops
    // them when a window is withdrawn, and Qt merges them into its own when it
    // maps the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void scheduleCheck();
    // Looks where the window is; with correct, also corrects it if it is not
    // where it belongs.
    void check(bool correct);
    // Corrections are decided a moment after the last request (Qt's or ours),
    // once the window manager has answered it: a look before that sees the old
    // place and would correct what is already on its way.
    void decideLater();
    void passClicksThroughFrame();
    void dropAttentionFlag();

    QWidget* window_;
    Target target_;
    bool clickThrough_ = false;
    unsigned frame_ = 0; // the window manager's frame window, 0 when none
    int correctionsLeft_ = 0;
    bool checkPending_ = false;
    QTimer* decision_;
    std::optional<QPoint> requested_; // the position this keeper last asked for
    QRect deviceFrame_;
    std::function<void()> pendingShow_;
    QTimer* showDeadline_;
};
