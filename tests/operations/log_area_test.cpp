#include <gtest/gtest.h>

#include "tests/support/memory_window.h"

namespace tesvano {
namespace {

TEST(LogArea, NumbersLinesAndKeepsTheNewestHundred) {
    LogArea log;
    for (int i = 1; i <= 101; ++i) log.Append(u"line " + std::u16string(1, char16_t(u'a' + i % 26)));
    ASSERT_EQ(log.Lines().size(), 100u);
    EXPECT_EQ(log.Lines().front().substr(0, 6), "0002: ");
    EXPECT_EQ(log.Lines().back().substr(0, 6), "0101: ");
    EXPECT_EQ(log.Counter(), 101);
    const std::u16string text = log.Text();
    EXPECT_EQ(text.substr(0, 6), u"0002: ");
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
}

TEST(LogArea, NumberGrowsPastFourDigitsAndKeepsLineBreaksInside) {
    LogArea log;
    for (int i = 0; i < 9999; ++i) log.Append(u"x");
    EXPECT_EQ(log.Append(u"a\nb"), "10000: a\nb");
    EXPECT_EQ(log.Append(u""), "10001: ");
}

TEST(LogArea, ScreenShowsNoEmptyRowForALinesOwnBreak) {
    LogArea log;
    log.Append(u"Speech synthesized, bytes: 87630.\n");
    log.Append(u"two\r\n\n");
    log.Append(u"a\nb");
    log.Append(u"");
    EXPECT_EQ(log.DisplayText(), u"0001: Speech synthesized, bytes: 87630.\n0002: two\n0003: a\nb\n0004: ");
}

TEST(LogFormat, CutsAt1023BytesOnACharacterBoundary) {
    struct Case {
        std::string text;
        size_t expectedBytes;
    } cases[] = {
        {std::string(1023, 'a'), 1023},
        {std::string(1500, 'a'), 1023},
        {std::string(1022, 'a') + "中", 1022},          // 1025 bytes: the 3-byte character would be cut
        {std::string(1020, 'a') + "中", 1023},          // exactly fits
        {std::string(1021, 'a') + "\xF0\x9F\x98\x80", 1021},
    };
    for (const auto& c : cases) {
        test::MemoryWindow w;
        w.LogFormat("%s", c.text.c_str());
        ASSERT_EQ(w.logTexts.size(), 1u);
        const std::string line = w.log.Lines().back().substr(6);
        EXPECT_EQ(line.size(), c.expectedBytes);
        EXPECT_EQ(line, c.text.substr(0, c.expectedBytes));
    }
}

TEST(LogFormat, PercentInAnArgumentIsShownLiterally) {
    test::MemoryWindow w;
    w.LogFormat("MP3%s:%d Bytes.", " 100% full", 5);
    EXPECT_EQ(w.logTexts.back(), u"MP3 100% full:5 Bytes.");
}

}  // namespace
}  // namespace tesvano
