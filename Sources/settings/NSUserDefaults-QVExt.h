#pragma once

#include <QColor>
#include <QString>

class UserDefaults;

// Colours are stored in the settings as text, "#RRGGBBAA" (alpha last, as in
// CSS), the same form in the registered defaults, the settings file and the
// preferences. "#RRGGBB" reads as opaque.
namespace QVExtensions {

// The colour stored under key, or an invalid QColor when the key has no value.
QColor unarchivedObjectForKey(const UserDefaults& defaults, const QString& key);

QString archivedColor(const QColor& color);
// An invalid QColor when the text is not a colour in that form.
QColor unarchivedColor(const QString& text);

} // namespace QVExtensions
