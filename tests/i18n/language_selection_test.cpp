#include "platform/registry.h"
#include "tests/i18n/i18n_fixture.h"
#include "tests/support/servers.h"

namespace tesvano::test {
namespace {

using LanguageSelectionTest = I18nTest;

TEST_F(LanguageSelectionTest, LanguageValueChoosesTheCode) {
    struct Case {
        std::string value;
        std::u16string code;
    } cases[] = {
        {"Simplified Chinese", u"zh-cn"},
        {"Traditional Chinese", u"zh-tw"},
        {"Korean", u"ko-ko"},
        {"Polish", u"pl-pl"},
        {"English", u"en-us"},
        {"simplified chinese", u"en-us"},
        {"Polish ", u"en-us"},
        {" Korean", u"en-us"},
        {"Korea", u"en-us"},
        {"", u"en-us"},
        {"Korean" + std::string(43, ' '), u"en-us"},  // 49 units: read, but not a name
        {"Korean" + std::string(44, ' '), u"en-us"},  // 102 bytes: does not fit
    };
    for (const Case& c : cases) {
        Write("registry.reg", RegWithLanguage(c.value));
        CLanguageTable table(Path("language.xml"), Path("registry.xml"));
        EXPECT_EQ(table.GetLanguageCode(), c.code) << '"' << c.value << '"';
    }
}

TEST_F(LanguageSelectionTest, MissingKeyValueOrFileGivesEnglish) {
    const std::string cases[] = {
        RegWithLanguage("Korean", "OtherProduct"),
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
        "CurrentVersion\\Uninstall\\QuaboDevTools]\n\"Version\"=\"2.0.9\"\n",
        "not a registry file",
    };
    for (const std::string& text : cases) {
        Write("registry.reg", text);
        EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), u"en-us") << text;
    }
    std::filesystem::remove(dir / "registry.reg");
    EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), u"en-us");
}

TEST_F(LanguageSelectionTest, ValueFillingTheBufferIsReadUpToItsTerminator) {
    // 100 bytes exactly: "Korean", a terminator, then other bytes.
    std::string hex = "4b,00,6f,00,72,00,65,00,61,00,6e,00,00,00";
    for (int i = 14; i < 100; ++i) hex += ",41";
    Write("registry.reg", RegWithLanguage("x") + "\"Language\"=hex:" + hex + "\n");
    EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), u"ko-ko");

    // 100 bytes without any terminator must not be read past its end.
    hex = "50,00";
    for (int i = 2; i < 100; ++i) hex += i % 2 ? ",00" : ",50";
    Write("registry.reg", RegWithLanguage("x") + "\"Language\"=hex:" + hex + "\n");
    EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), u"en-us");
}

TEST_F(LanguageSelectionTest, ProductKeyNameFromTheRegistryFile) {
    struct Case {
        const char* xml;  // nullptr: no file
        std::u16string name;
    } cases[] = {
        {nullptr, u"QuaboDevTools"},
        {"<root><Registry name=\"AcmeTools\"/></root>", u"AcmeTools"},
        {"<?xml version=\"1.0\"?><!-- c --><other/><root><!-- first --><Item/><Registry name=\"A\"/>"
         "<Registry name=\"B\"/></root><root><Registry name=\"C\"/></root>",
         u"A"},
        {"<root><Registry/></root>", u""},
        {"<root><Registry name=\"\"/></root>", u""},
        {"<root><Item name=\"A\"/></root>", u"QuaboDevTools"},
        {"<ROOT><Registry name=\"A\"/></ROOT>", u"QuaboDevTools"},
        {"<root><registry name=\"A\"/></root>", u"QuaboDevTools"},
        {"<root><Registry Name=\"A\"/></root>", u""},
        {"<root><Registry name=\"A\"/>", u"QuaboDevTools"},  // does not parse
        {"", u"QuaboDevTools"},
        {"<?xml version=\"1.0\"?><root><Registry name=\"Z&#252;rich Tools\"/></root>", u"Zürich Tools"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir / "registry.xml");
        if (c.xml) Write("registry.xml", c.xml);
        CLanguageTable table(Path("language.xml"), Path("registry.xml"));
        EXPECT_EQ(table.ReadProductKeyName(), c.name) << (c.xml ? c.xml : "(no file)");
    }
}

