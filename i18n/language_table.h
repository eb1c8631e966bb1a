// The process-wide table of UI texts, read once from the language files
// beside the program in the language the installer recorded.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tesvano {

class CLanguageTable {
public:
    // Built on the first call from the program directory; lives until exit.
    static CLanguageTable& Instance();

    // Text of the key in the current language; "" when absent.
    std::u16string GetText(const char* key) const;
    std::u16string GetLanguageCode() const { return languageCode_; }

    // Builds a table from the given index and registry file paths (the
    // program's own table uses the files beside the program).
    CLanguageTable(std::u16string indexPath, std::u16string registryPath);

private:
    std::u16string languageFilePath_;
    std::u16string registryFilePath_;
    int32_t loaded_ = 0;
    std::u16string languageCode_ = u"en-us";
    std::map<std::u16string, std::u16string> texts_;
};

// Narrow text of a UI text key, ready for a narrow log format.
std::string GetAnsiText(const char* key);

}  // namespace tesvano
