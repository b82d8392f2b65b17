#pragma once

#include "session/DesktopEntries.h"
#include "windowsystem/ActiveApplication.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QRect>

#include <xcb/xcb.h>

// The active application on X11: the window named by the root window's
// _NET_ACTIVE_WINDOW, mapped to its desktop entry. The answer is cached and
// only looked up again after the property changes, so asking ten times a
// second costs no round trip to the X server.
class X11ActiveApplication : public QObject,
                             public QAbstractNativeEventFilter,
                             public ActiveApplication {
    Q_OBJECT
public:
    // Works only on the xcb platform; elsewhere it always answers empty.
    explicit X11ActiveApplication(QObject* parent = nullptr);
    ~X11ActiveApplication() override;

    QString activeDesktopEntry() override;
    // From the active window's _NET_WM_STATE, which is watched while it is
    // the active one, and where its centre is.
    bool activeIsFullScreenOn(const QRect& deviceScreen) override;
    void setListedDesktopFiles(const QStringList& paths) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    xcb_atom_t atom(const char* name);
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                        quint32 maxLength = 1024);
    WindowIdentity identify(xcb_window_t window);
    void refresh();
    void readState(xcb_window_t window);
    void watch(xcb_window_t window);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t activeWindowAtom_ = 0;
    xcb_atom_t stateAtom_ = 0;
    xcb_atom_t fullScreenAtom_ = 0;
    xcb_window_t watched_ = 0;    // the active window, whose state changes are selected
    uint32_t addedSelection_ = 0; // the events this connection selected on it
    bool fullScreen_ = false;
    QRect activeFrame_;      // of a full-screen active window, relative to the root
    bool stale_ = true;      // the active window may be another one
    bool stateStale_ = true; // its _NET_WM_STATE may have changed
    QString cached_;
    DesktopEntries entries_;
};