TEST_F(LanguageSelectionTest, ProductKeyNameChoosesTheUninstallKey) {
    const std::string uninstall = "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    Write("registry.reg", "Windows Registry Editor Version 5.00\n" + uninstall + "]\n\"Language\"=\"Polish\"\n" +
                              uninstall + "\\QuaboDevTools]\n\"Language\"=\"Korean\"\n" + uninstall +
                              "\\AcmeTools]\n\"Language\"=\"Traditional Chinese\"\n");
    struct Case {
        const char* xml;
        std::u16string code;
    } cases[] = {
        {nullptr, u"ko-ko"},
        {"<root><Registry name=\"AcmeTools\"/></root>", u"zh-tw"},
        {"<root><Registry/></root>", u"pl-pl"},  // the uninstall key itself
        {"<root><Registry name=\"Nobody\"/></root>", u"en-us"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir / "registry.xml");
        if (c.xml) Write("registry.xml", c.xml);
        EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), c.code)
            << (c.xml ? c.xml : "(no file)");
    }
}

}  // namespace
}  // namespace tesvano::test

namespace tesvano::test {
namespace {

// The installer's step: scripts/set-language writes the value the table reads.
TEST_F(LanguageSelectionTest, SetLanguageScriptWritesWhatTheTableReads) {
    const std::string script = TESVANO_SOURCE_DIR "/scripts/set-language";
    Write("registry.reg",
          "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Keep\"=\"me\"\r\n");
    struct Case {
        const char* language;
        std::u16string code;
    } cases[] = {{"Korean", u"ko-ko"}, {"Simplified Chinese", u"zh-cn"}, {"English", u"en-us"}};
    // Run as root by the package, with whichever awk the system has: mawk
    // is Debian's default, gawk reads -v values' backslashes as escapes.
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    for (const char* awk : {"mawk", "gawk"}) {
        const std::string found = FindProgram(awk);
        ASSERT_FALSE(found.empty()) << awk << " missing";
        const std::string bin = Path(std::string("bin-") + awk);
        std::filesystem::create_directory(bin);
        std::filesystem::create_symlink(found, bin + "/awk");
        setenv("PATH", (bin + ":" + saved).c_str(), 1);
        for (const Case& c : cases) {
            ASSERT_EQ(RunProgram({"/bin/sh", script, c.language}), 0) << awk << ' ' << c.language;
            EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), c.code) << awk;
        }
        setenv("PATH", saved.c_str(), 1);
    }
    EXPECT_NE(RunProgram({"/bin/sh", script, "Klingon"}), 0);
    CRegistryKey other;
    ASSERT_TRUE(other.Open(u"Software\\Other"));
    char16_t buf[8] = {};
    uint32_t bytes = sizeof buf;
    EXPECT_TRUE(other.QueryValue(u"Keep", buf, &bytes));
    EXPECT_EQ(std::u16string(buf), u"me");
}

}  // namespace
}  // namespace tesvano::test

namespace tesvano::test {
namespace {

// The package's install step: the language of the installing locale, written
// only while none is recorded.
TEST_F(LanguageSelectionTest, SetLanguageFromLocaleMapsTheLocaleAndKeepsAChoice) {
    const std::string script = TESVANO_SOURCE_DIR "/scripts/set-language";
    struct Case {
        const char* locale;
        std::u16string code;
    } cases[] = {
        {"zh_CN.UTF-8", u"zh-cn"}, {"zh_SG", u"zh-cn"},       {"zh_TW.Big5", u"zh-tw"}, {"zh_HK.UTF-8", u"zh-tw"},
        {"zh_MO", u"zh-tw"},       {"ko_KR.UTF-8", u"ko-ko"}, {"pl_PL.UTF-8", u"pl-pl"}, {"pl_PL@euro", u"pl-pl"},
        {"en_GB.UTF-8", u"en-us"}, {"C.UTF-8", u"en-us"},     {"", u"en-us"},
    };
    for (const Case& c : cases) {
        // Another key's "Language" is not ours: it must not count as a choice.
        Write("registry.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Language\"=\"Korean\"\r\n");
        ASSERT_EQ(RunProgram({"/bin/sh", script, "--from-locale", c.locale}), 0) << c.locale;
        EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), c.code) << c.locale;
    }

    Write("registry.reg", RegWithLanguage("Korean"));
    ASSERT_EQ(RunProgram({"/bin/sh", script, "--from-locale", "pl_PL.UTF-8"}), 0);
    EXPECT_EQ(CLanguageTable(Path("language.xml"), Path("registry.xml")).GetLanguageCode(), u"ko-ko");
}

}  // namespace
}  // namespace tesvano::test
