// Folders of language files written by the tests, and a registry file that
// the table reads through TESVANO_REGISTRY.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "i18n/language_table.h"
#include "platform/text.h"
#include "tests/support/temp_dir.h"

namespace tesvano::test {

inline void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// A registry export with the product's uninstall key holding "Language".
inline std::string RegWithLanguage(const std::string& language, const std::string& product = "QuaboDevTools") {
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product + "]\r\n"
           "\"Language\"=\"" + language + "\"\r\n";
}

inline std::string LangFile(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lang>\n<Resources>\n" + entries + "\n</Resources>\n</Lang>\n";
}

class I18nTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitLocaleFromEnvironment();
        setenv("TESVANO_REGISTRY", (dir / "registry.reg").c_str(), 1);
    }
    void TearDown() override { unsetenv("TESVANO_REGISTRY"); }

    std::string Path(const std::string& name) const { return dir / name; }
    void Write(const std::string& name, const std::string& text) const { WriteText(dir / name, text); }

    // An index naming one text file for en-us, the registry saying nothing.
    CLanguageTable EnglishTable(const std::string& textFile) const {
        Write("language.xml", "<Lang><Resources lan=\"en-us\" filename=\"en.xml\"/></Lang>");
        Write("en.xml", textFile);
        return CLanguageTable(Path("language.xml"), Path("registry.xml"));
    }

    TempDir dir;
};

}  // namespace tesvano::test
