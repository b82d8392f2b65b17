#pragma once

#include <QObject>

class ActiveApplication;
class FloatingWindow;
class HoverWatch;
class UserDefaults;

// Whether the stat window should be out of the way now, from all it depends
// on: the pointer resting on it (watched through HoverWatch, only while
// "AutoHide" is on), the application in front and the auto-hide list, and a
// full-screen window in front on the stat window's screen
// ("HideUnderFullScreen"). mayHaveChanged() tells when one of them may have
// changed; the settings and the list are the caller's to follow.
class StatWindowHiding : public QObject {
    Q_OBJECT
public:
    // active may be null where the window system cannot tell.
    StatWindowHiding(const UserDefaults& defaults, FloatingWindow& window,
                     ActiveApplication* active, QObject* parent = nullptr);

    // Watches the pointer while "AutoHide" is on, and only then.
    void followAutoHide();
    bool shouldHide(const QStringList& listedApplications);
    // Once a sampling interval, on a wake-up the program has anyway.
    void lookAtRestingPointer();

signals:
    void mayHaveChanged();

private:
    const UserDefaults& defaults_;
    FloatingWindow& window_;
    ActiveApplication* active_;
    HoverWatch* hover_;
};
