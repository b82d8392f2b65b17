#include "session/DesktopEntries.h"
#include "TestSupport.h"
#include "windowsystem/wayland/WaylandActiveApplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const char* terminal = "[Desktop Entry]\nName=Terminal\nName[de]=Terminal (de)\n"
                       "Name[de_AT]=Terminal (at)\nIcon=utilities-terminal\n"
                       "Exec=/usr/bin/env LANG=C gnome-terminal --window\n"
                       "StartupWMClass=Gnome-terminal\n[Desktop Action new]\nName=New Window\n";

TEST(DesktopEntry, ParsesTheMainGroupWithTheLocalisedName) {
    const auto entry = parseDesktopEntry(terminal, "de_DE");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Terminal (de)");
    EXPECT_EQ(entry->icon, "utilities-terminal");
    EXPECT_EQ(parseDesktopEntry(terminal, "de_AT")->name, "Terminal (at)");
    EXPECT_EQ(parseDesktopEntry(terminal, "fr_FR")->name, "Terminal");
    EXPECT_FALSE(parseDesktopEntry("[Other]\nName=x\n", "C"));
    EXPECT_FALSE(parseDesktopEntry("garbage", "C"));
}

WindowIdentity window(QString kde, QString gtk, QString instance, QString wmClass,
                      QString executable) {
    WindowIdentity w;
    w.kdeDesktopFile = kde;
    w.gtkApplicationId = gtk;
    w.wmInstance = instance;
    w.wmClass = wmClass;
    w.executable = executable;
    return w;
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(home.path()).mkpath("applications/org");
        QDir(system.path()).mkpath("applications");
        writeFileBytes(home.path() + "/applications/org.gnome.Terminal.desktop", terminal);
        writeFileBytes(home.path() + "/applications/org/kde.konsole.desktop",
                       "[Desktop Entry]\nName=Konsole\nExec=konsole\n");
        writeFileBytes(system.path() + "/applications/org.gnome.Terminal.desktop",
                       "[Desktop Entry]\nName=Shadowed\n");
        writeFileBytes(
            system.path() + "/applications/firefox-esr.desktop",
            "[Desktop Entry]\nName=Firefox ESR\nExec=/usr/lib/firefox-esr/firefox-esr %u\n");
        writeFileBytes(system.path() + "/applications/xmessage.desktop",
                       "[Desktop Entry]\nName=XMessage\nExec=xmessage\n");
    }
    QTemporaryDir home, system;
    DesktopEntries entries{{home.path() + "/applications", system.path() + "/applications"}, "C"};
};

TEST_F(DesktopEntriesTest, EarlierDirectoriesWinAndSubdirectoriesMakeDashedIds) {
    ASSERT_NE(entries.entry("org.gnome.Terminal.desktop"), nullptr);
    EXPECT_EQ(entries.entry("org.gnome.Terminal.desktop")->name, "Terminal");
    ASSERT_NE(entries.entry("org-kde.konsole.desktop"), nullptr);
    EXPECT_EQ(entries.entry("missing.desktop"), nullptr);
}

TEST_F(DesktopEntriesTest, MatchesWindowsTheWayShellsDo) {
    EXPECT_EQ(entries.idForWindow(window("org-kde.konsole", {}, {}, {}, {})),
              "org-kde.konsole.desktop");
    EXPECT_EQ(entries.idForWindow(window({}, "org.gnome.Terminal", {}, {}, {})),
              "org.gnome.Terminal.desktop");
    EXPECT_EQ(entries.idForWindow(window({}, {}, "gnome-terminal-server", "Gnome-Terminal", {})),
              "org.gnome.Terminal.desktop")
        << "StartupWMClass, case-insensitive";
    EXPECT_EQ(entries.idForWindow(window({}, {}, "xmessage", "Xmessage", {})), "xmessage.desktop");
    EXPECT_EQ(entries.idForWindow(window({}, {}, "Navigator", "Firefox-esr", {})),
              "firefox-esr.desktop")
        << "<class>.desktop, lowercased";
    EXPECT_EQ(entries.idForWindow(window({}, {}, {}, {}, "konsole")), "org-kde.konsole.desktop");
    EXPECT_EQ(entries.idForWindow(window({}, {}, "unknown", "Unknown", {})), "");
    EXPECT_EQ(entries.idForWindow(WindowIdentity()), "");
}

TEST_F(DesktopEntriesTest, MatchesWaylandAppIds) {
    auto forAppId = [this](const QString& appId, const QString& executable = {}) {
        return entries.idForWindow(WaylandActiveApplication::identityForAppId(appId, executable));
    };
    EXPECT_EQ(forAppId("org.gnome.Terminal"), "org.gnome.Terminal.desktop")
        << "the desktop file name";
    EXPECT_EQ(forAppId("org.gnome.Terminal.desktop"), "org.gnome.Terminal.desktop");
    EXPECT_EQ(forAppId("gnome-terminal"), "org.gnome.Terminal.desktop") << "StartupWMClass";
    EXPECT_EQ(forAppId("Firefox-esr"), "firefox-esr.desktop") << "lowercased";
    EXPECT_EQ(forAppId("unknown", "konsole"), "org-kde.konsole.desktop")
        << "the program (KWin's pid)";
    EXPECT_EQ(forAppId("unknown"), "");
    EXPECT_EQ(forAppId(""), "");
}

TEST_F(DesktopEntriesTest, NewFilesAreSeen) {
    EXPECT_EQ(entries.entry("new.desktop"), nullptr);
    writeFileBytes(home.path() + "/applications/new.desktop", "[Desktop Entry]\nName=New\n");
    QCoreApplication::processEvents();
    for (int i = 0; i < 50 && !entries.entry("new.desktop"); ++i) {
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
    EXPECT_NE(entries.entry("new.desktop"), nullptr);
}

} // namespace
