#include "NSUserDefaults-QVExt.h"
#include "SettingsKeys.h"
#include "TestSupport.h"
#include "platform/SettingsText.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace SettingsKeys;

TEST(UserDefaults, RegisteredDefaultsAnswerEveryKey) {
    TestSettings settings;
    UserDefaults& d = settings.defaults();
    for (const QString& key : all())
        EXPECT_TRUE(d.objectForKey(key).isValid()) << key.toStdString();
    EXPECT_TRUE(d.boolForKey(ShowCPUGraph));
    EXPECT_GE(d.integerForKey(NetInterval), 1);
    EXPECT_GE(d.integerForKey(NetScale), 1);
    EXPECT_GT(d.floatForKey(CPUInterval), 0.0f);
    EXPECT_TRUE(d.stringArrayForKey(AutoHideApplications).isEmpty());
    for (const QString& key : all()) {
        if (isColorKey(key)) {
            EXPECT_TRUE(QVExtensions::unarchivedObjectForKey(d, key).isValid())
                << key.toStdString();
        }
    }
}

TEST(UserDefaults, MissingKeysReadAsNeutralValues) {
    TestSettings settings;
    UserDefaults& d = settings.defaults();
    EXPECT_FALSE(d.boolForKey("NoSuchKey"));
    EXPECT_EQ(d.integerForKey("NoSuchKey"), 0);
    EXPECT_EQ(d.floatForKey("NoSuchKey"), 0.0f);
    EXPECT_FALSE(d.objectForKey("NoSuchKey").isValid());
    EXPECT_FALSE(QVExtensions::unarchivedObjectForKey(d, "NoSuchColor").isValid());
}

TEST(UserDefaults, ColourWithHalfAlphaSurvivesWriteAndRead) {
    TestSettings settings;
    const QColor colour(10, 200, 30, 128);
    settings.defaults().setObject(QVExtensions::archivedColor(colour), BackgroundFillColor);
    EXPECT_EQ(QVExtensions::unarchivedObjectForKey(settings.defaults(), BackgroundFillColor), colour);

    // And from the file, by a fresh reader.
    UserDefaults reread(settings.filePath());
    SettingsKeys::registerDefaultDefaults(reread);
    const QColor back = QVExtensions::unarchivedObjectForKey(reread, BackgroundFillColor);
    EXPECT_EQ(back, colour);
    EXPECT_EQ(back.alpha(), 128);
}

TEST(UserDefaults, TypedValuesRoundTripThroughTheFile) {
    TestSettings settings;
    settings.defaults().setObjects({{CPUInterval, 0.25},
                                    {NetScale, 7},
                                    {AutoHide, false},
                                    {AutoHideApplications,
                                     QStringList{"firefox.desktop", "a.desktop", "a.desktop"}}});
    UserDefaults reread(settings.filePath());
    SettingsKeys::registerDefaultDefaults(reread);
    EXPECT_FLOAT_EQ(reread.floatForKey(CPUInterval), 0.25f);
    EXPECT_EQ(reread.integerForKey(NetScale), 7);
    EXPECT_FALSE(reread.boolForKey(AutoHide));
    EXPECT_EQ(reread.stringArrayForKey(AutoHideApplications),
              (QStringList{"firefox.desktop", "a.desktop", "a.desktop"}));
}

TEST(UserDefaults, EmptyListRoundTrips) {
    TestSettings settings;
    settings.defaults().setObject(QStringList{"x.desktop"}, AutoHideApplications);
    settings.defaults().setObject(QStringList{}, AutoHideApplications);
    UserDefaults reread(settings.filePath());
    SettingsKeys::registerDefaultDefaults(reread);
    EXPECT_TRUE(reread.stringArrayForKey(AutoHideApplications).isEmpty());
}

TEST(UserDefaults, EveryWritePostsExactlyOneChange) {
    TestSettings settings;
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);
    settings.defaults().setObject(3, NetScale);
    EXPECT_EQ(changes.count(), 1);
    settings.defaults().setObjects({{NetScale, 4}, {AutoHide, true}});
    EXPECT_EQ(changes.count(), 2);
    // The file watcher sees our own writes too; they must not count again.
    QTest::qWait(400);
    EXPECT_EQ(changes.count(), 2);
}

