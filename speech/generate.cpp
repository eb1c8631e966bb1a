#include "speech/generate.h"

#include <algorithm>

#include "audio/wav.h"
#include "i18n/language_table.h"
#include "platform/text.h"
#include "speech/speech_engine.h"
#include "speech/synthesis.h"

namespace tesvano {

std::u16string MakeFileStem(const std::u16string& text) {
    std::u16string stem = text;
    for (char16_t mark : {u'\u3002', u'\uFF0C', u',', u'.'}) std::erase(stem, mark);
    constexpr size_t kStemUnits = 20;
    if (stem.size() > kStemUnits) {
        size_t cut = kStemUnits;
        // Never keep half of a surrogate pair: an emoji stays whole or goes.
        if (stem[cut - 1] >= 0xD800 && stem[cut - 1] <= 0xDBFF) --cut;
        stem.resize(cut);
    }
    return stem;
}

std::u16string MakeOutputPath(IMainWindow& w, const std::u16string& text, const char16_t* extension) {
    return w.GetItemText(IDC_SAVE_DIR) + u"/" + MakeFileStem(text) + extension;
}

int SynthesizeWindowText(IMainWindow& w, int* rate, std::u16string* text, PcmBuffer* pcm) {
    *rate = w.GetComboSelectionData(IDC_RATE);
    *text = w.GetItemText(IDC_TEXT);
    if (text->empty()) {
        w.AppendLog(CLanguageTable::Instance().GetText("PLEASE_INPUT_TEXT"));
        return kEmptyText;
    }
    return SynthesizeSpeech(w, *rate, *text, pcm);
}

namespace {

OpResult GenerateFile(IMainWindow& w, bool wav) {
    int rate;
    std::u16string text;
    PcmBuffer pcm;
    const int result = SynthesizeWindowText(w, &rate, &text, &pcm);
    if (result == 0 || result == kEmptyText) return OpResult::kFailed;  // nothing to log out of
    auto& table = CLanguageTable::Instance();

    OpResult outcome = OpResult::kFailed;
    if (result > 0) {
        const std::u16string path = MakeOutputPath(w, text, wav ? u".wav" : u".pcm");
        const std::string narrow = WideToAnsi(path);
        const WriteStatus status = wav ? WriteWavFile(narrow, static_cast<uint32_t>(rate), pcm)
                                       : WritePcmFile(narrow, pcm);
        if (status == WriteStatus::kOk) {
            w.AppendLog(u"PCM " + table.GetText("FILE_SAVE_OK") + u":" + path);
            outcome = OpResult::kDone;
        } else if (status == WriteStatus::kWriteFailed) {
            // Created but not written whole: the partial file is gone; say so.
            w.AppendLog(u"PCM " + table.GetText("FILE_SAVE_FAILED"));
        }
        // A file that cannot be created ends the operation without a line.
    }
    CurrentSpeechEngine().MSPLogout();
    return outcome;
}

}  // namespace

OpResult OnGeneratePcm(IMainWindow& w) { return GenerateFile(w, false); }
OpResult OnGenerateWav(IMainWindow& w) { return GenerateFile(w, true); }

}  // namespace tesvano
