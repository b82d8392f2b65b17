#include "settings/SettingsText.h"

#include <QStringDecoder>

std::optional<SettingsText> SettingsText::parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<SettingsText> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.contains('\0'))
        return fail(QStringLiteral("it holds binary data"));
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError())
        return fail(QStringLiteral("it is not UTF-8 text"));

    SettingsText text;
    // A byte-order mark is kept apart from the lines, so that writing gives it
    // back first, wherever a line is added.
    if (decoded.startsWith(QChar(0xfeff))) {
        text.byteOrderMark_ = true;
        decoded.remove(0, 1);
    }
    if (!decoded.isEmpty()) {
        text.lines_ = decoded.split(u'\n');
        text.endsWithNewline_ = decoded.endsWith(u'\n');
        if (text.endsWithNewline_)
            text.lines_.removeLast();
    }
    // Lines added later end the way most of the file's lines end.
    qsizetype crlf = 0, ended = text.endsWithNewline_ ? text.lines_.size() : text.lines_.size() - 1;
    for (qsizetype i = 0; i < ended; ++i)
        crlf += text.lines_[i].endsWith(u'\r');
    text.lineEnd_ = crlf * 2 > ended ? QStringLiteral("\r") : QString();
    text.scan();
    return text;
}

void SettingsText::scan() {
    values_.clear();
    valueLines_.clear();
    problems_.clear();
    lastGeneralLine_ = -1;
    bool inGeneral = true; // keys before any section header belong to [General]
    bool sawHeader = false;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const QString trimmed = lines_[i].trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u';'))
            continue;
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            sawHeader = true;
            inGeneral = trimmed == u"[General]";
            if (inGeneral)
                lastGeneralLine_ = i;
            continue;
        }
        const qsizetype equals = trimmed.indexOf(u'=');
        const QString key = trimmed.left(equals).trimmed();
        if (equals <= 0 ||
            std::any_of(key.begin(), key.end(), [](QChar c) { return c.isSpace(); })) {
            problems_ << QStringLiteral("line %1 (\"%2\") is not a Key=value line")
                             .arg(i + 1)
                             .arg(trimmed.left(60));
            continue;
        }
        if (!inGeneral)
            continue;
        values_.insert(key, trimmed.mid(equals + 1).trimmed());
        valueLines_.insert(key, i);
        lastGeneralLine_ = i;
    }
    // A file of bare keys without any header: new keys go after its last key.
    if (!sawHeader && lastGeneralLine_ < 0 && !valueLines_.isEmpty())
        lastGeneralLine_ = valueLines_.last();
}

void SettingsText::setValue(const QString& key, const QString& value) {
    const QString line = key + u'=' + value;
    if (const auto known = valueLines_.constFind(key); known != valueLines_.cend()) {
        // Keep the line ending this line has.
        lines_[*known] = lines_[*known].endsWith(u'\r') ? line + u'\r' : line;
    } else if (lastGeneralLine_ >= 0) {
        insertLine(lastGeneralLine_ + 1, line);
    } else {
        // No [General] section yet: one at the top, before any other section.
        const bool alone = lines_.isEmpty();
        if (!alone)
            insertLine(0, QString());
        insertLine(0, line);
        insertLine(0, QStringLiteral("[General]"));
    }
    scan();
}

void SettingsText::insertLine(qsizetype index, const QString& line) {
    // The last line of a file without a final newline has no line end; one
    // added after it takes that place.
    if (index == lines_.size() && !endsWithNewline_ && !lines_.isEmpty()) {
        lines_.last() += lineEnd_;
        lines_.append(line);
        return;
    }
    lines_.insert(index, line + lineEnd_);
}

QByteArray SettingsText::toBytes() const {
    QString text = lines_.join(u'\n');
    if (endsWithNewline_ && !lines_.isEmpty())
        text += u'\n';
    return (byteOrderMark_ ? QByteArrayLiteral("\xef\xbb\xbf") : QByteArray()) + text.toUtf8();
}
