#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// How a setting's value is spelled in the settings file, and read back with the
// type of the key's registered default. Reading forgives spelling (yes/no,
// on/off, 3.0 for 3, blanks around list entries); writing is the one spelling
// Quorvel reads back exactly.
namespace StoredValue {

bool isList(const QVariant& value);

// A list's entries as the file spells them: split at ';' (an entry's own ';',
// backslash and line end are written "\\;", "\\\\" and "\\n"), trimmed, empty
// ones left out (the ';' that ends the last entry leaves one, which is not
// counted in *emptyEntries).
QStringList listEntries(const QString& text, int* emptyEntries = nullptr);

// bool as true/false, numbers in their shortest exact form, lists desktop-entry
// style ("a;b;"), never a line break.
QString toText(const QVariant& value);
// nullopt when the text is no value of like's type.
std::optional<QVariant> fromText(const QString& text, const QVariant& like);

} // namespace StoredValue
