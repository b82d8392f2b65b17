#include "settings/StoredValue.h"

#include <QLocale>

#include <climits>
#include <cmath>

namespace StoredValue {

bool isList(const QVariant& value) {
    return value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList;
}

QStringList listEntries(const QString& text, int* emptyEntries) {
    // Split at each ';' that is not escaped; "\\;", "\\\\" and "\\n" stand for a
    // ';', a backslash and a line end inside an entry (a backslash before
    // anything else is kept as written).
    QStringList parts{QString()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size() &&
            (text[i + 1] == u';' || text[i + 1] == u'\\' || text[i + 1] == u'n')) {
            const QChar next = text[++i];
            parts.last() += next == u'n' ? QChar(u'\n') : next;
        } else if (c == u';') {
            parts << QString();
        } else {
            parts.last() += c;
        }
    }
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString entry = parts[i].trimmed();
        if (!entry.isEmpty())
            entries << entry;
        else if (emptyEntries && i + 1 < parts.size())
            ++*emptyEntries;
    }
    return entries;
}

QString toText(const QVariant& value) {
    QString text;
    switch (value.typeId()) {
    case QMetaType::Bool:
        text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        // The shortest text that reads back as the same number: 0.1, not
        // 0.10000000000000001.
        text = QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        break;
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        // An entry keeps a ';' or a line end of its own, escaped as the
        // desktop-entry rules escape them in lists.
        for (const QString& element : value.toStringList())
            text += element.trimmed()
                        .replace(u'\\', QStringLiteral("\\\\"))
                        .replace(u';', QStringLiteral("\\;"))
                        .replace(u'\n', QStringLiteral("\\n"))
                        .remove(u'\r') +
                    u';';
        break;
    default:
        text = value.toString();
    }
    text.remove(u'\n');
    text.remove(u'\r');
    return text;
}

std::optional<QVariant> fromText(const QString& text, const QVariant& like) {
    bool ok = false;
    switch (like.typeId()) {
    case QMetaType::Bool: {
        // Whatever people write for yes and no; Quorvel itself writes true/false.
        const QString word = text.toLower();
        if (word == u"true" || word == u"yes" || word == u"on" || word == u"1")
            return true;
        if (word == u"false" || word == u"no" || word == u"off" || word == u"0")
            return false;
        return std::nullopt;
    }
    case QMetaType::Int:
    case QMetaType::LongLong: {
        if (const int v = text.toInt(&ok); ok)
            return v;
        // "3.0" is a whole number too; "2.5" is not.
        const double v = text.toDouble(&ok);
        if (!ok || !std::isfinite(v) || v != std::trunc(v) || v < INT_MIN || v > INT_MAX)
            return std::nullopt;
        return int(v);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = text.toDouble(&ok);
        return ok && std::isfinite(v) ? std::optional<QVariant>(v) : std::nullopt;
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        return listEntries(text);
    default:
        return text;
    }
}

} // namespace StoredValue
