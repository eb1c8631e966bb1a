#include "operations/size_check.h"

#include "i18n/language_table.h"

namespace tesvano {

bool WarnIfOverCameraLimit(IMainWindow& w, const std::u16string& sizeLine, uint32_t size) {
    if (size <= kCameraSizeLimit) return false;
    auto& table = CLanguageTable::Instance();
    const std::u16string warning = sizeLine + table.GetText("EXCEED_FILE_SIZE");
    w.AppendLog(warning);
    w.MessageBox(warning, table.GetText("ATTENTION"));
    return true;
}

}  // namespace tesvano
