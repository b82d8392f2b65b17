#include "settings/SettingsText.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsText, ReadsWhatQSettingsStyleFilesHoldAndKeepsEveryByte) {
    const QByteArray bytes =
        "\xef\xbb\xbf; comment\n# another\n\n[General]\r\nA=1\nB = two words \n"
        "junk\n[General\nA=3\n[Other]\nC=3";
    const auto text = SettingsText::parse(bytes);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->values(), (QMap<QString, QString>{{"A", "3"}, {"B", "two words"}}))
        << "of a key given twice the later line counts; other sections are not ours";
    EXPECT_EQ(text->problems().size(), 2) << text->problems().join('|').toStdString();
    EXPECT_EQ(text->toBytes(), bytes);
}

TEST(SettingsText, OnlyTextThatIsNotTextIsRefused) {
    EXPECT_FALSE(SettingsText::parse(QByteArray("A=1\0B=2\n", 8)));
    EXPECT_FALSE(SettingsText::parse("A=\xff\xfe\n"));
    EXPECT_FALSE(SettingsText::parse(
        readFileBytes(fixturePath("fuzz/settings/truncated-utf8-found-by-fuzzing"))))
        << "a cut UTF-8 sequence at the end is not text";
    EXPECT_TRUE(SettingsText::parse("[General]\nbad key=1\n"));
}

TEST(SettingsText, NewKeysGoIntoTheGeneralSectionBehindAnyByteOrderMarkWithTheFilesLineEnds) {
    struct Case {
        QByteArray before, after;
    };
    const QByteArray bom = "\xef\xbb\xbf";
    for (const Case& c :
         {Case{"", "[General]\nK=v\n"}, Case{"A=1", "A=1\nK=v"},
          Case{"[Other]\nX=1\n", "[General]\nK=v\n\n[Other]\nX=1\n"},
          Case{"[General]\nA=1\n\n[Other]\nX=1\n", "[General]\nA=1\nK=v\n\n[Other]\nX=1\n"},
          Case{"[Other]\nX=1\n[General]\n", "[Other]\nX=1\n[General]\nK=v\n"},
          Case{bom + "[Other]\nX=1\n", bom + "[General]\nK=v\n\n[Other]\nX=1\n"},
          Case{bom + "[General]\nA=1\n[Other]\n", bom + "[General]\nA=1\nK=v\n[Other]\n"},
          Case{bom + "[Other]\nX=1\n[General]\nA=1\n", bom + "[Other]\nX=1\n[General]\nA=1\nK=v\n"},
          Case{bom + "A=1\n", bom + "A=1\nK=v\n"},
          Case{"[Other]\r\nX=1\r\n", "[General]\r\nK=v\r\n\r\n[Other]\r\nX=1\r\n"},
          Case{"[General]\r\nA=1\r\n[Other]\r\n", "[General]\r\nA=1\r\nK=v\r\n[Other]\r\n"},
          Case{"[General]\r\nA=1", "[General]\r\nA=1\r\nK=v"},
          Case{"[General]\nA=1\r\nB=2\n", "[General]\nA=1\r\nB=2\nK=v\n"}}) {
        auto text = SettingsText::parse(c.before);
        ASSERT_TRUE(text);
        text->setValue("K", "v");
        EXPECT_EQ(text->toBytes(), c.after) << c.before.toStdString();
        // And read back, the new key is a setting and nothing else is.
        const auto reread = SettingsText::parse(text->toBytes());
        EXPECT_EQ(reread->values().value("K"), "v");
        EXPECT_FALSE(reread->values().contains("X")) << "another section's key";
        EXPECT_TRUE(reread->problems().isEmpty()) << c.before.toStdString();
    }
}

} // namespace
