#include "settings/UserDefaults.h"
#include "TestSupport.h"
#include "settings/ListEdits.h"
#include "settings/NSUserDefaults-QVExt.h"
#include "settings/SettingsKeys.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <unistd.h>

// Set while a test stands for a file system without hard links (vfat, some
// network file systems), where every linkat fails.
static bool noHardLinks = false;

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to,
                      int flags) noexcept {
    if (noHardLinks) {
        errno = EPERM;
        return -1;
    }
    using Linkat = int (*)(int, const char*, int, const char*, int);
    static const auto real = reinterpret_cast<Linkat>(dlsym(RTLD_NEXT, "linkat"));
    return real(fromDir, from, toDir, to, flags);
}

namespace {

using namespace SettingsKeys;

// What a test's reading of the settings wrote to standard error.
template <typename F> std::string stderrOf(F&& f) {
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

TEST(UserDefaults, EveryKeyHasAUsableDefaultAndUnknownKeysReadAsNeutral) {
    TestSettings settings;
    UserDefaults& d = settings.defaults();
    for (const QString& key : all()) {
        const QVariant value = d.objectForKey(key);
        // A list's check is of its entries, and the default lists are empty.
        EXPECT_TRUE(value.typeId() == QMetaType::QStringList || isUsable(key, value)) << key;
    }
    EXPECT_FALSE(d.boolForKey("NoSuchKey"));
    EXPECT_EQ(d.integerForKey("NoSuchKey"), 0);
    EXPECT_FALSE(QVExtensions::unarchivedObjectForKey(d, "NoSuchColor").isValid());
}

TEST(UserDefaults, TypedValuesRoundTripThroughTheFileWithOneChangeAWrite) {
    TestSettings settings;
    const QColor colour(10, 200, 30, 128);
    // Entries keep their own ';', line end and backslash.
    const QStringList list{"firefox.desktop",
                           "a.desktop",
                           "a.desktop",
                           "/opt/a;b.desktop",
                           "/opt/new\nline.desktop",
                           "/opt/back\\slash.desktop"};
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);
    settings.defaults().setObject(QStringList{"x.desktop"}, AutoHideApplications);
    settings.defaults().setObjects({{CPUInterval, 0.25},
                                    {NetScale, 7},
                                    {AutoHide, false},
                                    {BackgroundFillColor, QVExtensions::archivedColor(colour)},
                                    {AutoHideApplications, list}});
    UserDefaults reread(settings.filePath());
    registerDefaultDefaults(reread);
    EXPECT_FLOAT_EQ(reread.floatForKey(CPUInterval), 0.25f);
    EXPECT_EQ(reread.integerForKey(NetScale), 7);
    EXPECT_FALSE(reread.boolForKey(AutoHide));
    EXPECT_EQ(QVExtensions::unarchivedObjectForKey(reread, BackgroundFillColor), colour);
    EXPECT_EQ(reread.stringArrayForKey(AutoHideApplications), list);

    settings.defaults().setObject(QStringList{}, AutoHideApplications);
    UserDefaults emptied(settings.filePath());
    registerDefaultDefaults(emptied);
    EXPECT_TRUE(emptied.stringArrayForKey(AutoHideApplications).isEmpty());
    // The file watcher sees our own writes too; they must not count again.
    QTest::qWait(300);
    EXPECT_EQ(changes.count(), 3);
}

struct StoredValue {
    const char* key;
    const char* stored;
    QVariant expected;  // invalid: the default
    const char* logged; // a part of the one report, or "" for none
};
void PrintTo(const StoredValue& value, std::ostream* out) {
    *out << value.key << '=' << value.stored;
}

StoredValue unusable(const char* key, const char* stored) {
    return {key, stored, QVariant(), ""};
}

class StoredValues : public ::testing::TestWithParam<StoredValue> {};

// Values as people write them read as meant; what cannot be used reads as the
// default with one report, and the file is never rewritten by a read.
TEST_P(StoredValues, ReadAsMeantOrAsTheDefaultWithOneReport) {
    const StoredValue value = GetParam();
    const QByteArray file = QByteArray("[General]\n") + value.key + "=" + value.stored + "\n";
    TestSettings settings(file);
    UserDefaults pristine(settings.directory() + "/none.conf");
    registerDefaultDefaults(pristine);
    QVariant read;
    const std::string log = stderrOf([&] {
        read = settings.defaults().objectForKey(value.key);
        EXPECT_EQ(settings.defaults().objectForKey(value.key), read);
    });
    EXPECT_EQ(read, value.expected.isValid() ? value.expected : pristine.objectForKey(value.key));
    const std::string logged =
        value.expected.isValid() ? value.logged : std::string("\"") + value.key + "\"";
    if (logged.empty())
        EXPECT_EQ(log, "");
    else
        EXPECT_TRUE(log.find(logged) != std::string::npos && log.find(logged) == log.rfind(logged))
            << "not said once: " << log;
    EXPECT_EQ(readFileBytes(settings.filePath()), file);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StoredValues,
    ::testing::Values(
        unusable("CPUInterval", "0"), unusable("CPUInterval", "-1.5"),
        unusable("CPUInterval", "fast"), unusable("CPUInterval", "nan"),
        unusable("CPUInterval", "0.001"), unusable("NetInterval", "2.5"), unusable("NetScale", "0"),
        unusable("NetScale", "21"), unusable("TextColor", "red"), unusable("TextColor", "#12345"),
        unusable("BackgroundFillColor", "#gg000000"), unusable("AutoHide", "maybe"),
        unusable("WindowPosition", "corner"), unusable("AutoHideApplications", "kde/x.desktop;"),
        unusable("AutoHideApplications", ";;"), StoredValue{"AutoHide", "False", false, ""},
        StoredValue{"ShowIconOnMenuBar", "no", false, ""},
        StoredValue{"ShowNetGraph", "Off", false, ""}, StoredValue{"ShowCPUGraph", "0", false, ""},
        StoredValue{"AutoHide", "YES", true, ""}, StoredValue{"AutoHide", "on", true, ""},
        StoredValue{"NetScale", "3.0", 3, ""}, StoredValue{"WindowPosition", "2.0", 2, ""},
        StoredValue{"NetScale", "2.5", 6, "unusable value (2.5)"},
        StoredValue{"CPUInterval", "0.25", 0.25, ""},
        StoredValue{"AutoHideApplications", " a.desktop; b.desktop ",
                    QStringList{"a.desktop", "b.desktop"}, ""},
        StoredValue{"AutoHideApplications", "a.desktop;;b.desktop;",
                    QStringList{"a.desktop", "b.desktop"}, "1 empty entries"},
        StoredValue{"AutoHideApplications", "a.desktop;kde/x.desktop;/opt/y.desktop;",
                    QStringList{"a.desktop", "/opt/y.desktop"}, "unusable entry (kde/x.desktop)"}));

// A file edited by hand: comments, a key Quorvel does not know, a line that is
// not Key=value, another section, Windows line ends on one line.
TEST(UserDefaults, AHandEditedFileIsUsedLineByLineAndASaveChangesOnlyItsLine) {
    const QByteArray handEdited = "# my settings\n[General]\nWindowPosition=2\nAutoHide=False\r\n"
                                  "AutoHide: false\nFoo.Bar=1\n\n[Other]\nNetScale=9\n";
    std::unique_ptr<TestSettings> settings;
    const std::string log = stderrOf([&] {
        settings = std::make_unique<TestSettings>(handEdited);
        settings->defaults().objectForKey(AutoHide);
    });
    UserDefaults& d = settings->defaults();
    EXPECT_EQ(d.integerForKey(WindowPosition), 2);
    EXPECT_FALSE(d.boolForKey(AutoHide));
    EXPECT_EQ(d.integerForKey(NetScale), 6) << "another section's keys are not ours";
    EXPECT_NE(log.find("line 5 (\"AutoHide: false\") is not a Key=value line"), std::string::npos)
        << log;
    EXPECT_NE(log.find("\"Foo.Bar\", which is not a setting"), std::string::npos) << log;

    ASSERT_TRUE(d.setObject(0.1, CPUInterval));
    ASSERT_TRUE(d.setObject(true, AutoHide));
    QByteArray expected = handEdited;
    expected.replace("Foo.Bar=1\n", "Foo.Bar=1\nCPUInterval=0.1\n");
    expected.replace("AutoHide=False\r\n", "AutoHide=true\r\n");
    EXPECT_EQ(readFileBytes(settings->filePath()), expected);
}

TEST(UserDefaults, ListEditsTouchOnlyTheirEntry) {
    TestSettings settings(
        "[General]\nAutoHideApplications=a.desktop; kde/bad.desktop ;b.desktop\n");
    UserDefaults& d = settings.defaults();
    ListEdits::append(d, AutoHideApplications, {"c.desktop"});
    ListEdits::removeEntry(d, AutoHideApplications, 1); // b.desktop, the second usable entry
    EXPECT_TRUE(readFileBytes(settings.filePath())
                    .contains("AutoHideApplications=a.desktop;kde/bad.desktop;c.desktop;\n"));
    // An edit made by hand a moment ago is the base of the next one, even
    // before the change notice arrives.
    writeFileBytes(settings.filePath(), "[General]\nAutoHideApplications=x.desktop;\n");
    ListEdits::append(d, AutoHideApplications, {"y.desktop"});
    EXPECT_EQ(d.stringArrayForKey(AutoHideApplications), (QStringList{"x.desktop", "y.desktop"}));
}

// Each case of keeping an unreadable file aside, with and without hard links.
class KeptAside : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { noHardLinks = !GetParam(); }
    void TearDown() override { noHardLinks = false; }
};
INSTANTIATE_TEST_SUITE_P(UserDefaults, KeptAside, testing::Values(true, false),
                         [](const auto& info) {
                             return info.param ? "WithHardLinks" : "WithoutHardLinks";
                         });

