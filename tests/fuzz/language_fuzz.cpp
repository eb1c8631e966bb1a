// libFuzzer target: any bytes as one of the three files a language table is
// built from, chosen by the first byte: 0 the language index, 1 a language
// text file, 2 registry.xml; the other two are small valid files. Loading must
// never crash, the code stays one of the five and every text fits the work
// buffer.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "i18n/language_table.h"
#include "tests/fuzz/fuzz_file.h"

namespace {

constexpr char kIndex[] = "<Lang><Resources lan=\"en-us\" filename=\"lang/en-us.xml\"/></Lang>";
constexpr char kTexts[] = "<Lang><Resources><TITLE>Title</TITLE><OK>OK</OK></Resources></Lang>";
constexpr char kRegistry[] = "<root><Registry name=\"QuaboDevTools\"/></root>";

void WriteText(const std::string& name, const char* text) {
    tesvano::fuzz::WriteInput(name, reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const bool ready = [] {
        std::filesystem::create_directories(tesvano::fuzz::Folder() + "/lang");
        // No registry file: the language is English, the one the index names.
        return setenv("TESVANO_REGISTRY", (tesvano::fuzz::Folder() + "/none.reg").c_str(), 1) == 0;
    }();
    if (!ready) std::abort();
    const int role = data[0] % 3;
    WriteText("language.xml", kIndex);
    WriteText("lang/en-us.xml", kTexts);
    WriteText("registry.xml", kRegistry);
    const char* names[] = {"language.xml", "lang/en-us.xml", "registry.xml"};
    tesvano::fuzz::WriteInput(names[role], data + 1, size - 1);

    const std::string& dir = tesvano::fuzz::Folder();
    tesvano::CLanguageTable table(dir + "/language.xml", dir + "/registry.xml");
    const std::u16string code = table.GetLanguageCode();
    if (code != u"en-us" && code != u"zh-cn" && code != u"zh-tw" && code != u"ko-ko" && code != u"pl-pl")
        std::abort();
    for (const char* key : {"TITLE", "OK", "AUTHOR", "FILE_SAVE_FAILED", ""})
        if (table.GetText(key).size() >= tesvano::CLanguageTable::kWorkBufferUnits) std::abort();
    return 0;
}
