#include "settings/SettingsKeys.h"
#include "settings/NSUserDefaults-QVExt.h"

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;

TEST(ArchivedColor, AlphaComesLastAndSurvives) {
    const QColor c(0x12, 0x34, 0x56, 0x78);
    EXPECT_EQ(QVExtensions::archivedColor(c), "#12345678");
    EXPECT_EQ(QVExtensions::unarchivedColor("#12345678"), c);
    EXPECT_EQ(QVExtensions::unarchivedColor("#123456"), QColor(0x12, 0x34, 0x56, 0xff));
    EXPECT_FALSE(QVExtensions::unarchivedColor("123456").isValid());
    EXPECT_FALSE(QVExtensions::unarchivedColor("#1234567").isValid());
    EXPECT_FALSE(QVExtensions::unarchivedColor("#-1234567").isValid());
    EXPECT_FALSE(QVExtensions::unarchivedColor("").isValid());
}

TEST(SettingsKeys, UsableValuesMatchWhatTheReadersAssume) {
    EXPECT_TRUE(isUsable(CPUInterval, 0.05));
    EXPECT_FALSE(isUsable(CPUInterval, 0.049)) << "too short for the columns to show anything";
    EXPECT_FALSE(isUsable(CPUInterval, 0.0));
    EXPECT_TRUE(isUsable(NetInterval, 1));
    EXPECT_FALSE(isUsable(NetInterval, 0));
    EXPECT_FALSE(isUsable(NetScale, 0));
    EXPECT_FALSE(isUsable(NetScale, 21));
    EXPECT_TRUE(isUsable(WindowPosition, -1)) << "any other position means bottom right";
    for (const char* entry : {"a.desktop", "kde-foo.desktop", "/opt/app/foo.desktop"})
        EXPECT_TRUE(isUsable(AutoHideApplications, QString(entry))) << entry;
    for (const char* entry : {"", "kde/foo.desktop", "/opt/../etc/foo.desktop"})
        EXPECT_FALSE(isUsable(AutoHideApplications, QString(entry))) << entry;
    EXPECT_FALSE(isUsable(TextColor, QString("white")));
    EXPECT_FALSE(isUsable(DiskScale, 21));
    for (const char* entry : {"http://build-01:9100/metrics", "https://[::1]:9100/metrics",
                              "prometheus+https://prom:9090/?match=%7Bjob%3D%22node%22%7D"})
        EXPECT_TRUE(isUsable(RemoteHosts, QString(entry))) << entry;
    for (const char* entry : {"", "build-01:9100", "ftp://h/metrics", "http:///metrics",
                              "http://a b/", "prometheus+ftp://prom/"})
        EXPECT_FALSE(isUsable(RemoteHosts, QString(entry))) << entry;
}

TEST(SettingsKeys, NetInterfaceEntriesAreNamesTheKernelAllows) {
    for (const char* name : {"eth0", "wlan0", "tun0", "enp0s31f6", "wg-home", "123456789012345"})
        EXPECT_TRUE(isUsable(NetInterfaces, QString(name))) << name;
    for (const char* name : {"", "1234567890123456", "eth0:1", "a/b", "two words", ".", ".."})
        EXPECT_FALSE(isUsable(NetInterfaces, QString(name))) << name;
}

} // namespace
