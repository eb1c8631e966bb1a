#include "operations/reason.h"

#include "platform/mask.h"
#include "platform/text.h"

namespace tesvano {

void LogReason(IMainWindow& w, const std::string& reason) {
    if (reason.empty()) return;
    std::string shown = MaskSecrets(reason);
    for (char& c : shown)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) c = ' ';
    w.AppendLog(AnsiToWide(shown));
}

}  // namespace tesvano