TEST_P(KeptAside, BinaryFileStartsOnDefaultsAndIsKeptAsABackupAtTheFirstSave) {
    static const char bytes[] =
        "\x7f\x45\x4c\x46\x02\x01\x01\x00garbage\xff\n[General\nNetScale=9\n";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    std::unique_ptr<TestSettings> settings;
    const std::string log = stderrOf([&] { settings = std::make_unique<TestSettings>(garbage); });
    EXPECT_NE(log.find("cannot be read"), std::string::npos) << log;
    EXPECT_EQ(settings->defaults().integerForKey(NetScale), 6);
    QTest::qWait(200);
    EXPECT_EQ(readFileBytes(settings->filePath()), garbage);

    // Files kept aside earlier in this second and the next are kept too.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s : {0, 1})
        writeFileBytes(settings->filePath() + ".unreadable-" +
                           now.addSecs(s).toString("yyyyMMdd-hhmmss"),
                       "kept before");
    ASSERT_TRUE(settings->defaults().setObject(3, NetScale));
    QByteArrayList kept;
    for (const QString& backup :
         QDir(settings->directory()).entryList({"Quorvel.conf.unreadable-*"}, QDir::Files))
        kept << readFileBytes(settings->directory() + "/" + backup);
    EXPECT_EQ(kept.size(), 3);
    EXPECT_EQ(kept.count("kept before"), 2);
    EXPECT_TRUE(kept.contains(garbage));
    UserDefaults reread(settings->filePath());
    EXPECT_EQ(reread.integerForKey(NetScale), 3);
}