struct BadValue {
    const char* key;
    const char* stored;
};

class UnusableStoredValue : public ::testing::TestWithParam<BadValue> {};

TEST_P(UnusableStoredValue, ReadsTheDefaultAndWarnsOnce) {
    const BadValue bad = GetParam();
    const QByteArray file = QByteArray("[General]\n") + bad.key + "=" + bad.stored + "\n";
    TestSettings settings(file);
    UserDefaults& d = settings.defaults();
    UserDefaults pristine(settings.directory() + "/none.conf");
    SettingsKeys::registerDefaultDefaults(pristine);

    testing::internal::CaptureStderr();
    const QVariant first = d.objectForKey(bad.key);
    const QVariant second = d.objectForKey(bad.key);
    const std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(first, pristine.objectForKey(bad.key));
    EXPECT_EQ(second, first);
    const std::string needle = std::string("\"") + bad.key + "\"";
    ASSERT_NE(log.find(needle), std::string::npos) << log;
    EXPECT_EQ(log.find(needle), log.rfind(needle)) << "warned more than once: " << log;
    // Reading never rewrites the user's file.
    EXPECT_EQ(readFileBytes(settings.filePath()), file);
}

INSTANTIATE_TEST_SUITE_P(
    BadSettings, UnusableStoredValue,
    ::testing::Values(BadValue{"CPUInterval", "0"}, BadValue{"CPUInterval", "-1.5"},
                      BadValue{"CPUInterval", "fast"}, BadValue{"CPUInterval", "nan"},
                      BadValue{"NetInterval", "0"}, BadValue{"NetInterval", "2.5"},
                      BadValue{"NetScale", "0"}, BadValue{"NetScale", "-3"},
                      BadValue{"TextColor", "red"}, BadValue{"TextColor", "#12345"},
                      BadValue{"BackgroundFillColor", "#gg000000"},
                      BadValue{"AutoHide", "maybe"}, BadValue{"WindowPosition", "corner"},
                      BadValue{"AutoHideApplications", "/usr/share/applications/x.desktop;"},
                      BadValue{"AutoHideApplications", ";;"}));

TEST(UserDefaults, UnparseableFileStartsOnDefaultsAndIsKeptByteIdentical) {
    static const char bytes[] = "\x7f\x45\x4c\x46\x02\x01garbage\n[General\nnot a line\n";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    testing::internal::CaptureStderr();
    TestSettings settings(garbage);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(settings.defaults().fileIsUnreadable());
    EXPECT_NE(log.find("cannot be read"), std::string::npos) << log;
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 6);
    QTest::qWait(200);
    EXPECT_EQ(readFileBytes(settings.filePath()), garbage);
}

TEST(UserDefaults, SavingOverAnUnreadableFileKeepsItAsABackupFirst) {
    const QByteArray garbage("NetScale 9 without an equals sign\n");
    TestSettings settings(garbage);
    ASSERT_TRUE(settings.defaults().fileIsUnreadable());
    ASSERT_TRUE(settings.defaults().setObject(3, SettingsKeys::NetScale));

    const QStringList backups =
        QDir(settings.directory()).entryList({"Quorvel.conf.unreadable-*"}, QDir::Files);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readFileBytes(settings.directory() + "/" + backups.first()), garbage);
    UserDefaults reread(settings.filePath());
    SettingsKeys::registerDefaultDefaults(reread);
    EXPECT_FALSE(reread.fileIsUnreadable());
    EXPECT_EQ(reread.integerForKey(SettingsKeys::NetScale), 3);
}

TEST(UserDefaults, FileWithoutReadPermissionIsLeftAlone) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    const QByteArray contents("[General]\nNetScale=4\n");
    QTemporaryDir dir;
    const QString path = dir.path() + "/Quorvel.conf";
    writeFileBytes(path, contents);
    ::chmod(QFile::encodeName(path).constData(), 0);
    UserDefaults d(path);
    EXPECT_TRUE(d.fileIsUnreadable());
    ::chmod(QFile::encodeName(path).constData(), 0600);
    EXPECT_EQ(readFileBytes(path), contents);
}

