#pragma once

#include <QString>
#include <QVariant>

#include <optional>

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
// Additions: hiding under full-screen windows,
inline const QString HideUnderFullScreen = QStringLiteral("HideUnderFullScreen");
// the interfaces the network graph counts (empty: every real one),
inline const QString NetInterfaces = QStringLiteral("NetInterfaces");
// the screen the stat window sits on, by output name (empty: the primary one),
inline const QString Screen = QStringLiteral("Screen");
// the memory graph,
inline const QString ShowMemGraph = QStringLiteral("ShowMemGraph");
inline const QString MemUsedFillColor = QStringLiteral("MemUsedFillColor");
inline const QString MemCacheFillColor = QStringLiteral("MemCacheFillColor");
// the disk graph (its scale in decades, as "NetScale"),
inline const QString ShowDiskGraph = QStringLiteral("ShowDiskGraph");
inline const QString DiskReadFillColor = QStringLiteral("DiskReadFillColor");
inline const QString DiskWriteFillColor = QStringLiteral("DiskWriteFillColor");
inline const QString DiskScale = QStringLiteral("DiskScale");
// the temperature graph (its sensor by id; empty: the CPU's own),
inline const QString ShowTempGraph = QStringLiteral("ShowTempGraph");
inline const QString TempFillColor = QStringLiteral("TempFillColor");
inline const QString TempSensor = QStringLiteral("TempSensor");
// the GPU graph (its GPU by id, "card0" or "nvidia0"; empty: the one with the
// most memory),
inline const QString ShowGPUGraph = QStringLiteral("ShowGPUGraph");
inline const QString GPULoadFillColor = QStringLiteral("GPULoadFillColor");
inline const QString GPUMemoryFillColor = QStringLiteral("GPUMemoryFillColor");
inline const QString GPUDevice = QStringLiteral("GPUDevice");
// and other machines' node_exporter endpoints, a group of graphs each.
inline const QString RemoteHosts = QStringLiteral("RemoteHosts");

QStringList all();
bool isColorKey(const QString& key);

// The usable range of a number setting, bounds included. The settings file,
// the preferences' fields and the graphs all take it from here.
struct NumberRange {
    double minimum;
    double maximum;
};
std::optional<NumberRange> rangeOf(const QString& key);

// Whether a value can be used by the code that reads key: numbers within their
// range (the intervals and the scale are divisors), colours that parse. For
// "AutoHideApplications" the value is one entry: a desktop-file id, or the
// absolute path of a desktop file outside the applications folders; for
// "NetInterfaces" one interface name as the kernel allows it; for
// "RemoteHosts" one http or https URL with a host. Unknown keys pass.
bool isUsable(const QString& key, const QVariant& value);

// Registers the defaults compiled into the program (DefaultDefaults.plist) and
// the check above with defaults. False when the resource is missing or broken,
// which only a broken build can cause.
bool registerDefaultDefaults(UserDefaults& defaults);
} // namespace SettingsKeys
