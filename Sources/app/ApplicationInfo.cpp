#include "app/ApplicationInfo.h"

#include "settings/PropertyList.h"

#include <QFile>

const ApplicationInfo& ApplicationInfo::main() {
    static const ApplicationInfo info = [] {
        ApplicationInfo loaded{QStringLiteral("Quorvel"), {}, {}, {}};
        QFile file(QStringLiteral(":/Info.plist"));
        if (!file.open(QIODevice::ReadOnly))
            return loaded;
        const auto values = parsePropertyList(file.readAll());
        if (!values)
            return loaded;
        loaded.name = values->value(QStringLiteral("CFBundleName"), loaded.name).toString();
        loaded.version = values->value(QStringLiteral("CFBundleShortVersionString")).toString();
        loaded.credits = values->value(QStringLiteral("Credits")).toString();
        loaded.copyright = values->value(QStringLiteral("NSHumanReadableCopyright")).toString();
        return loaded;
    }();
    return info;
}
