#include <algorithm>
#include <gtest/gtest.h>

#include "i18n/language_table.h"
#include "operations/synthesis.h"
#include "speech/synthesis.h"
#include "tests/support/memory_window.h"
#include "tests/support/scripted_engine.h"

namespace tesvano {
namespace {

std::u16string T(const char* key) { return CLanguageTable::Instance().GetText(key); }
std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A window as at start-up, on the first voice, without music.
struct Fixture {
    test::MemoryWindow w;
    test::ScriptedEngine engine;
    Fixture() {
        for (int i = 0; i < 17; ++i) w.AddComboItem(IDC_VOICE, u"v", i, i == 0);
        w.AddComboItem(IDC_MUSIC, u"none", 0, true);
        w.AddComboItem(IDC_OVERLAY, u"under", 0, true);
        w.SetTrackbarPos(IDC_VOLUME, 50);
    }
};

// What the window's button would ask for, at this rate and with this text.
SayRequest Request(const test::MemoryWindow& w, int rate, const std::u16string& text) {
    SayRequest r = ReadSayRequest(w);
    r.rate = rate;
    r.text = text;
    return r;
}

TEST(Synthesis, EachFailingStepGivesTwoLinesAndItsSessionEnd) {
    struct Case {
        const char* name;
        int beginError, putResult, getError, endResult;
        std::vector<std::u16string> lines;  // log after VOICE_WORKING where it applies
        const char* endHint;                // nullptr: no session end
        int code;
    } cases[] = {
        {"begin", 10101, 0, 0, 0,
         {u"QTTSSessionBegin failed, error code: 10101.\n", T("VOICE_INIT_FAILED") + u"10101.\n"}, nullptr, 10101},
        {"put", 0, 10102, 0, 0,
         {u"QTTSTextPut failed, error code: 10102.\n", T("VOICE_PUTDATA_FAILED") + u"10102.\n"}, "end:TextPutError",
         10102},
        {"get", 0, 0, 10103, 0,
         {T("VOICE_WORKING"), u"QTTSAudioGet failed, error code: 10103.\n", T("VOICE_CREATE_FAILED") + u"10103.\n"},
         "end:AudioGetError", 10103},
        {"end", 0, 0, 0, 10104,
         {T("VOICE_WORKING"), u"QTTSSessionEnd failed, error code: 10104.\n", T("VOICE_CLOSE_FAILED") + u"10104.\n"},
         "end:Normal", 10104},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.engine.beginError = c.beginError;
        f.engine.putResult = c.putResult;
        f.engine.endResult = c.endResult;
        f.engine.pieces = {{test::PcmBytes(3200), 2, c.getError}};
        PcmBuffer pcm;
        EXPECT_EQ(text_to_speech_wavfile("hello", f.w, "p", &pcm), c.code);
        EXPECT_EQ(f.w.logTexts, c.lines);
        EXPECT_TRUE(pcm.empty()) << "audio of a failed session is discarded";
        if (c.endHint) {
            EXPECT_EQ(f.engine.calls.back(), c.endHint);
        } else {
            EXPECT_FALSE(f.engine.Called("end:"));
        }

        // One level up: the same lines, then its own, no audio, and the login given back once.
        Fixture g;
        g.engine.beginError = c.beginError;
        g.engine.putResult = c.putResult;
        g.engine.endResult = c.endResult;
        g.engine.pieces = {{test::PcmBytes(3200), 2, c.getError}};
        {
            EngineLogin login;
            EXPECT_FALSE(SynthesizeSpeech(g.w, login, Request(g.w, 16000, u"hello"), &pcm));
            EXPECT_TRUE(login.loggedIn());
        }
        EXPECT_EQ(std::count(g.engine.calls.begin(), g.engine.calls.end(), "logout"), 1);
        auto expected = c.lines;
        expected.push_back(U("text_to_speech_wavfile failed, error code: " + std::to_string(c.code) + ".\n"));
        EXPECT_EQ(g.w.logTexts, expected);
    }
}

TEST(Synthesis, PiecesArePolledUntilStatusTwoAndTheLastOneCounts) {
    Fixture f;
    const auto a = test::PcmBytes(1000, 1), b = test::PcmBytes(2, 2), c = test::PcmBytes(500, 3);
    f.engine.pieces = {{a, 1, 0}, {{}, 1, 0}, {b, 0, 0}, {c, 2, 0}};
    PcmBuffer pcm;
    ASSERT_EQ(text_to_speech_wavfile("你好", f.w, "params", &pcm), 0);
    PcmBuffer expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(pcm, expected);
    EXPECT_EQ(f.engine.calls, (std::vector<std::string>{"begin:params", "put:你好", "get", "get", "get", "get",
                                                         "end:Normal"}));
    EXPECT_EQ(f.w.logTexts, std::vector<std::u16string>{T("VOICE_WORKING")});
}

TEST(Synthesis, APieceOfOneByteMoreThanTheBufferArrivesWhole) {
    for (size_t size : {SynthesisBuffer::kStep, SynthesisBuffer::kStep + 1}) {
        Fixture f;
        f.engine.pieces = {{test::PcmBytes(size), 2, 0}};
        PcmBuffer pcm;
        EngineLogin login;
        ASSERT_TRUE(SynthesizeSpeech(f.w, login, Request(f.w, 16000, u"x"), &pcm));
        EXPECT_EQ(pcm, test::PcmBytes(size));
    }
}

TEST(Synthesis, LoginSessionAndResultContract) {
    {  // Status 2 without audio: the byte count 0 is logged and nothing handed out.
        Fixture f;
        f.engine.pieces = {{{}, 2, 0}};
        PcmBuffer pcm;
        EngineLogin login;
        EXPECT_FALSE(SynthesizeSpeech(f.w, login, Request(f.w, 16000, u"x"), &pcm));
        EXPECT_TRUE(login.loggedIn());
        EXPECT_EQ(f.w.logTexts.back(), T("TEXT_CREATE_VOICE_OK") + u"0.\n");
        EXPECT_EQ(f.engine.calls.front(), std::string("login:") + kLoginParams);
    }
    {  // Login failing: standard output only, nothing more.
        Fixture f;
        f.engine.loginResult = 10407;
        PcmBuffer pcm;
        testing::internal::CaptureStdout();
        {
            EngineLogin login;
            EXPECT_FALSE(SynthesizeSpeech(f.w, login, Request(f.w, 16000, u"x"), &pcm));
            EXPECT_FALSE(login.loggedIn());
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "MSPLogin failed, error code: 10407.\n");
        EXPECT_TRUE(f.w.logTexts.empty());
        EXPECT_EQ(f.engine.calls.size(), 1u);  // never logged in: no logout either
    }
    {  // Success: the speech's byte count is logged; the text reaches the engine whole.
        Fixture f;
        f.engine.pieces = {{test::PcmBytes(6400), 2, 0}};
        PcmBuffer pcm;
        EngineLogin login;
        EXPECT_TRUE(SynthesizeSpeech(f.w, login, Request(f.w, 8000, u"你好，世界。Hello, world."), &pcm));
        EXPECT_EQ(pcm.size(), 6400u);
        EXPECT_EQ(f.w.logTexts.back(), T("TEXT_CREATE_VOICE_OK") + u"6400.\n");
        // As declared: GB18030 bytes, not UTF-8.
        EXPECT_TRUE(f.engine.Called("put:" "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\xA1\xA3" "Hello, world."));
        EXPECT_TRUE(f.engine.Called("begin:voice_name =xiaoyu, text_encoding = gb2312, sample_rate = 8000,"));
        EXPECT_FALSE(f.engine.Called("logout"));  // the login's owner logs out, later
    }
    {  // The voice list's selection picks the voice.
        Fixture f;
        f.w.Select(IDC_VOICE, 13);
        f.engine.pieces = {{test::PcmBytes(10), 2, 0}};
        PcmBuffer pcm;
        EngineLogin login;
        SynthesizeSpeech(f.w, login, Request(f.w, 16000, u"x"), &pcm);
        EXPECT_TRUE(f.engine.Called("begin:voice_name = nannan,"));
    }
}

TEST(Synthesis, MissingTextIsRefused) {
    Fixture f;
    PcmBuffer pcm;
    testing::internal::CaptureStdout();
    EXPECT_EQ(text_to_speech_wavfile(nullptr, f.w, "p", &pcm), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "params is error!\n");
    EXPECT_TRUE(f.engine.calls.empty());
}

}  // namespace
}  // namespace tesvano
