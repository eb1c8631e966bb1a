// Damaged, hostile and huge language files: the table ends up with no texts
// (or with the texts of a file that still parses) and never crashes or hangs.
#include <chrono>
#include <random>

#include "i18n/xml_file.h"
#include "tests/i18n/i18n_fixture.h"

namespace tesvano::test {
namespace {

using BadInputTest = I18nTest;

std::string Nested(size_t depth) {
    std::string s;
    s.reserve(depth * 7);
    for (size_t i = 0; i < depth; ++i) s += "<a>";
    s += "deep";
    for (size_t i = 0; i < depth; ++i) s += "</a>";
    return s;
}

TEST_F(BadInputTest, DamagedLanguageFileGivesNoTexts) {
    std::mt19937 rng(7);
    std::string binary(4096, '\0');
    for (char& c : binary) c = static_cast<char>(rng());
    const std::string good = LangFile("<TITLE>Title</TITLE><RECORD>Record</RECORD>");
    const std::string cases[] = {
        "",
        "just some words, not XML",
        binary,
        "\xEF\xBB\xBF",
        good.substr(0, good.size() / 2),                                   // cut short
        LangFile("<TITLE>Title</TITLE><RECORD>Record</Record>"),         // mismatched end tag
        LangFile("<TITLE a=\"1\" a=\"2\">Title</TITLE>"),               // attribute twice
        LangFile("<TITLE>Title</TITLE>") + std::string("\0<more/>", 8),  // NUL: the rest is never seen
        std::string("<?xml "),
        std::string("<Lang><Resources><TITLE>") + std::string(100, '\xF0'),
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        CLanguageTable table = EnglishTable(cases[i]);
        const std::u16string title = table.GetText("TITLE");
        if (i == 7) {
            EXPECT_EQ(title, u"Title") << "a document complete before the NUL is read";
        } else {
            EXPECT_EQ(title, u"") << i;
            EXPECT_EQ(table.GetText("RECORD"), u"") << i;
        }
    }
}

TEST_F(BadInputTest, HugeFilesAreRefusedOrCutQuickly) {
    const auto start = std::chrono::steady_clock::now();
    // 50 MB: far beyond any language file; not read at all.
    std::string huge = LangFile("<TITLE>Title</TITLE><BIG>" + std::string(50u << 20, 'x') + "</BIG>");
    EXPECT_EQ(EnglishTable(huge).GetText("TITLE"), u"");
    // 4 MB of text in one entry: the file is read, the over-long text stored empty.
    CLanguageTable big = EnglishTable(LangFile("<TITLE>Title</TITLE><BIG>" + std::string(4u << 20, 'x') + "</BIG>"));
    EXPECT_EQ(big.GetText("TITLE"), u"Title");
    EXPECT_EQ(big.GetText("BIG"), u"");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(BadInputTest, NestingBeyondTheElementLimitIsRefusedBeforeParsing) {
    const auto start = std::chrono::steady_clock::now();
    // Lang and Resources take two of the tags; the depth counts the entry.
    const size_t allowed = kMaxXmlElements - 2;
    struct Case {
        size_t depth;
        std::u16string text;
    } cases[] = {{100000, u""}, {allowed + 1, u""}, {allowed, u"deep"}};
    for (const Case& c : cases) {
        CLanguageTable table = EnglishTable(LangFile("<DEEP>" + Nested(c.depth - 1) + "</DEEP>"));
        EXPECT_EQ(table.GetText("DEEP"), c.text) << c.depth;
    }
    // Nesting hidden from a naive scan still counts: comments and quotes do not hide tags.
    std::string tricky;
    for (int i = 0; i < 100000; ++i) tricky += "<a x='/>'><!--</a>-->";
    EXPECT_EQ(EnglishTable(LangFile("<T>" + tricky)).GetText("T"), u"");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(BadInputTest, HostileIndexAndRegistryFilesAreHarmless) {
    Write("en.xml", LangFile("<TITLE>Title</TITLE>"));
    for (const std::string& bad : {Nested(100000), std::string("\x01\x02<<<>>>", 9), std::string()}) {
        Write("language.xml", bad);
        Write("registry.xml", bad);
        CLanguageTable table(Path("language.xml"), Path("registry.xml"));
        EXPECT_EQ(table.GetText("TITLE"), u"");
        EXPECT_EQ(table.ReadProductKeyName(), u"QuaboDevTools");
    }
    // Folders where the files should be.
    std::filesystem::remove(dir / "language.xml");
    std::filesystem::remove(dir / "registry.xml");
    std::filesystem::create_directory(dir / "language.xml");
    std::filesystem::create_directory(dir / "registry.xml");
    CLanguageTable table(Path("language.xml"), Path("registry.xml"));
    EXPECT_EQ(table.GetText("TITLE"), u"");
}

// Random damage to a real language file: whatever survives parsing is
// served, nothing crashes (the sanitizer build watches the memory).
TEST_F(BadInputTest, MutatedShippedFileNeverCrashes) {
    const std::vector<uint8_t> original = ReadFileBytes(TESVANO_SOURCE_DIR "/data/lang/pl-pl.xml");
    ASSERT_FALSE(original.empty());
    const char pool[] = "<>/!?-[]\"'=&#;x \n\r\xEF\xBB\xBF\xF0\xC3";
    std::mt19937 rng(12345);
    int parsed = 0;
    const int runs = 300;
    for (int run = 0; run < runs; ++run) {
        std::string text(original.begin(), original.end());
        for (int m = 1 + static_cast<int>(rng() % 6); m > 0; --m) {
            size_t pos = rng() % text.size();
            switch (rng() % 3) {
                case 0: text[pos] = pool[rng() % (sizeof pool - 1)]; break;
                case 1: text.insert(pos, 1, pool[rng() % (sizeof pool - 1)]); break;
                default: text.erase(pos, 1 + rng() % 8); break;
            }
        }
        CLanguageTable table = EnglishTable(text);
        if (!table.GetText("STOP").empty()) ++parsed;
    }
    // Some damage lands in comments or texts and leaves the file readable.
    EXPECT_GT(parsed, 0);
    EXPECT_LT(parsed, runs);
}

// A file cut inside a character: TinyXML steps over a character by the
// length its first byte promises, and from the last byte of the data that
// took it past the terminator (found by language_fuzz). Here the step lands
// in what is left of the buffer after its CR LF line ends were joined: the
// end tags kept there once completed the document.
TEST_F(BadInputTest, FileCutInsideACharacterEndsAtItsEnd) {
    const std::string comment = "<!--</B></Resources></Lang>-->";
    std::string crlf;
    for (size_t i = 0; i <= comment.size(); ++i) crlf += "\r\n";
    const std::string cut = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + crlf + "<Lang><Resources>" + comment + "<B>\xC3";
    Write("cut.xml", cut);
    TiXmlDocument doc;
    EXPECT_FALSE(LoadXmlFile(Path("cut.xml"), &doc));
    EXPECT_EQ(EnglishTable(cut).GetText("B"), u"");
    // The shipped Korean file cut inside each of its characters, for the sanitizer build.
    const std::vector<uint8_t> original = ReadFileBytes(TESVANO_SOURCE_DIR "/data/lang/ko-ko.xml");
    const std::string text(original.begin(), original.end());
    for (size_t i = text.find("<Resources>"); i < text.size(); ++i) {
        if (static_cast<uint8_t>(text[i]) < 0xE0) continue;
        Write("cut.xml", text.substr(0, i + 1));
        EXPECT_FALSE(LoadXmlFile(Path("cut.xml"), &doc)) << i;
    }
}

}  // namespace
}  // namespace tesvano::test