TEST_P(KeptAside, AnUnreadableLinkedFileIsKeptAsItsBytesNotAsTheLink) {
    const QByteArray garbage("[General]\nNetScale=9\ncaf\xe9\n");
    TestSettings settings;
    const QString dotfiles = settings.directory() + "/dotfiles";
    ASSERT_TRUE(QDir().mkpath(dotfiles));
    writeFileBytes(dotfiles + "/Quorvel.conf", garbage);
    QFile::remove(settings.filePath());
    ASSERT_TRUE(QFile::link(dotfiles + "/Quorvel.conf", settings.filePath()));
    std::unique_ptr<UserDefaults> linked;
    stderrOf([&] { linked = std::make_unique<UserDefaults>(settings.filePath()); });
    ASSERT_TRUE(linked->setObject(3, NetScale));
    const QStringList backups =
        QDir(settings.directory()).entryList({"Quorvel.conf.unreadable-*"}, QDir::Files);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readFileBytes(settings.directory() + "/" + backups.first()), garbage);
    EXPECT_TRUE(QFileInfo(settings.filePath()).isSymLink());
    EXPECT_TRUE(readFileBytes(dotfiles + "/Quorvel.conf").contains("NetScale=3"));
}

TEST(UserDefaults, HandEditIsPickedUpAsAChange) {
    TestSettings settings;
    settings.defaults().setObject(3, NetScale);
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);
    // An editor's save (a new file renamed over the old one), then an edit in place.
    const QString temp = settings.directory() + "/Quorvel.conf.tmp";
    writeFileBytes(temp, "[General]\nNetScale=8\n");
    ASSERT_EQ(::rename(QFile::encodeName(temp).constData(),
                       QFile::encodeName(settings.filePath()).constData()),
              0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() > 0; }, 1500));
    EXPECT_EQ(settings.defaults().integerForKey(NetScale), 8);
    changes.clear();
    writeFileBytes(settings.filePath(), "[General]\nNetScale=9\nNetInterval=5\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() > 0; }, 1500));
    EXPECT_EQ(settings.defaults().integerForKey(NetScale), 9);
    // A write right after a hand edit, before its notice, keeps that edit.
    writeFileBytes(settings.filePath(), "[General]\nNetScale=3\nNetInterval=4\n");
    settings.defaults().setObject(false, AutoHide);
    EXPECT_TRUE(readFileBytes(settings.filePath()).contains("NetInterval=4\n"));
}

