#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

// Tells which application is in front: the file name of its desktop entry
// (e.g. "org.gnome.Terminal.desktop"), or empty when there is no active window
// or it maps to no entry.
class ActiveApplication {
public:
    virtual ~ActiveApplication() = default;
    virtual QString activeDesktopEntry() = 0;
    // Desktop files from outside the applications folders that the auto-hide
    // list names by path; an application of one of them is answered with its
    // path.
    virtual void setListedDesktopFiles(const QStringList& paths) = 0;
    // Whether the active window is full screen (a video, a game, a
    // presentation) on the screen given in device pixels (null: on any);
    // false where that cannot be told.
    virtual bool activeIsFullScreenOn(const QRect& deviceScreen) = 0;
    // Called when the answer may have changed (another window came to the
    // front); sources that cannot tell never call it.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

protected:
    void notifyChange() {
        if (changed_)
            changed_();
    }

private:
    std::function<void()> changed_;
};
