#include "operations/generate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "audio/g711.h"
#include "audio/wav.h"
#include "operations/camera_mp3.h"
#include "operations/synthesis.h"
#include "operations/reason.h"
#include "platform/file.h"
#include "platform/system.h"
#include "i18n/language_table.h"
#include "platform/text.h"
#include "speech/speech_engine.h"

namespace tesvano {

namespace {

// Characters FAT, NTFS and SMB shares refuse in a name, and controls (line
// breaks included), which many tools mishandle.
bool IsUnsafeInFileName(char16_t c) {
    switch (c) {
    case u'/': case u'\\': case u':': case u'*': case u'?': case u'"': case u'<': case u'>': case u'|':
    case u'\u0085': case u'\u2028': case u'\u2029':
        return true;
    default:
        return c < 0x20 || c == 0x7F;
    }
}

}  // namespace

std::u16string MakeFileStem(const std::u16string& text) {
    std::u16string stem = TextFileStem(text);
    if (stem.empty()) stem = AnsiToWide(DatedFileStem(GetTickCount32()));
    return stem;
}

bool IsUsableFileStem(const std::u16string& stem) {
    return !stem.empty() && stem.size() <= 200 && stem != u"." && stem != u".." && stem.back() != u' ' &&
           std::none_of(stem.begin(), stem.end(), IsUnsafeInFileName);
}

std::u16string TextFileStem(const std::u16string& text) {
    std::u16string stem = text;
    for (char16_t mark : {u'\u3002', u'\uFF0C', u',', u'.'}) std::erase(stem, mark);
    std::erase_if(stem, IsUnsafeInFileName);
    constexpr size_t kStemUnits = 20;
    if (stem.size() > kStemUnits) {
        size_t cut = kStemUnits;
        // Never keep half of a surrogate pair: an emoji stays whole or goes.
        if (stem[cut - 1] >= 0xD800 && stem[cut - 1] <= 0xDBFF) --cut;
        stem.resize(cut);
    }
    // Windows shares refuse names that end in a blank; one of blanks only is no name.
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    return stem;
}

std::string DatedFileStem(uint32_t tick) {
    int year = 0, month = 0, day = 0;  // a field that cannot be had stays 0
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now != static_cast<std::time_t>(-1) && localtime_r(&now, &local)) {
        year = local.tm_year + 1900;
        month = local.tm_mon + 1;
        day = local.tm_mday;
    }
    char name[48];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d-%010u", year, month, day, tick);
    return name;
}

std::u16string MakeOutputPath(const SayRequest& r, const char16_t* extension) {
    return r.saveDir + u"/" + (r.fileStem.empty() ? MakeFileStem(r.text) : r.fileStem) + extension;
}

bool HaveText(IMainWindow& w, const std::u16string& text) {
    if (!text.empty()) return true;
    w.AppendLog(CLanguageTable::Instance().GetText("PLEASE_INPUT_TEXT"));
    return false;
}

bool ReadRateAndText(IMainWindow& w, int* rate, std::u16string* text) {
    *rate = w.GetComboSelectionData(IDC_RATE);
    *text = w.GetItemText(IDC_TEXT);
    return HaveText(w, *text);
}

OpResult GenerateWith(IMainWindow& w, const SayRequest& request, const PcmWriter& write) {
    if (!HaveText(w, request.text)) return OpResult::kFailed;
    // Written while still logged in, as the window always did; the login
    // goes when this returns, an exception from the writer included.
    EngineLogin login;
    PcmBuffer pcm;
    if (!SynthesizeSpeech(w, login, request, &pcm)) return OpResult::kFailed;
    return write(request, pcm);
}

namespace {

enum class Uncompressed { kPcm, kWav, kALaw, kMuLaw };

OpResult WriteUncompressed(IMainWindow& w, Uncompressed kind, const SayRequest& request, const PcmBuffer& pcm) {
    const int rate = request.rate;
    const std::u16string path = MakeOutputPath(request, kind == Uncompressed::kPcm ? u".pcm" : u".wav");
    const std::string narrow = WideToAnsi(path);
    WriteStatus status = WriteStatus::kCreateFailed;
    errno = 0;
    switch (kind) {
    case Uncompressed::kPcm:
        status = WritePcmFile(narrow, pcm);
        break;
    case Uncompressed::kWav:
        status = WriteWavFile(narrow, static_cast<uint32_t>(rate), pcm);
        break;
    case Uncompressed::kALaw:
    case Uncompressed::kMuLaw:
        // G.711 is 8 kHz audio: any other rate would play at the wrong speed.
        if (rate == static_cast<int>(kG711Rate))
            status = WriteG711WavFile(narrow, kind == Uncompressed::kALaw ? G711Law::kALaw : G711Law::kMuLaw, pcm);
        break;
    }
    const int error = errno;
    auto& table = CLanguageTable::Instance();
    if (status == WriteStatus::kOk) {
        w.AppendLog(u"PCM " + table.GetText("FILE_SAVE_OK") + u":" + path);
        if (kind != Uncompressed::kPcm) w.lastClip() = narrow;  // raw PCM says nothing of its rate
        return OpResult::kDone;
    }
    // Not created, or not written whole (the partial file is gone): say so, and why.
    w.AppendLog(u"PCM " + table.GetText("FILE_SAVE_FAILED"));
    const bool g711 = kind == Uncompressed::kALaw || kind == Uncompressed::kMuLaw;
    LogReason(w, g711 && rate != static_cast<int>(kG711Rate) ? "G.711 files are 8000 Hz" : FileErrorText(narrow, error));
    return OpResult::kFailed;
}

OpResult GenerateUncompressed(IMainWindow& w, const SayRequest& request, Uncompressed kind) {
    return GenerateWith(w, request, [&w, kind](const SayRequest& r, const PcmBuffer& pcm) {
        return WriteUncompressed(w, kind, r, pcm);
    });
}

}  // namespace

OpResult GeneratePcm(IMainWindow& w, const SayRequest& request) {
    return GenerateUncompressed(w, request, Uncompressed::kPcm);
}

OpResult GenerateWav(IMainWindow& w, const SayRequest& request) {
    return GenerateUncompressed(w, request, Uncompressed::kWav);
}

OpResult GenerateG711(IMainWindow& w, const SayRequest& request, G711Law law) {
    return GenerateUncompressed(w, request, law == G711Law::kALaw ? Uncompressed::kALaw : Uncompressed::kMuLaw);
}

OpResult SaveTextMp3(IMainWindow& w, const SayRequest& request, const PcmBuffer& pcm) {
    return SaveCameraMp3(w, request.rate, pcm, WideToAnsi(MakeOutputPath(request, u".mp3")));
}

OpResult GenerateMp3(IMainWindow& w, const SayRequest& request) {
    return GenerateWith(w, request, [&w](const SayRequest& r, const PcmBuffer& pcm) { return SaveTextMp3(w, r, pcm); });
}

OpResult OnGenerateMp3(IMainWindow& w) { return GenerateMp3(w, ReadSayRequest(w)); }

OpResult OnGeneratePcm(IMainWindow& w) { return GeneratePcm(w, ReadSayRequest(w)); }

OpResult OnGenerateWav(IMainWindow& w) { return GenerateWav(w, ReadSayRequest(w)); }

}  // namespace tesvano
