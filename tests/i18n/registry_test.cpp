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

TEST_F(RegistryTest, FileThatIsNotAnExportHoldsNoKeys) {
    const std::string good = RegWithLanguage("Korean");
    const std::string cases[] = {
        "",                                      // empty
        good.substr(good.find('[')),             // no header line
        std::string("\x00\xff\x13[\x00\"=", 7),  // binary
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

TEST_F(RegistryTest, UnreadableLineIsSkippedWithANote) {
    const std::string good = RegWithLanguage("Korean");
    const std::string header = good.substr(0, good.find('['));
    const std::string section = good.substr(good.find('['));
    const std::string cases[] = {
        "\"Other\"=hex:zz\n",                     // bad hex digit
        "garbage line\n",                         // a line of no known form
        "\"Broken\"=\"no closing quote\n",         // unterminated string
        "\"Num\"=dword:12\n",                      // short dword
        "\"NoValue\"\n",                           // no "="
        "[HKEY_LOCAL_MACHINE\\Software\n",         // unterminated section
    };
    for (const std::string& bad : cases) {
        SCOPED_TRACE(bad);
        for (const std::string& text : {good + bad, header + bad + section}) {
            Write("registry.reg", text);
            CRegistryKey key;
            ::testing::internal::CaptureStderr();
            const bool opened = key.Open(kUninstall);
            const std::string note = ::testing::internal::GetCapturedStderr();
            ASSERT_TRUE(opened);
            EXPECT_EQ(QueryString(key, u"Language"), u"Korean");
            EXPECT_NE(note.find("registry.reg:"), std::string::npos) << note;
            EXPECT_NE(note.find(bad.substr(0, bad.size() - 1)), std::string::npos) << note;
        }
    }
    // A value before any key is skipped too, and names no key.
    Write("registry.reg", "Windows Registry Editor Version 5.00\n\"Orphan\"=\"x\"\n");
    CRegistryKey key;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(key.Open(u"Software"));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Orphan"), std::string::npos);
}

TEST_F(RegistryTest, RemovedKeyTakesItsSubkeysAndValues) {
    const std::string text = RegWithLanguage("Korean") +
                             "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n\"A\"=\"1\"\n"
                             "[-HKEY_LOCAL_MACHINE\\software\\microsoft\\windows]\n"
                             "\"Ignored\"=\"2\"\n"
                             "[-HKEY_LOCAL_MACHINE\\Nothing\\Here]\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Later]\n\"B\"=\"3\"\n";
    Write("registry.reg", text);
    CRegistryKey key;
    EXPECT_FALSE(key.Open(kUninstall));
    EXPECT_FALSE(key.Open(u"Software\\Microsoft\\Windows"));
    EXPECT_TRUE(key.Open(u"Software\\Microsoft")) << "the parent stays";
    EXPECT_FALSE(key.Open(u"Nothing")) << "removing a key never named makes none";
    ASSERT_TRUE(key.Open(u"Software\\Keep"));
    EXPECT_EQ(QueryString(key, u"A"), u"1");
    ASSERT_TRUE(key.Open(u"Software\\Later"));
    EXPECT_EQ(QueryString(key, u"B"), u"3");
    // Defined again after its removal, the key is back with only its new values.
    Write("registry.reg", text + "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows]\n\"C\"=\"4\"\n");
    ASSERT_TRUE(key.Open(u"Software\\Microsoft\\Windows"));
    EXPECT_EQ(QueryString(key, u"C"), u"4");
    EXPECT_FALSE(key.Open(kUninstall));
}

}  // namespace
}  // namespace tesvano::test
