#include "i18n/language_table.h"

#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {

CLanguageTable& CLanguageTable::Instance() {
    static CLanguageTable* table = new CLanguageTable(GetProgramDirectory() + u"/language.xml",
                                                      GetProgramDirectory() + u"/registry.xml");
    return *table;
}

CLanguageTable::CLanguageTable(std::u16string, std::u16string registryPath)
    : registryFilePath_(std::move(registryPath)) {}

std::u16string CLanguageTable::GetText(const char* key) const {
    if (!loaded_) return {};
    auto it = texts_.find(AnsiToWide(key));
    return it == texts_.end() ? std::u16string() : it->second;
}

std::string GetAnsiText(const char* key) { return WideToAnsi(CLanguageTable::Instance().GetText(key)); }

}  // namespace tesvano
