// The process-wide table of UI texts, read once from the language files
// beside the program in the language the installer recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tesvano {

class CLanguageTable {
public:
    // Built on the first call from the files beside the program
    // ("language.xml", "registry.xml"); lives until the process ends.
    static CLanguageTable& Instance();

    // Builds a table from the given language index and registry file. The
    // language text files named by the index are looked for in the index's
    // folder (for the program's table: the program directory).
    // Paths as file-system bytes.
    CLanguageTable(std::string indexPath, std::string registryPath);
    CLanguageTable(const CLanguageTable&) = delete;
    CLanguageTable& operator=(const CLanguageTable&) = delete;

    // Text of the key in the current language; "" when absent. Keys are
    // case-sensitive and never fall back to another language.
    std::u16string GetText(const char* key) const;
    // One of "en-us", "zh-cn", "zh-tw", "ko-ko", "pl-pl".
    std::u16string GetLanguageCode() const { return languageCode_; }

    // The product's uninstall key name from the registry file:
    // "QuaboDevTools" when the file or its elements are missing, "" when
    // the "Registry" element has no "name".
    std::u16string ReadProductKeyName();
    // Sets the language code from the registry's "Language" value; runs
    // once while the table is built.
    void SelectLanguage();

    // Units of the text work buffer; a text needs one less (its terminator).
    static constexpr size_t kWorkBufferUnits = 5120;

private:
    void LoadTexts();

    std::string languageFilePath_;
    std::string registryFilePath_;
    int32_t loaded_ = 0;
    std::u16string languageCode_;
    std::map<std::u16string, std::u16string, std::less<>> texts_;
    std::unique_ptr<char16_t[]> workBuffer_;
    std::string textDirectory_;
};

// Narrow text of a UI text key, ready for a narrow log format.
std::string GetAnsiText(const char* key);

}  // namespace tesvano
