#pragma once

// statwindow/: the stat window itself: where it goes (StatWindowLayout, in
// plain arithmetic), how it fades (FadeCurve), whether the pointer is on it
// (HoverWatch) and the window that holds the graphs (FloatingWindow), which
// hands the window system's part to a keeper from windowsystem/.

#include <QWidget>

#include <functional>
#include <memory>

class QScreen;
class QTimer;
class WindowKeeper;

// The stat window: no frame or shadow, a fully transparent background (the
// graphs' own background colour carries the translucency), above ordinary
// windows on every workspace, in no taskbar or pager, never taking focus.
// Its graphs are its direct children: the window is its own content view.
//
// It also fades: orderOutWithFade() takes the alpha from 1 to 0 over 0.1 s and
// then hides the window; orderFrontWithFade() shows it at alpha 0 and brings
// it to 1. Without a compositor the alpha does not show, but the window still
// goes and comes back.
class FloatingWindow : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<double()>; // monotonic seconds

    explicit FloatingWindow(const QRect& contentRect = {});
    ~FloatingWindow() override;

    // Sets what the window is like once it exists; called once, before it is
    // first shown.
    void awakeFromNib();
    bool canBecomeKeyWindow() const { return true; }
    void setIgnoresMouseEvents(bool ignores);
    QWidget* contentView() { return this; }

    // Frames are in Qt's screen coordinates (y down). frame() is the one last
    // set: nothing else moves this window, and Qt's own idea of a top-level
    // window's position can be stale under some X11 window managers. On X11
    // the window is held there in device pixels, an edge on the screen's edge
    // exactly on it, whatever the window manager or the scale factor.
    void setFrame(const QRect& frame);
    QRect frame() const { return frame_; }
    // Where the window is on screen, in device pixels: as the X server has it
    // where it can tell, else the frame scaled by the device pixel ratio.
    QRect deviceFrame() const;
    // The screen the window is on, in device pixels.
    QRect deviceScreen() const;
    void orderFront();
    void orderOut();
    void setAlphaValue(float alpha);
    float alphaValue() const;

    void orderFrontWithFade();
    void orderOutWithFade();
    void _orderWithFade(bool toFront);
    void _windowFader();
    void _windowShown();
    bool isFading() const { return fadeoutTimer_ != nullptr; }

    void setClock(Clock clock) { clock_ = std::move(clock); }

    // The graphs drew anew, all of it or (everything false) a part they
    // marked themselves: a window system that does not show this widget itself
    // draws the window again.
    void contentChanged(bool everything);
    // Where the window system cannot tell where the pointer is, the window
    // reports the pointer coming onto it instead (see WindowKeeper).
    bool seesPointer() const;
    void setSensesPointer(bool on);
    void setPointerEntryHandler(std::function<void()> handler);
    // The screen the window sits on, for window systems that place it by
    // output rather than by position.
    void setScreenName(const QString& name);

private:
    Clock clock_;
    QRect frame_;
    double faderStartTimestamp_ = 0.0;
    QTimer* fadeoutTimer_ = nullptr;
    bool fadeToFront_ = false;
    bool fadeAwaitsShow_ = false; // a fade in whose window is not yet on screen
    QPoint deviceTopLeft(const QSize& deviceSize) const;
    QScreen* frameScreen() const;

    WindowKeeper* keeper_; // a child object
    float alpha_ = 1.0f;
    mutable QRect deviceScreen_; // the frame's screen in device pixels, once looked up
};
