#include "TestSupport.h"

#include "settings/SettingsKeys.h"
#include "settings/UserDefaults.h"

#include <QFile>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}

std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}

std::ostream& operator<<(std::ostream& out, const QByteArray& bytes) {
    return out << bytes.toStdString();
}

QString fixturePath(const QString& relative) {
    return QStringLiteral(QUORVEL_FIXTURES "/") + relative;
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

TestSettings::TestSettings(const QByteArray& initialFile) {
    if (!initialFile.isNull())
        writeFileBytes(filePath(), initialFile);
    defaults_ = std::make_unique<UserDefaults>(filePath());
    SettingsKeys::registerDefaultDefaults(*defaults_);
    UserDefaults::setStandardUserDefaults(defaults_.get());
}

TestSettings::~TestSettings() {
    UserDefaults::setStandardUserDefaults(nullptr);
}

QString TestSettings::filePath() const {
    return dir_.path() + QStringLiteral("/Quorvel.conf");
}
