#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The text of the settings file: an INI file whose [General] section holds the
// settings as Key=value lines (keys before any section header count as
// [General], as QSettings has it).
//
// The text is kept line by line, so that a write changes only the lines of the
// keys it sets: comments, blank lines, other sections, keys this program does
// not know and lines it cannot read all stay as they were, in place.
//
// A line that is neither blank, a comment ('#' or ';'), a section header nor
// Key=value (Key without blanks) cannot be read: it is listed in problems()
// and otherwise ignored. Only text that is not text at all (a NUL byte, or not
// UTF-8) is refused as a whole.
class SettingsText {
public:
    // nullopt (and *error set) for binary or non-UTF-8 text.
    static std::optional<SettingsText> parse(const QByteArray& bytes, QString* error = nullptr);

    // The [General] section's values; of a key given twice, the later line.
    const QMap<QString, QString>& values() const { return values_; }
    // One description per line that cannot be read, naming its line number.
    const QStringList& problems() const { return problems_; }

    // Sets key's value: rewrites the line that gives it, or adds a line at the
    // end of the [General] section (creating the section when there is none).
    void setValue(const QString& key, const QString& value);
    QByteArray toBytes() const;

private:
    void scan();
    void insertLine(qsizetype index, const QString& line);

    QStringList lines_; // without their '\n'; a '\r' before it is kept
    bool endsWithNewline_ = true;
    bool byteOrderMark_ = false;
    QString lineEnd_; // what added lines carry before their '\n': "\r" in a CRLF file
    QMap<QString, QString> values_;
    QMap<QString, qsizetype> valueLines_; // key -> index of the line that gives it
    qsizetype lastGeneralLine_ = -1;      // where a new key goes; -1: no [General] yet
    QStringList problems_;
};