TEST(UserDefaults, AFileOfGarbageIsReportedInAFewLines) {
    const struct {
        int lines, logLines;
        const char* more;
    } cases[] = {{5, 5, nullptr}, {10000, 6, "9995 more lines are ignored"}};
    for (const auto& c : cases) {
        QByteArray garbage = "[General]\nNetScale=3\n";
        for (int i = 0; i < c.lines; ++i)
            garbage += "garbage line " + QByteArray::number(i) + "\n";
        std::unique_ptr<TestSettings> settings;
        const std::string log = stderrOf([&] {
            settings = std::make_unique<TestSettings>(garbage);
            settings->defaults().reloadNow();
        });
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), c.logLines) << log.substr(0, 2000);
        EXPECT_EQ(log.find(c.more ? c.more : "more lines") != std::string::npos, bool(c.more));
        EXPECT_EQ(settings->defaults().integerForKey(NetScale), 3);
    }
}

// A settings directory that cannot be written, even by root: its name is
// taken by a plain file. The value is kept for the session, and saved by the
// retry once the way is free, with nothing else asking for a save.
TEST(UserDefaults, AFailedSaveSaysSoKeepsTheValueAndIsRetried) {
    QTemporaryDir dir;
    writeFileBytes(dir.path() + "/Quorvel", "not a directory");
    UserDefaults d(dir.path() + "/Quorvel/Quorvel.conf");
    registerDefaultDefaults(d);
    QSignalSpy changes(&d, &UserDefaults::didChange);
    const std::string log = stderrOf([&] { EXPECT_FALSE(d.setObject(3, NetScale)); });
    EXPECT_NE(log.find("Cannot save the settings"), std::string::npos) << log;
    EXPECT_EQ(d.integerForKey(NetScale), 3);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(readFileBytes(dir.path() + "/Quorvel"), "not a directory");

    // A file made by hand meanwhile is read, and the unsaved value stays.
    ASSERT_TRUE(QFile::remove(dir.path() + "/Quorvel"));
    ASSERT_TRUE(QDir().mkdir(dir.path() + "/Quorvel"));
    writeFileBytes(dir.path() + "/Quorvel/Quorvel.conf", "[General]\nNetInterval=5\n");
    stderrOf([&] { d.reloadNow(); });
    EXPECT_EQ(d.integerForKey(NetScale), 3);
    // Not tried again at once: a disk that stays full is not written to over
    // and over.
    QTest::qWait(500);
    EXPECT_FALSE(d.saveProblem().isEmpty());
    d.setSaveRetryInterval(50);
    const std::string retried = stderrOf([&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return d.saveProblem().isEmpty(); }, 3000))
            << d.saveProblem();
    });
    EXPECT_NE(retried.find("saved to"), std::string::npos) << retried;
    const QByteArray saved = readFileBytes(dir.path() + "/Quorvel/Quorvel.conf");
    EXPECT_TRUE(saved.contains("NetScale=3\n") && saved.contains("NetInterval=5\n")) << saved;
}

TEST(UserDefaults, GarbageWrittenWhileRunningKeepsTheLastGoodValues) {
    TestSettings settings;
    settings.defaults().setObject(4, NetScale);
    QSignalSpy changes(&settings.defaults(), &UserDefaults::didChange);
    const QByteArray garbage("\x00\x01\x02garbage", 10);
    const std::string log = stderrOf([&] {
        writeFileBytes(settings.filePath(), garbage);
        QTest::qWait(400);
    });
    EXPECT_NE(log.find("keeping the settings read before"), std::string::npos) << log;
    EXPECT_EQ(settings.defaults().integerForKey(NetScale), 4);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(readFileBytes(settings.filePath()), garbage);
}

} // namespace
