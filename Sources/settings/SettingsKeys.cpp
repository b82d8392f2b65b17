#include "settings/SettingsKeys.h"

#include "session/SystemLog.h"
#include "settings/NSUserDefaults-QVExt.h"
#include "settings/PropertyList.h"
#include "settings/UserDefaults.h"

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace SettingsKeys {

QStringList all() {
    return {CPUUserFillColor,
            CPUSystemFillColor,
            CPUNiceFillColor,
            CPUInterval,
            BackgroundFillColor,
            TextColor,
            NetScale,
            NetIncomingFillColor,
            NetOutgoingFillColor,
            NetInterval,
            AutoHide,
            ShowIconOnMenuBar,
            ShowNetGraph,
            ShowCPUGraph,
            WindowPosition,
            AutoHideApplications,
            HideUnderFullScreen,
            NetInterfaces,
            ShowMemGraph,
            MemUsedFillColor,
            MemCacheFillColor,
            ShowDiskGraph,
            DiskReadFillColor,
            DiskWriteFillColor,
            DiskScale,
            ShowTempGraph,
            TempFillColor,
            TempSensor,
            ShowGPUGraph,
            GPULoadFillColor,
            GPUMemoryFillColor,
            GPUDevice,
            RemoteHosts,
            Screen};
}

bool isColorKey(const QString& key) {
    return key == CPUUserFillColor || key == CPUSystemFillColor || key == CPUNiceFillColor ||
           key == BackgroundFillColor || key == TextColor || key == NetIncomingFillColor ||
           key == NetOutgoingFillColor || key == MemUsedFillColor || key == MemCacheFillColor ||
           key == DiskReadFillColor || key == DiskWriteFillColor || key == TempFillColor ||
           key == GPULoadFillColor || key == GPUMemoryFillColor;
}

std::optional<NumberRange> rangeOf(const QString& key) {
    // Below 0.05 s a CPU interval holds too few clock ticks to tell the shares
    // apart, and the columns come out empty.
    if (key == CPUInterval)
        return NumberRange{0.05, 3600.0};
    if (key == NetInterval)
        return NumberRange{1, 3600};
    if (key == NetScale || key == DiskScale)
        return NumberRange{1, 20};
    return std::nullopt;
}

bool isUsable(const QString& key, const QVariant& value) {
    if (isColorKey(key))
        return QVExtensions::unarchivedColor(value.toString()).isValid();
    if (const auto range = rangeOf(key)) {
        const double number = value.toDouble();
        return std::isfinite(number) && number >= range->minimum && number <= range->maximum;
    }
    if (key == AutoHideApplications) {
        const QString entry = value.toString();
        return value.typeId() == QMetaType::QString && !entry.isEmpty() &&
               (!entry.contains(u'/') || (entry.startsWith(u'/') && !entry.contains(u"/../")));
    }
    if (key == NetInterfaces) {
        // The kernel's rule: 1 to 15 bytes, no '/', ':' or white space.
        const QString name = value.toString();
        return value.typeId() == QMetaType::QString && !name.isEmpty() &&
               name.toUtf8().size() <= 15 && name != u"." && name != u".." &&
               std::none_of(name.begin(), name.end(),
                            [](QChar c) { return c == u'/' || c == u':' || c.isSpace(); });
    }
    if (key == RemoteHosts) {
        const QUrl url(value.toString(), QUrl::StrictMode);
        return value.typeId() == QMetaType::QString && url.isValid() && !url.host().isEmpty() &&
               (url.scheme() == u"http" || url.scheme() == u"https" ||
                url.scheme() == u"prometheus+http" || url.scheme() == u"prometheus+https");
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
