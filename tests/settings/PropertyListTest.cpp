#include "settings/PropertyList.h"

#include <gtest/gtest.h>

namespace {

QByteArray plist(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
           "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>\n";
}

TEST(PropertyList, ReadsEveryValueKind) {
    const auto values = parsePropertyList(plist(
        "<dict><key>S</key><string>#ff0000ff</string><key>I</key><integer>-4</integer>"
        "<key>R</key><real>0.5</real><key>T</key><true/><key>F</key><false/>"
        "<key>A</key><array><string>a</string><string>b</string></array>"
        "<key>E</key><array/><key>D</key><dict><key>x</key><integer>1</integer></dict></dict>"));
    ASSERT_TRUE(values);
    EXPECT_EQ(values->value("S").toString(), "#ff0000ff");
    EXPECT_EQ(values->value("I").toLongLong(), -4);
    EXPECT_DOUBLE_EQ(values->value("R").toDouble(), 0.5);
    EXPECT_EQ(values->value("T").typeId(), QMetaType::Bool);
    EXPECT_TRUE(values->value("T").toBool());
    EXPECT_FALSE(values->value("F").toBool());
    EXPECT_EQ(values->value("A").toStringList(), (QStringList{"a", "b"}));
    EXPECT_EQ(values->value("E").typeId(), QMetaType::QVariantList);
    EXPECT_EQ(values->value("D").toMap().value("x").toInt(), 1);
}

TEST(PropertyList, RejectsWhatIsNotADictionaryPlist) {
    QString error;
    EXPECT_FALSE(parsePropertyList("", &error));
    EXPECT_FALSE(parsePropertyList("<plist><array/></plist>", &error));
    EXPECT_FALSE(parsePropertyList(plist("<dict><key>A</key></dict>"), &error));
    EXPECT_FALSE(parsePropertyList(plist("<dict><string>no key</string></dict>"), &error));
    EXPECT_FALSE(parsePropertyList(plist("<dict><key>A</key><integer>x</integer></dict>"), &error));
    EXPECT_FALSE(parsePropertyList(plist("<dict><key>A</key><date>2020</date></dict>"), &error));
    EXPECT_FALSE(parsePropertyList(plist("<dict><key>A</key><string>unclosed</dict>"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// Values nest 32 deep below the root (the innermost a <true/>), through arrays and dictionaries
// alike; anything deeper is refused before it is recursed into.
TEST(PropertyList, DeepNestingIsRefusedNotRecursedInto) {
    const auto nested = [](int levels, const QByteArray& open, const QByteArray& close) {
        return parsePropertyList(plist("<dict><key>A</key>" + open.repeated(levels) + "<true/>" +
                                       close.repeated(levels) + "</dict>"));
    };
    EXPECT_TRUE(nested(31, "<array>", "</array>"));
    EXPECT_FALSE(nested(32, "<array>", "</array>"));
    EXPECT_TRUE(nested(31, "<dict><key>k</key>", "</dict>"));
    EXPECT_FALSE(nested(32, "<dict><key>k</key>", "</dict>"));
    EXPECT_FALSE(nested(10000, "<array>", "</array>"));
}

} // namespace
