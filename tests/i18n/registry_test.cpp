#include <cstring>

#include "platform/registry.h"
#include "tests/i18n/i18n_fixture.h"

namespace tesvano::test {
namespace {

const char16_t kUninstall[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuaboDevTools";

using RegistryTest = I18nTest;

std::u16string QueryString(const CRegistryKey& key, std::u16string_view name, uint32_t room = 100) {
    char16_t buf[256] = {};
    uint32_t bytes = room;
    if (!key.QueryValue(name, buf, &bytes)) return u"<fail>";
    return std::u16string(buf);
}

TEST_F(RegistryTest, PathComesFromTheEnvironmentOrTheSystemFile) {
    EXPECT_EQ(RegistryFilePath(), dir / "registry.reg");
    unsetenv("TESVANO_REGISTRY");
    EXPECT_EQ(RegistryFilePath(), "/etc/tesvano/registry.reg");
    setenv("TESVANO_REGISTRY", "", 1);
    EXPECT_EQ(RegistryFilePath(), "/etc/tesvano/registry.reg");
}

TEST_F(RegistryTest, StringValueIsUtf16WithTerminator) {
    Write("registry.reg", RegWithLanguage("Korean"));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(kUninstall));
    char16_t buf[50];
    std::memset(buf, 0xAB, sizeof buf);
    uint32_t bytes = sizeof buf;
    ASSERT_TRUE(key.QueryValue(u"Language", buf, &bytes));
    EXPECT_EQ(bytes, 14u);  // "Korean" and its terminator
    EXPECT_EQ(std::u16string(buf, 7), std::u16string(u"Korean\0", 7));
    EXPECT_EQ(buf[7], 0xABABu) << "nothing written past the value";
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCase) {
    Write("registry.reg", RegWithLanguage("Polish"));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(u"SOFTWARE\\microsoft\\WINDOWS\\currentversion\\uninstall\\quabodevtools"));
    EXPECT_EQ(QueryString(key, u"LANGUAGE"), u"Polish");
    EXPECT_EQ(QueryString(key, u"Languag"), u"<fail>");
    EXPECT_FALSE(key.Open(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuaboDevTool"));
}

TEST_F(RegistryTest, ParentsExistAndTrailingSeparatorNamesTheKey) {
    Write("registry.reg", RegWithLanguage("Polish"));
    CRegistryKey key;
    EXPECT_TRUE(key.Open(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"));
    EXPECT_EQ(QueryString(key, u"Language"), u"<fail>") << "the parent has no values of its own";
    EXPECT_TRUE(key.Open(u"Software"));
    EXPECT_TRUE(key.Open(std::u16string(kUninstall) + u"\\"));
    EXPECT_EQ(QueryString(key, u"Language"), u"Polish");
}

TEST_F(RegistryTest, ValueThatDoesNotFitFailsAndSaysItsSize) {
    struct Case {
        size_t chars;
        bool fits;
    } cases[] = {{49, true}, {50, false}, {0, true}};
    for (const Case& c : cases) {
        Write("registry.reg", RegWithLanguage(std::string(c.chars, 'x')));
        CRegistryKey key;
        ASSERT_TRUE(key.Open(kUninstall));
        char16_t buf[60] = {};
        uint32_t bytes = 100;
        EXPECT_EQ(key.QueryValue(u"Language", buf, &bytes), c.fits) << c.chars;
        EXPECT_EQ(bytes, 2 * (c.chars + 1)) << c.chars;
        EXPECT_EQ(buf[0], c.fits && c.chars ? u'x' : u'\0') << "a failed query copies nothing";
    }
}

TEST_F(RegistryTest, ReadsEscapesCommentsDwordAndHexValues) {
    Write("registry.reg",
          "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
          "; written by hand\n"
          "[HKEY_CURRENT_USER\\Software\\Other]\n"
          "\"Language\"=\"ignored\"\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Test]\n"
          "\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\"\n"
          "\"Na\\\"me\"=\"odd name\"\n"
          "@=\"default\"\n"
          "\"Count\"=dword:0000012c\n"
          "\"Bytes\"=hex:4b,00,6f,\\\n"
          "  00,00,00\n"
          "\"Wide\"=hex(2):41,00,00,00\n"
          "\"Gone\"=\"x\"\n"
          "\"Gone\"=-\n"
          "\"Twice\"=\"first\"\n"
          "\"twice\"=\"second\"\n"
          "\"Grüße\"=\"łódź 中文\"\n");
    CRegistryKey key;
    ASSERT_TRUE(key.Open(u"Software\\Test"));
    EXPECT_EQ(QueryString(key, u"Quoted"), u"say \"hi\" C:\\dir");
    EXPECT_EQ(QueryString(key, u"Na\"me"), u"odd name");
    EXPECT_EQ(QueryString(key, u""), u"default");
    EXPECT_EQ(QueryString(key, u"Bytes"), u"Ko");
    EXPECT_EQ(QueryString(key, u"Wide"), u"A");
    EXPECT_EQ(QueryString(key, u"Gone"), u"<fail>");
    EXPECT_EQ(QueryString(key, u"TWICE"), u"second");
    EXPECT_EQ(QueryString(key, u"Grüße"), u"łódź 中文");
    uint32_t count = 0, bytes = 4;
    ASSERT_TRUE(key.QueryValue(u"Count", &count, &bytes));
    EXPECT_EQ(count, 300u);
    EXPECT_FALSE(key.Open(u"Software\\Other")) << "other hives are not HKEY_LOCAL_MACHINE";
}

TEST_F(RegistryTest, Utf16ExportWithByteOrderMarkIsRead) {
    std::u16string text = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
                          u"\"Language\"=\"Traditional Chinese\"\r\n";
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    WriteFileBytes(dir / "registry.reg", bytes);
    CRegistryKey key;
    ASSERT_TRUE(key.Open(u"Software\\Test"));
    EXPECT_EQ(QueryString(key, u"Language"), u"Traditional Chinese");
}

TEST_F(RegistryTest, MissingOrMalformedFileHoldsNoKeys) {
    const std::string good = RegWithLanguage("Korean");
    const std::string cases[] = {
        "",                                                     // empty
        good.substr(good.find('[')),                            // no header line
        good + "garbage line\n",                                // a line of no known form
        good + "\"Broken\"=\"no closing quote\n",               // unterminated string
        good + "\"Num\"=dword:12\n",                            // short dword
        good + "\"Hex\"=hex:4g\n",                              // bad hex digit
        "Windows Registry Editor Version 5.00\n\"Orphan\"=\"value outside a key\"\n",
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\n",
        std::string("\x00\xff\x13[\x00\"=", 7),                 // binary
    };
    CRegistryKey key;
    EXPECT_FALSE(key.Open(kUninstall)) << "no file at all";
    for (const std::string& text : cases) {
        Write("registry.reg", text);
        EXPECT_FALSE(key.Open(kUninstall)) << text;
        EXPECT_FALSE(key.Open(u"Software")) << text;
    }
    std::filesystem::create_directory(dir / "folder.reg");
    setenv("TESVANO_REGISTRY", (dir / "folder.reg").c_str(), 1);
    EXPECT_FALSE(key.Open(kUninstall)) << "a folder is not a registry file";
}

}  // namespace
}  // namespace tesvano::test