TEST(UserDefaults, HandEditIsPickedUpAsAChange) {
    TestSettings settings;
    settings.defaults().setObject(3, SettingsKeys::NetScale);
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);

    // An editor's save: write a new file and rename it over the old one.
    const QString temp = settings.directory() + "/Quorvel.conf.tmp";
    writeFileBytes(temp, "[General]\nNetScale=8\n");
    ASSERT_EQ(::rename(QFile::encodeName(temp).constData(),
                       QFile::encodeName(settings.filePath()).constData()),
              0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() > 0; }, 1500));
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 8);

    // And an edit in place, after the rename.
    changes.clear();
    writeFileBytes(settings.filePath(), "[General]\nNetScale=9\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() > 0; }, 1500));
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 9);
}

TEST(UserDefaults, WritesKeepKeysEditedByHandMeanwhile) {
    TestSettings settings;
    settings.defaults().setObject(3, SettingsKeys::NetScale);
    writeFileBytes(settings.filePath(), "[General]\nNetScale=3\nNetInterval=5\n");
    settings.defaults().setObject(false, SettingsKeys::AutoHide);
    UserDefaults reread(settings.filePath());
    SettingsKeys::registerDefaultDefaults(reread);
    EXPECT_EQ(reread.integerForKey(SettingsKeys::NetInterval), 5);
    EXPECT_FALSE(reread.boolForKey(SettingsKeys::AutoHide));
}

TEST(SettingsText, ReadsWhatQSettingsStyleFilesHold) {
    const auto values = parseSettingsText("; comment\n# another\n\n[General]\r\nA=1\nB = two words \n"
                                          "[Other]\nC=3\n");
    ASSERT_TRUE(values);
    EXPECT_EQ(values->value("A"), "1");
    EXPECT_EQ(values->value("B"), "two words");
    EXPECT_FALSE(values->contains("C")) << "keys of other sections are not ours";
}

TEST(SettingsText, RejectsDamage) {
    EXPECT_FALSE(parseSettingsText("[General]\nA=1\njunk\n"));
    EXPECT_FALSE(parseSettingsText("[General]\nbad key=1\n"));
    EXPECT_FALSE(parseSettingsText(QByteArray("A=1\0B=2\n", 8)));
    EXPECT_FALSE(parseSettingsText("A=\xff\xfe\n"));
    EXPECT_FALSE(parseSettingsText("[General\nA=1\n"));
}

TEST(SettingsText, FormatThenParseIsIdentity) {
    const QMap<QString, QString> values{{"A", "#ff000080"}, {"B", "x;y;"}, {"C", ""}};
    EXPECT_EQ(parseSettingsText(formatSettingsText(values)), values);
}

} // namespace

namespace {

TEST(UserDefaults, AFailedSaveSaysSoAndKeepsTheValueForTheSession) {
    QTemporaryDir dir;
    // A settings directory that cannot be written, even by root: its name is
    // taken by a plain file.
    writeFileBytes(dir.path() + "/Quorvel", "not a directory");
    UserDefaults d(dir.path() + "/Quorvel/Quorvel.conf");
    SettingsKeys::registerDefaultDefaults(d);
    QSignalSpy changes(&d, &UserDefaults::didChange);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(d.setObject(3, SettingsKeys::NetScale));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Cannot save the settings"), std::string::npos) << log;
    EXPECT_EQ(d.integerForKey(SettingsKeys::NetScale), 3);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(readFileBytes(dir.path() + "/Quorvel"), "not a directory");
}

TEST(UserDefaults, GarbageWrittenWhileRunningKeepsTheLastGoodValues) {
    TestSettings settings;
    settings.defaults().setObject(4, SettingsKeys::NetScale);
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);
    testing::internal::CaptureStderr();
    writeFileBytes(settings.filePath(), QByteArray("\x00\x01\x02garbage", 10));
    QTest::qWait(400);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("keeping the settings read before"), std::string::npos) << log;
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 4);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(readFileBytes(settings.filePath()), QByteArray("\x00\x01\x02garbage", 10));
}

} // namespace
