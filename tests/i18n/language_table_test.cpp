#include <cstdlib>

#include "platform/system.h"
#include "tests/i18n/i18n_fixture.h"

namespace tesvano::test {
namespace {

using LanguageTableTest = I18nTest;

TEST_F(LanguageTableTest, IndexChoosesTheFirstMatchingEntry) {
    Write("registry.reg", RegWithLanguage("Korean"));
    Write("first.xml", LangFile("<TITLE>first</TITLE>"));
    Write("second.xml", LangFile("<TITLE>second</TITLE>"));
    Write("sub/dir/win.xml", LangFile("<TITLE>from a subfolder</TITLE>"));
    struct Case {
        const char* index;
        std::u16string title;
    } cases[] = {
        {"<Lang><Resources lan=\"ko-ko\" filename=\"first.xml\"/><Resources lan=\"ko-ko\" filename=\"second.xml\"/></Lang>",
         u"first"},
        {"<Lang><Resources lan=\"en-us\" filename=\"first.xml\"/><Resources lan=\"ko-ko\" filename=\"second.xml\"/></Lang>",
         u"second"},
        {"<!-- c --><Other/><Lang><Other lan=\"ko-ko\" filename=\"first.xml\"/><Resources lan=\"ko-ko\" "
         "filename=\"second.xml\"/></Lang><Lang><Resources lan=\"ko-ko\" filename=\"first.xml\"/></Lang>",
         u"second"},
        {"<Lang><Resources lan=\"ko-ko\" filename=\"sub\\dir\\win.xml\"/></Lang>", u"from a subfolder"},
        {"<Lang><Resources lan=\"ko-ko\" filename=\"sub/dir/win.xml\"/></Lang>", u"from a subfolder"},
        {"<Lang><Resources lan=\"KO-KO\" filename=\"first.xml\"/></Lang>", u""},
        {"<Lang><Resources lan=\"ko-kr\" filename=\"first.xml\"/></Lang>", u""},
        {"<Lang><Resources lan=\"en-us\" filename=\"first.xml\"/></Lang>", u""},  // no fallback
        {"<lang><Resources lan=\"ko-ko\" filename=\"first.xml\"/></lang>", u""},
        {"<Lang><resources lan=\"ko-ko\" filename=\"first.xml\"/></Lang>", u""},
        {"<Lang><Resources lan=\"ko-ko\"/><Resources lan=\"ko-ko\" filename=\"second.xml\"/></Lang>", u""},
        {"<Lang><Resources filename=\"first.xml\"/></Lang>", u""},
        {"<Lang><Resources lan=\"ko-ko\" filename=\"missing.xml\"/></Lang>", u""},
    };
    for (const Case& c : cases) {
        Write("language.xml", c.index);
        CLanguageTable table(Path("language.xml"), Path("registry.xml"));
        EXPECT_EQ(table.GetText("TITLE"), c.title) << c.index;
    }
}

TEST_F(LanguageTableTest, EntryTextRules) {
    CLanguageTable table = EnglishTable(LangFile(
        "<!-- a comment between entries -->\n"
        "<PLAIN>Plain text</PLAIN>\n"
        "<INNER><b>inner text</b> and more</INNER>\n"
        "<DEEP><a><b><c>deep</c></b></a></DEEP>\n"
        "<COMMENT_FIRST><!-- note -->text after the comment</COMMENT_FIRST>\n"
        "<EMPTY></EMPTY>\n"
        "<SELF_CLOSED/>\n"
        "<CDATA><![CDATA[  <kept> & raw  ]]></CDATA>\n"
        "<SPACES>   one \n\t  two    three  </SPACES>\n"
        "<REFS>&#32;edge blanks&#32;&#10;line&amp;&lt;&gt;&quot;&apos;</REFS>\n"
        "<TWICE>first</TWICE>\n"
        "<TWICE>second</TWICE>\n"
        "<EMPTIED>was here</EMPTIED>\n"
        "<EMPTIED></EMPTIED>\n"
        "<KEEPS>kept</KEEPS>\n"
        "<KEEPS/>\n"
        "<Title>mixed case key</Title>\n"
        "stray text between entries\n"
        "<AFTER_TEXT>still read</AFTER_TEXT>"));
    struct Case {
        const char* key;
        std::u16string text;
    } cases[] = {
        {"PLAIN", u"Plain text"},
        {"INNER", u"inner text"},
        {"DEEP", u"deep"},
        {"COMMENT_FIRST", u""},
        {"EMPTY", u""},
        {"SELF_CLOSED", u""},
        {"CDATA", u"  <kept> & raw  "},
        {"SPACES", u"one two three"},
        {"REFS", u" edge blanks \nline&<>\"'"},
        {"TWICE", u"second"},
        {"EMPTIED", u"was here"},  // an entry without text adds nothing
        {"KEEPS", u"kept"},
        {"Title", u"mixed case key"},
        {"TITLE", u""},
        {"plain", u""},
        {"AFTER_TEXT", u"still read"},
        {"MISSING", u""},
        {"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(table.GetText(c.key), c.text) << c.key;
}

TEST_F(LanguageTableTest, TextLengthLimitCountsUtf16Units) {
    const std::string emoji = "\xF0\x9F\x93\xB7";  // one character, two UTF-16 units
    struct Case {
        std::string text;
        size_t units;  // 0: stored empty
    } cases[] = {
        {std::string(5119, 'a'), 5119},
        {std::string(5120, 'a'), 0},
        {std::string(20000, 'a'), 0},
        {std::string(5117, 'a') + emoji, 5119},
        {std::string(5118, 'a') + emoji, 0},
        {[] { std::string s; for (int i = 0; i < 5119; ++i) s += "\xE4\xB8\xAD"; return s; }(), 5119},
        {[] { std::string s; for (int i = 0; i < 5120; ++i) s += "\xE4\xB8\xAD"; return s; }(), 0},
    };
    std::string entries;
    for (size_t i = 0; i < std::size(cases); ++i)
        entries += "<K" + std::to_string(i) + ">" + cases[i].text + "</K" + std::to_string(i) + ">\n";
    CLanguageTable table = EnglishTable(LangFile(entries));
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::u16string got = table.GetText(("K" + std::to_string(i)).c_str());
        EXPECT_EQ(got.size(), cases[i].units) << i;
        if (cases[i].units) {
            EXPECT_EQ(got, Utf8ToWide(cases[i].text)) << i;
        }
    }
}

TEST_F(LanguageTableTest, Utf8TextsAreReturnedExactly) {
    struct Case {
        const char* key;
        std::u16string text;
    } cases[] = {
        {"ZH", u"欢迎光临！您已进入视频监控区域。"},
        {"TW", u"歡迎光臨！您已進入錄影監視區域。"},
        {"KO", u"어서 오세요! 이 구역은 CCTV로 녹화되고 있습니다."},
        {"PL", u"Zażółć gęślą jaźń – ŁÓDŹ"},
        {"EMOJI", u"📷 camera"},
    };
    std::string entries;
    for (const Case& c : cases) entries += std::string("<") + c.key + ">" + WideToUtf8(c.text) + "</" + c.key + ">";
    // With and without a byte-order mark, and whatever the narrow locale is.
    for (const std::string& bom : {std::string(), std::string("\xEF\xBB\xBF")}) {
        CLanguageTable table = EnglishTable(bom + LangFile(entries));
        for (const Case& c : cases) EXPECT_EQ(table.GetText(c.key), c.text) << c.key;
    }
}

TEST_F(LanguageTableTest, BrokenUtf8BecomesReplacementCharacters) {
    // Each ends in plain text: TinyXML copies a lead byte's whole sequence
    // length blindly, so a cut sequence right before "<" would eat the tag.
    const std::string broken[] = {"a\xC3(b", "\xE4\xB8 cut", "x\xF0\x9F\x93 cut", "\xED\xA0\x80 surrogate",
                                  "\xC0\xAF overlong", "lone \x80\xBF continuation"};
    std::string entries;
    for (size_t i = 0; i < std::size(broken); ++i)
        entries += "<B" + std::to_string(i) + ">" + broken[i] + "</B" + std::to_string(i) + ">";
    CLanguageTable table = EnglishTable(LangFile(entries));
    for (size_t i = 0; i < std::size(broken); ++i) {
        std::u16string got = table.GetText(("B" + std::to_string(i)).c_str());
        EXPECT_EQ(got, Utf8ToWide(broken[i])) << i;
        EXPECT_NE(got.find(u'\uFFFD'), std::u16string::npos) << i;
    }
}

TEST_F(LanguageTableTest, WithoutLanguageFilesEveryTextIsEmpty) {
    const char* keys[] = {"TITLE", "FILE_SAVE_OK", "RECORD", ""};
    // Nothing at all; then a registry file only; then an index naming nothing.
    for (int step = 0; step < 3; ++step) {
        if (step >= 1) Write("registry.xml", "<root><Registry name=\"QuaboDevTools\"/></root>");
        if (step >= 2) Write("language.xml", "<Lang/>");
        CLanguageTable table(Path("language.xml"), Path("registry.xml"));
        EXPECT_EQ(table.GetLanguageCode(), u"en-us");
        for (const char* key : keys) EXPECT_EQ(table.GetText(key), u"") << step << key;
    }
}

TEST_F(LanguageTableTest, ShippedFilesFollowTheRegistry) {
    const std::string bin = GetProgramDirectory();
    struct Case {
        const char* language;
        std::u16string code, title, saved;
    } cases[] = {
        {"Simplified Chinese", u"zh-cn", u"Tesvano 语音片段工具", u"文件保存成功"},
        {"Traditional Chinese", u"zh-tw", u"Tesvano 語音片段工具", u"檔案儲存成功"},
        {"Korean", u"ko-ko", u"Tesvano 음성 클립 도구", u" 파일 저장 완료"},
        {"Polish", u"pl-pl", u"Tesvano – klipy głosowe dla kamer", u" – plik zapisany"},
        {"English", u"en-us", u"Tesvano Voice Clip Tool", u" file saved"},
    };
    for (const Case& c : cases) {
        Write("registry.reg", RegWithLanguage(c.language));
        CLanguageTable table(bin + "/language.xml", bin + "/registry.xml");
        EXPECT_EQ(table.GetLanguageCode(), c.code);
        EXPECT_EQ(table.GetText("TITLE"), c.title) << c.language;
        EXPECT_EQ(table.GetText("FILE_SAVE_OK"), c.saved) << c.language;
    }
}

// The program's own table, built from the files beside the test program.
TEST_F(LanguageTableTest, InstanceReadsTheFilesBesideTheProgram) {
    Write("registry.reg", RegWithLanguage("Simplified Chinese"));
    CLanguageTable& table = CLanguageTable::Instance();
    EXPECT_EQ(&table, &CLanguageTable::Instance());
    EXPECT_EQ(table.GetLanguageCode(), u"zh-cn");
    EXPECT_EQ(table.GetText("ATTENTION"), u"注意");
    EXPECT_EQ(GetAnsiText("ATTENTION"), "注意");
    EXPECT_EQ(GetAnsiText("NO_SUCH_KEY"), "");
}

}  // namespace
}  // namespace tesvano::test
