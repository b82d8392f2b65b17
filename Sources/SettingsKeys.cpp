#include "SettingsKeys.h"

#include "NSUserDefaults-QVExt.h"
#include "platform/PropertyList.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"

#include <QFile>

#include <cmath>

namespace SettingsKeys {

QStringList all() {
    return {CPUUserFillColor, CPUSystemFillColor,   CPUNiceFillColor,     CPUInterval,
            BackgroundFillColor, TextColor,         NetScale,             NetIncomingFillColor,
            NetOutgoingFillColor, NetInterval,      AutoHide,             ShowIconOnMenuBar,
            ShowNetGraph,      ShowCPUGraph,        WindowPosition,       AutoHideApplications};
}

bool isColorKey(const QString& key) {
    return key == CPUUserFillColor || key == CPUSystemFillColor || key == CPUNiceFillColor ||
           key == BackgroundFillColor || key == TextColor || key == NetIncomingFillColor ||
           key == NetOutgoingFillColor;
}

bool isUsable(const QString& key, const QVariant& value) {
    if (isColorKey(key))
        return QVExtensions::unarchivedColor(value.toString()).isValid();
    if (key == CPUInterval) {
        const double seconds = value.toDouble();
        return std::isfinite(seconds) && seconds > 0.0;
    }
    if (key == NetInterval || key == NetScale)
        return value.toInt() >= 1;
    if (key == AutoHideApplications) {
        if (value.typeId() != QMetaType::QStringList && value.typeId() != QMetaType::QVariantList)
            return false;
        for (const QVariant& entry : value.toList()) {
            const QString name = entry.toString();
            if (entry.typeId() != QMetaType::QString || name.isEmpty() || name.contains(u'/'))
                return false;
        }
    }
    return true;
}

bool registerDefaultDefaults(UserDefaults& defaults) {
    defaults.setValidator(isUsable);
    QFile resource(QStringLiteral(":/DefaultDefaults.plist"));
    QString error;
    const auto values = resource.open(QIODevice::ReadOnly)
                            ? parsePropertyList(resource.readAll(), &error)
                            : std::nullopt;
    if (!values) {
        systemLog(QStringLiteral("The built-in default settings cannot be read: %1").arg(error));
        return false;
    }
    defaults.registerDefaults(*values);
    return true;
}

} // namespace SettingsKeys
