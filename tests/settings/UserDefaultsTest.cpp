#include "settings/UserDefaults.h"
#include "TestSupport.h"
#include "settings/ListEdits.h"
#include "settings/NSUserDefaults-QVExt.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;

TEST(UserDefaults, EveryKeyHasAUsableDefaultAndUnknownKeysReadAsNeutral) {
    TestSettings settings;
    UserDefaults& d = settings.defaults();
    for (const QString& key : all()) {
        const QVariant value = d.objectForKey(key);
        ASSERT_TRUE(value.isValid()) << key.toStdString();
        // A list's check is of its entries, and the default lists are empty.
        if (value.typeId() != QMetaType::QStringList) {
            EXPECT_TRUE(SettingsKeys::isUsable(key, value)) << key.toStdString();
        }
    }
    EXPECT_FALSE(d.boolForKey("NoSuchKey"));
    EXPECT_EQ(d.integerForKey("NoSuchKey"), 0);
    EXPECT_EQ(d.floatForKey("NoSuchKey"), 0.0f);
    EXPECT_FALSE(QVExtensions::unarchivedObjectForKey(d, "NoSuchColor").isValid());
}

TEST(UserDefaults, TypedValuesRoundTripThroughTheFileWithOneChangeAWrite) {
    TestSettings settings;
    const QColor colour(10, 200, 30, 128);
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);
    settings.defaults().setObject(QStringList{"x.desktop"}, AutoHideApplications);
    settings.defaults().setObjects(
        {{CPUInterval, 0.25},
         {NetScale, 7},
         {AutoHide, false},
         {BackgroundFillColor, QVExtensions::archivedColor(colour)},
         {AutoHideApplications, QStringList{"firefox.desktop", "a.desktop", "a.desktop"}}});
    UserDefaults reread(settings.filePath());
    SettingsKeys::registerDefaultDefaults(reread);
    EXPECT_FLOAT_EQ(reread.floatForKey(CPUInterval), 0.25f);
    EXPECT_EQ(reread.integerForKey(NetScale), 7);
    EXPECT_FALSE(reread.boolForKey(AutoHide));
    EXPECT_EQ(QVExtensions::unarchivedObjectForKey(reread, BackgroundFillColor), colour)
        << "alpha included";
    EXPECT_EQ(reread.stringArrayForKey(AutoHideApplications),
              (QStringList{"firefox.desktop", "a.desktop", "a.desktop"}));

    settings.defaults().setObject(QStringList{}, AutoHideApplications);
    UserDefaults emptied(settings.filePath());
    SettingsKeys::registerDefaultDefaults(emptied);
    EXPECT_TRUE(emptied.stringArrayForKey(AutoHideApplications).isEmpty());
    // The file watcher sees our own writes too; they must not count again.
    QTest::qWait(300);
    EXPECT_EQ(changes.count(), 3);
}

struct BadValue {
    const char* key;
    const char* stored;
};
// As the file would have it, in test listings and failures.
void PrintTo(const BadValue& bad, std::ostream* out) {
    *out << bad.key << '=' << bad.stored;
}

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
                      BadValue{"CPUInterval", "0.001"}, BadValue{"NetScale", "21"},
                      BadValue{"AutoHide", "maybe"}, BadValue{"WindowPosition", "corner"},
                      BadValue{"AutoHideApplications", "kde/x.desktop;"},
                      BadValue{"AutoHideApplications", ";;"}));

struct Spelling {
    const char* key;
    const char* stored;
    QVariant expected;
    const char* logged; // a part of the one report, or "" for none
};
void PrintTo(const Spelling& spelling, std::ostream* out) {
    *out << spelling.key << '=' << spelling.stored;
}

class ForgivingSpelling : public ::testing::TestWithParam<Spelling> {};

