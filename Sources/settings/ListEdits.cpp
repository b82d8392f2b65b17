#include "settings/ListEdits.h"

#include "settings/StoredValue.h"
#include "settings/UserDefaults.h"

namespace ListEdits {
namespace {

QStringList entriesInFile(UserDefaults& defaults, const QString& key) {
    defaults.reloadNow();
    const std::optional<QString> stored = defaults.storedText(key);
    return stored ? StoredValue::listEntries(*stored)
                  : defaults.registeredValue(key).toStringList();
}

} // namespace

bool append(UserDefaults& defaults, const QString& key, const QStringList& entries) {
    return defaults.setObject(entriesInFile(defaults, key) + entries, key);
}

bool removeEntry(UserDefaults& defaults, const QString& key, int index) {
    QStringList entries = entriesInFile(defaults, key);
    for (qsizetype i = 0, usable = 0; i < entries.size(); ++i) {
        if (!defaults.isUsable(key, entries[i]))
            continue;
        if (usable++ == index) {
            entries.removeAt(i);
            return defaults.setObject(entries, key);
        }
    }
    return false;
}

} // namespace ListEdits
