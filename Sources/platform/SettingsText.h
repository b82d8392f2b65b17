#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

// The text form of the settings file: an INI file with one [General] section of
// key=value lines, as QSettings writes it, read strictly so that a damaged file
// is recognised as damaged instead of being half-read and later overwritten.
//
// Accepted lines: blank lines, comments starting with '#' or ';', the section
// header [General], and Key=value where Key is letters, digits and '_'.
// Anything else, invalid UTF-8 or a NUL byte makes the whole text unreadable.
std::optional<QMap<QString, QString>> parseSettingsText(const QByteArray& text,
                                                        QString* error = nullptr);

QByteArray formatSettingsText(const QMap<QString, QString>& values);
