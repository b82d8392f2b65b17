#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QScreen;
class QString;

// Puts the stat window on screen and keeps it there as the window system
// allows: shows and hides it, sets its alpha, lets clicks through, follows
// placement and content changes, and tells where it is. One implementation per
// window system; the stat window and the hover test see only this.
class WindowKeeper {
public:
    // Where the window's top-left corner belongs, in device pixels, for a
    // window of the given size in device pixels.
    using Target = std::function<QPoint(const QSize& deviceSize)>;

    virtual ~WindowKeeper() = default;

    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void setAlpha(float alpha) = 0;
    virtual void setClickThrough(bool on) = 0;
    // The wanted place or size changed.
    virtual void placementChanged() = 0;
    // The window's content was drawn anew: all of it, or (everything false)
    // only a part that the widgets marked themselves.
    virtual void contentChanged(bool everything) { (void)everything; }
    // The output the window belongs on, where the window system places it by
    // output (a Wayland layer surface) rather than by position.
    virtual void setScreenName(const QString&) {}
    // Where the window is, in device pixels; null until it was first seen.
    virtual QRect deviceFrame() const = 0;
    // A screen's geometry in device pixels as the window system has it; null
    // where it cannot tell.
    virtual QRect deviceGeometry(const QScreen&) const { return {}; }

    // Whether the pointer's position over other windows can be asked for. Where
    // it cannot, the keeper can instead report the pointer coming onto the
    // window: while sensing, the window takes pointer input, and the moment
    // the pointer enters it the window lets clicks through again and calls
    // the entry handler.
    virtual bool seesPointer() const { return true; }
    virtual void setSensesPointer(bool) {}
    void setPointerEntryHandler(std::function<void()> handler) { entered_ = std::move(handler); }
    // Called once the window shown by show() is on screen, which can be a
    // while later (a window manager maps it in its own time), or at once
    // where it already was. A window system that never tells leaves it
    // uncalled.
    void setShownHandler(std::function<void()> handler) { shown_ = std::move(handler); }

protected:
    void pointerEntered() {
        if (entered_)
            entered_();
    }
    void windowShown() {
        if (shown_)
            shown_();
    }

private:
    std::function<void()> entered_;
    std::function<void()> shown_;
};
