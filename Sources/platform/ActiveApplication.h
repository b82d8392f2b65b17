#pragma once

#include <QString>

// Tells which application is in front: the file name of its desktop entry
// (e.g. "org.gnome.Terminal.desktop"), or empty when there is no active window
// or it maps to no entry.
class ActiveApplication {
public:
    virtual ~ActiveApplication() = default;
    virtual QString activeDesktopEntry() = 0;
};
