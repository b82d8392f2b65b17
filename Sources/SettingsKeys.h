#pragma once

#include <QString>
#include <QVariant>

class UserDefaults;

// The keys of Quorvel's settings.
namespace SettingsKeys {
inline const QString CPUUserFillColor = QStringLiteral("CPUUserFillColor");
inline const QString CPUSystemFillColor = QStringLiteral("CPUSystemFillColor");
inline const QString CPUNiceFillColor = QStringLiteral("CPUNiceFillColor");
inline const QString CPUInterval = QStringLiteral("CPUInterval");
inline const QString BackgroundFillColor = QStringLiteral("BackgroundFillColor");
inline const QString TextColor = QStringLiteral("TextColor");
inline const QString NetScale = QStringLiteral("NetScale");
inline const QString NetIncomingFillColor = QStringLiteral("NetIncomingFillColor");
inline const QString NetOutgoingFillColor = QStringLiteral("NetOutgoingFillColor");
inline const QString NetInterval = QStringLiteral("NetInterval");
inline const QString AutoHide = QStringLiteral("AutoHide");
inline const QString ShowIconOnMenuBar = QStringLiteral("ShowIconOnMenuBar");
inline const QString ShowNetGraph = QStringLiteral("ShowNetGraph");
inline const QString ShowCPUGraph = QStringLiteral("ShowCPUGraph");
inline const QString WindowPosition = QStringLiteral("WindowPosition");
inline const QString AutoHideApplications = QStringLiteral("AutoHideApplications");

QStringList all();
bool isColorKey(const QString& key);

// Whether a value can be used by the code that reads key: intervals and the
// scale are divisors, colours must parse, the auto-hide list must be names of
// desktop files. Unknown keys pass.
bool isUsable(const QString& key, const QVariant& value);

// Upper bounds the preferences offer; larger values still read as they are.
constexpr double maxCPUInterval = 3600.0;
constexpr int maxNetInterval = 3600;
constexpr int maxNetScale = 20;

// Registers the defaults compiled into the program (DefaultDefaults.plist) and
// the check above with defaults. False when the resource is missing or broken,
// which only a broken build can cause.
bool registerDefaultDefaults(UserDefaults& defaults);
} // namespace SettingsKeys
