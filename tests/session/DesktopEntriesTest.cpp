#include "session/DesktopEntries.h"
#include "TestSupport.h"
#include "windowsystem/wayland/WaylandActiveApplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

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

// As shells match them: X11 windows by their hints, Wayland ones by app id.
TEST_F(DesktopEntriesTest, MatchesWindowsTheWayShellsDo) {
    const auto appId = WaylandActiveApplication::identityForAppId;
    const struct {
        WindowIdentity window;
        const char* id;
    } cases[] = {
        {window("org-kde.konsole", {}, {}, {}, {}), "org-kde.konsole.desktop"},
        {window({}, "org.gnome.Terminal", {}, {}, {}), "org.gnome.Terminal.desktop"},
        // StartupWMClass, case-insensitive
        {window({}, {}, "gnome-terminal-server", "Gnome-Terminal", {}),
         "org.gnome.Terminal.desktop"},
        {window({}, {}, "xmessage", "Xmessage", {}), "xmessage.desktop"},
        // <class>.desktop, lowercased
        {window({}, {}, "Navigator", "Firefox-esr", {}), "firefox-esr.desktop"},
        {window({}, {}, {}, {}, "konsole"), "org-kde.konsole.desktop"},
        {window({}, {}, "unknown", "Unknown", {}), ""},
        {WindowIdentity(), ""},
        {appId("org.gnome.Terminal", {}), "org.gnome.Terminal.desktop"},
        {appId("org.gnome.Terminal.desktop", {}), "org.gnome.Terminal.desktop"},
        {appId("gnome-terminal", {}), "org.gnome.Terminal.desktop"},
        {appId("Firefox-esr", {}), "firefox-esr.desktop"},
        {appId("unknown", "konsole"), "org-kde.konsole.desktop"}, // the program (KWin's pid)
        {appId("unknown", {}), ""},
        {appId("", {}), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entries.idForWindow(c.window), c.id)
            << c.window.wmClass << c.window.gtkApplicationId << c.window.executable;
}

TEST_F(DesktopEntriesTest, NewFilesAreSeen) {
    EXPECT_EQ(entries.entry("new.desktop"), nullptr);
    writeFileBytes(home.path() + "/applications/new.desktop", "[Desktop Entry]\nName=New\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries.entry("new.desktop"); }, 1000));
}

} // namespace
