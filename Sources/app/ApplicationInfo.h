#pragma once

#include <QString>

// The program's own description from its information property list
// (resources/Info.plist): what the About panel shows.
struct ApplicationInfo {
    QString name;
    QString version;
    QString credits;
    QString copyright;

    static const ApplicationInfo& main();
};
