#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

// Reads an XML property list whose root is a dictionary. Values become
// bool, qint64, double, QString, QVariantList or QVariantMap. Returns nullopt,
// with a reason in *error, for anything that is not such a property list.
std::optional<QVariantMap> parsePropertyList(const QByteArray& xml, QString* error = nullptr);
