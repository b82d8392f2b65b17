#include "SettingsText.h"

#include <QStringDecoder>

namespace {

bool isKeyCharacter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

} // namespace

std::optional<QMap<QString, QString>> parseSettingsText(const QByteArray& text, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<QMap<QString, QString>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (text.contains('\0'))
        return fail(QStringLiteral("it holds binary data"));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(text);
    if (utf8.hasError())
        return fail(QStringLiteral("it is not UTF-8 text"));

    QMap<QString, QString> values;
    bool inGeneral = true; // keys before any section header belong to [General]
    const QStringList lines = decoded.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u';'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']'))
                return fail(QStringLiteral("line %1 is not a section header").arg(i + 1));
            inGeneral = trimmed == u"[General]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString key = line.left(equals).trimmed();
        if (equals < 0 || key.isEmpty() || !std::all_of(key.begin(), key.end(), isKeyCharacter))
            return fail(QStringLiteral("line %1 is not a key=value line").arg(i + 1));
        if (inGeneral)
            values.insert(key, line.mid(equals + 1).trimmed());
    }
    return values;
}

QByteArray formatSettingsText(const QMap<QString, QString>& values) {
    QString text = QStringLiteral("[General]\n");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text += it.key() + u'=' + it.value() + u'\n';
    return text.toUtf8();
}
