#pragma once

#include <QString>
#include <QStringList>

class UserDefaults;

// Edits of a list setting entry by entry, starting from the file as it is at
// that moment: the entries an edit does not touch stay as the file has them,
// unusable ones included, so that a hand-edited list survives the preferences.
// Each edit is one save; false when it could not be saved (or, for a remove,
// when there is no such entry).
namespace ListEdits {

bool append(UserDefaults& defaults, const QString& key, const QStringList& entries);
// index counts the usable entries, as stringArrayForKey() lists them.
bool removeEntry(UserDefaults& defaults, const QString& key, int index);

} // namespace ListEdits
