#include "app/console_window.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/window_setup.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/voice_table.h"

namespace tesvano {

void ConsoleWindow::AppendLog(const std::u16string& text) {
    std::fprintf(out_, "%s\n", log_.Append(text).c_str());
    std::fflush(out_);
}

void ConsoleWindow::MessageBox(const std::u16string& text, const std::u16string& caption) {
    ++boxes_;
    std::fprintf(err_, "%s: %s\n", WideToAnsi(caption).c_str(), WideToAnsi(text).c_str());
}

void ConsoleWindow::OpenWithDesktop(const std::u16string& path) {
    if (open_) tesvano::OpenWithDesktop(WideToAnsi(path));
}

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: tesvano-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  voices        list the voices, index and name in the current language\n"
    "  --help        show this text\n";

void ListVoices(std::FILE* out) {
    const bool chinese = CLanguageTable::Instance().GetLanguageCode() == u"zh-cn";
    for (size_t i = 0; i < kVoiceTable.size(); ++i)
        std::fprintf(out, "%2zu  %s\n", i, chinese ? kVoiceTable[i].chineseName : kVoiceTable[i].englishName);
}

}  // namespace

int RunConsole(int argc, char** argv, std::FILE* out, std::FILE* err) {
    InitLocaleFromEnvironment();
    if (argc < 2) {
        std::fputs(kUsage, err);
        return kExitUsage;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, out);
        return kExitOk;
    }
    if (command == "voices") {
        if (argc != 2) {
            std::fprintf(err, "tesvano-cli: 'voices' takes no arguments\n");
            return kExitUsage;
        }
        ListVoices(out);
        return kExitOk;
    }
    std::fprintf(err, "tesvano-cli: unknown command '%s' (see tesvano-cli --help)\n", argv[1]);
    return kExitUsage;
}

}  // namespace tesvano
