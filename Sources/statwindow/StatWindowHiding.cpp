#include "statwindow/StatWindowHiding.h"

#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"
#include "statwindow/FloatingWindow.h"
#include "statwindow/HoverWatch.h"
#include "statwindow/StatWindowLayout.h"
#include "windowsystem/ActiveApplication.h"

StatWindowHiding::StatWindowHiding(const UserDefaults& defaults, FloatingWindow& window,
                                   ActiveApplication* active, QObject* parent)
    : QObject(parent), defaults_(defaults), window_(window), active_(active),
      hover_(new HoverWatch(window, this)) {
    connect(hover_, &HoverWatch::mayHaveChanged, this, &StatWindowHiding::mayHaveChanged);
    if (active_) {
        // Reported from inside X event handling; decided once that is done.
        active_->setChangeHandler([this] {
            QMetaObject::invokeMethod(this, &StatWindowHiding::mayHaveChanged,
                                      Qt::QueuedConnection);
        });
    }
}

void StatWindowHiding::lookAtRestingPointer() {
    hover_->lookAtRestingPointer();
}

void StatWindowHiding::followAutoHide() {
    hover_->setWatching(defaults_.boolForKey(SettingsKeys::AutoHide));
}

bool StatWindowHiding::shouldHide(const QStringList& listedApplications) {
    const bool autoHide = defaults_.boolForKey(SettingsKeys::AutoHide);
    const bool pointerInWindow = autoHide && hover_->pointerInWindow();
    const QString appName = active_ ? active_->activeDesktopEntry() : QString();
    // Out of the way of a full-screen window in front on the stat window's
    // screen, as of a listed application.
    const bool underFullScreen = active_ &&
                                 defaults_.boolForKey(SettingsKeys::HideUnderFullScreen) &&
                                 active_->activeIsFullScreenOn(window_.deviceScreen());
    return shouldHideStatWindow(autoHide, pointerInWindow, appName, listedApplications) ||
           underFullScreen;
}
