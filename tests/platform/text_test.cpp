#include <clocale>
#include <gtest/gtest.h>

#include "platform/text.h"

namespace tesvano {
namespace {

class UnderLocale {
public:
    explicit UnderLocale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~UnderLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string old_;
    bool ok_;
};

TEST(AnsiConversion, RoundTripsUnderUtf8Locale) {
    UnderLocale loc("C.UTF-8");
    ASSERT_TRUE(loc.ok());
    struct Case {
        std::u16string wide;
        std::string narrow;
    } cases[] = {
        {u"你好，世界。", "你好，世界。"},
        {u"안녕하세요", "안녕하세요"},
        {u"Zażółć gęślą jaźń", "Zażółć gęślą jaźń"},
        {u"plain ascii", "plain ascii"},
        {u"emoji \U0001F600", "emoji \xF0\x9F\x98\x80"},
        {u"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideToAnsi(c.wide), c.narrow);
        EXPECT_EQ(AnsiToWide(c.narrow), c.wide);
    }
    // A Chinese character takes three bytes: the narrow text has room for all of them.
    EXPECT_EQ(WideToAnsi(std::u16string(400, u'中')).size(), 1200u);
}

TEST(AnsiConversion, UnrepresentableBecomesQuestionMarkUnderSingleByteLocale) {
    UnderLocale loc("C");
    ASSERT_TRUE(loc.ok());
    EXPECT_EQ(WideToAnsi(u"A中B"), "A?B");
    EXPECT_EQ(WideToAnsi(u"x\U0001F600y"), "x?y");  // a surrogate pair is one character
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    EXPECT_EQ(WideToAnsi(lone), "a?b");  // a lone surrogate does not take the next character
    EXPECT_EQ(AnsiToWide("abc"), u"abc");
}

TEST(AnsiConversion, LoneSurrogateIsQuestionMark) {
    UnderLocale loc("C.UTF-8");
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    EXPECT_EQ(WideToAnsi(lone), "a?b");
}

// Independent of the locale: the engine is told GB18030 whatever it is.
TEST(Gb18030Conversion, EveryCharacterIsKeptWhateverTheLocale) {
    UnderLocale loc("C");
    ASSERT_TRUE(loc.ok());
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    struct Case {
        std::u16string wide;
        std::string bytes;
    } cases[] = {
        {u"你好 ok", "\xC4\xE3\xBA\xC3 ok"},   // GB2312's own two-byte codes
        {u"\u0080", "\x81\x30\x81\x30"},     // outside GBK: four bytes
        {u"\U00010000", "\x90\x30\x81\x30"}, // a surrogate pair is one character
        {lone, "a?b"},
        {u"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(WideToGb18030(c.wide), c.bytes);
}

TEST(Utf8Conversion, InvalidSequencesBecomeReplacementCharacter) {
    struct Case {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"ok", u"ok"},
        {"\xFF", u"\uFFFD"},
        {"a\xE4\xBD", u"a\uFFFD\uFFFD"},    // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        {"\xE4\xBD\xA0", u"你"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.in), c.out) << c.in;
    EXPECT_TRUE(IsValidUtf8("你好 hello"));
    EXPECT_FALSE(IsValidUtf8("\xC4\xE3\xBA\xC3"));  // 你好 in GB2312
}

TEST(Utf8Conversion, CompleteLengthNeverSplitsACharacter) {
    const std::string zh = "你好";  // 6 bytes
    struct Case {
        size_t cut;
        size_t expected;
    } cases[] = {{6, 6}, {5, 3}, {4, 3}, {3, 3}, {2, 0}, {1, 0}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Utf8CompleteLength(std::string_view(zh.data(), c.cut)), c.expected) << c.cut;
    EXPECT_EQ(Utf8CompleteLength("abc"), 3u);
    EXPECT_EQ(Utf8CompleteLength("a\xF0\x9F\x98"), 1u);
    EXPECT_EQ(Utf8CompleteLength("a\xF0\x9F\x98\x80"), 5u);
}

}  // namespace
}  // namespace tesvano
