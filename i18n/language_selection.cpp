// Which language the texts are read in: the "Language" value that the
// installer wrote under the product's uninstall key.
#include <cstring>

#include "i18n/language_table.h"
#include "i18n/xml_file.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace tesvano {
namespace {

struct LanguageRow {
    std::u16string_view name;
    std::u16string_view code;
};

constexpr LanguageRow kLanguages[] = {
    {u"Simplified Chinese", u"zh-cn"},
    {u"Traditional Chinese", u"zh-tw"},
    {u"Korean", u"ko-ko"},
    {u"Polish", u"pl-pl"},
};

constexpr std::u16string_view kDefaultCode = u"en-us";

}  // namespace

std::u16string CLanguageTable::ReadProductKeyName() {
    std::u16string name = AnsiToWide("QuaboDevTools");
    TiXmlDocument doc;
    if (!LoadXmlFile(registryFilePath_, &doc)) return name;
    loaded_ = 1;
    TiXmlElement* root = doc.FirstChildElement("root");
    if (!root) return name;
    TiXmlElement* registry = root->FirstChildElement("Registry");
    if (!registry) return name;
    const char* value = registry->Attribute("name");
    return value ? AnsiToWide(value) : std::u16string();
}

void CLanguageTable::SelectLanguage() {
    std::u16string_view code = kDefaultCode;
    std::u16string keyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ReadProductKeyName();
    CRegistryKey key;
    // 100 bytes offered, plus one unit the value can never reach, so a value
    // that fills the buffer without a terminator still ends there.
    char16_t language[51] = {};
    uint32_t bytes = 100;
    if (key.Open(keyPath) && key.QueryValue(u"Language", language, &bytes)) {
        std::u16string_view name(language);
        for (const LanguageRow& row : kLanguages) {
            if (name == row.name) {
                code = row.code;
                break;
            }
        }
    }
    languageCode_.assign(code);
}

}  // namespace tesvano
