#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

class UserDefaults;

// Qt's strings as text in GoogleTest's messages, not as bytes.
void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QByteArray& bytes, std::ostream* out);
// And in the messages added to a failed check with <<.
std::ostream& operator<<(std::ostream& out, const QString& text);
std::ostream& operator<<(std::ostream& out, const QByteArray& bytes);

QString fixturePath(const QString& relative);
QByteArray readFileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);

// A settings file in a fresh temporary directory, with Quorvel's defaults
// registered, installed as the program's standard settings for the test's life.
class TestSettings {
public:
    explicit TestSettings(const QByteArray& initialFile = {});
    ~TestSettings();

    UserDefaults& defaults() { return *defaults_; }
    QString filePath() const;
    QString directory() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    std::unique_ptr<UserDefaults> defaults_;
};