TEST_P(ForgivingSpelling, ReadsAsMeantAndReportsWhatIsSkipped) {
    const Spelling spelling = GetParam();
    TestSettings settings(QByteArray("[General]\n") + spelling.key + "=" + spelling.stored + "\n");
    testing::internal::CaptureStderr();
    const QVariant value = settings.defaults().objectForKey(spelling.key);
    settings.defaults().objectForKey(spelling.key);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(value, spelling.expected);
    const std::string logged = spelling.logged;
    if (logged.empty()) {
        EXPECT_EQ(log, "");
    } else {
        EXPECT_NE(log.find(logged), std::string::npos) << log;
        EXPECT_EQ(log.find(logged), log.rfind(logged)) << "reported twice: " << log;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ForgivingSpelling,
    ::testing::Values(
        Spelling{"AutoHide", "False", false, ""}, Spelling{"ShowIconOnMenuBar", "no", false, ""},
        Spelling{"ShowNetGraph", "Off", false, ""}, Spelling{"ShowCPUGraph", "0", false, ""},
        Spelling{"AutoHide", "YES", true, ""}, Spelling{"AutoHide", "on", true, ""},
        Spelling{"NetScale", "3.0", 3, ""}, Spelling{"WindowPosition", "2.0", 2, ""},
        Spelling{"NetScale", "2.5", 6, "unusable value (2.5)"},
        Spelling{"CPUInterval", "0.25", 0.25, ""},
        Spelling{"AutoHideApplications", " a.desktop; b.desktop ",
                 QStringList{"a.desktop", "b.desktop"}, ""},
        Spelling{"AutoHideApplications", "a.desktop;;b.desktop;",
                 QStringList{"a.desktop", "b.desktop"}, "1 empty entries"},
        Spelling{"AutoHideApplications", "a.desktop;kde/x.desktop;/opt/y.desktop;",
                 QStringList{"a.desktop", "/opt/y.desktop"}, "unusable entry (kde/x.desktop)"}));

// A file edited by hand: comments, a key Quorvel does not know, a line that is
// not Key=value, another section, Windows line ends on one line.
const QByteArray handEditedFile = "# my settings\n"
                                  "[General]\n"
                                  "WindowPosition=2\n"
                                  "AutoHide=False\r\n"
                                  "AutoHide: false\n"
                                  "Foo.Bar=1\n"
                                  "\n"
                                  "[Other]\n"
                                  "NetScale=9\n";

TEST(UserDefaults, AHandEditedFileIsUsedLineByLineAndASaveChangesOnlyItsLine) {
    testing::internal::CaptureStderr();
    TestSettings settings(handEditedFile);
    UserDefaults& d = settings.defaults();
    EXPECT_EQ(d.integerForKey(SettingsKeys::WindowPosition), 2);
    EXPECT_FALSE(d.boolForKey(SettingsKeys::AutoHide));
    EXPECT_EQ(d.integerForKey(SettingsKeys::NetScale), 6) << "another section's keys are not ours";
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("line 5 (\"AutoHide: false\") is not a Key=value line"), std::string::npos)
        << log;
    EXPECT_NE(log.find("\"Foo.Bar\", which is not a setting"), std::string::npos) << log;

    ASSERT_TRUE(d.setObject(0.1, SettingsKeys::CPUInterval));
    QByteArray expected = handEditedFile;
    expected.replace("Foo.Bar=1\n", "Foo.Bar=1\nCPUInterval=0.1\n");
    EXPECT_EQ(readFileBytes(settings.filePath()), expected);

    ASSERT_TRUE(d.setObject(true, SettingsKeys::AutoHide));
    expected.replace("AutoHide=False\r\n", "AutoHide=true\r\n");
    EXPECT_EQ(readFileBytes(settings.filePath()), expected);
    EXPECT_TRUE(QDir(settings.directory()).entryList({"*.unreadable-*"}).isEmpty())
        << "a readable file is never moved aside";
}

TEST(UserDefaults, ListEditsTouchOnlyTheirEntry) {
    TestSettings settings(
        "[General]\nAutoHideApplications=a.desktop; kde/bad.desktop ;b.desktop\n");
    UserDefaults& d = settings.defaults();
    ASSERT_EQ(d.stringArrayForKey(AutoHideApplications), (QStringList{"a.desktop", "b.desktop"}));
    ListEdits::append(d, AutoHideApplications, {"c.desktop"});
    EXPECT_TRUE(
        readFileBytes(settings.filePath())
            .contains("AutoHideApplications=a.desktop;kde/bad.desktop;b.desktop;c.desktop;\n"));
    ListEdits::removeEntry(d, AutoHideApplications, 1); // b.desktop, the second usable entry
    EXPECT_TRUE(readFileBytes(settings.filePath())
                    .contains("AutoHideApplications=a.desktop;kde/bad.desktop;c.desktop;\n"));
    // An edit made by hand a moment ago is the base of the next one, even
    // before the change notice arrives.
    writeFileBytes(settings.filePath(), "[General]\nAutoHideApplications=x.desktop;\n");
    ListEdits::append(d, AutoHideApplications, {"y.desktop"});
    EXPECT_EQ(d.stringArrayForKey(AutoHideApplications), (QStringList{"x.desktop", "y.desktop"}));
}

TEST(UserDefaults, BinaryFileStartsOnDefaultsAndIsKeptAsABackupAtTheFirstSave) {
    static const char bytes[] =
        "\x7f\x45\x4c\x46\x02\x01\x01\x00garbage\xff\n[General\nNetScale=9\n";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    testing::internal::CaptureStderr();
    TestSettings settings(garbage);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(settings.defaults().fileIsUnreadable());
    EXPECT_NE(log.find("cannot be read"), std::string::npos) << log;
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 6);
    QTest::qWait(200);
    EXPECT_EQ(readFileBytes(settings.filePath()), garbage);

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
    writeFileBytes(settings.filePath(), "[General]\nNetScale=9\nNetInterval=5\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() > 0; }, 1500));
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 9);

    // A write right after a hand edit, before its notice, keeps that edit.
    writeFileBytes(settings.filePath(), "[General]\nNetScale=3\nNetInterval=4\n");
    settings.defaults().setObject(false, SettingsKeys::AutoHide);
    EXPECT_TRUE(readFileBytes(settings.filePath()).contains("NetInterval=4\n"));
}

TEST(UserDefaults, AFileOfGarbageIsReportedInAFewLines) {
    QByteArray garbage = "[General]\nNetScale=3\n";
    for (int i = 0; i < 10000; ++i)
        garbage += "garbage line " + QByteArray::number(i) + "\n";
    testing::internal::CaptureStderr();
    TestSettings settings(garbage);
    settings.defaults().reloadNow();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6) << log.substr(0, 2000);
    EXPECT_NE(log.find("9995 more lines are ignored"), std::string::npos) << log.substr(0, 2000);
    EXPECT_EQ(settings.defaults().integerForKey(SettingsKeys::NetScale), 3);
}

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
