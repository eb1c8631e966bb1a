#include "tests/support/scripted_engine.h"

namespace tesvano::test {
namespace {

ScriptedEngine* g_script = nullptr;
const char kSession[] = "scripted-session";

int Login(const char*, const char*, const char* params) {
    g_script->calls.push_back(std::string("login:") + params);
    return g_script->loginResult;
}

const char* Begin(const char* params, int* error) {
    g_script->calls.push_back(std::string("begin:") + params);
    *error = g_script->beginError;
    return g_script->beginError ? nullptr : kSession;
}

int Put(const char* session, const char* text, unsigned int length, const char*) {
    g_script->calls.push_back("put:" + std::string(text, length));
    return std::string(session) == kSession ? g_script->putResult : -99;
}

const void* Get(const char*, unsigned int* length, int* status, int* error) {
    g_script->calls.push_back("get");
    auto& s = *g_script;
    if (s.next >= s.pieces.size()) {
        *length = 0;
        *status = 2;
        *error = 0;
        return nullptr;
    }
    const auto& piece = s.pieces[s.next++];
    *length = static_cast<unsigned int>(piece.bytes.size());
    *status = piece.status;
    *error = piece.error;
    return piece.bytes.empty() ? nullptr : piece.bytes.data();
}

int End(const char*, const char* hint) {
    g_script->calls.push_back(std::string("end:") + hint);
    return g_script->endResult;
}

int Logout() {
    g_script->calls.push_back("logout");
    return 0;
}

const SpeechEngine kScriptedTable = {Login, Begin, Put, Get, End, Logout};

}  // namespace

ScriptedEngine::ScriptedEngine() {
    g_script = this;
    SetSpeechEngineForTesting(&kScriptedTable);
}

ScriptedEngine::~ScriptedEngine() {
    SetSpeechEngineForTesting(nullptr);
    g_script = nullptr;
}

bool ScriptedEngine::Called(const std::string& prefix) const {
    for (const auto& c : calls)
        if (c.rfind(prefix, 0) == 0) return true;
    return false;
}

std::vector<uint8_t> PcmBytes(size_t bytes, uint8_t seed) {
    std::vector<uint8_t> out(bytes);
    uint32_t s = seed;
    for (auto& b : out) {
        s = s * 1103515245u + 12345u;
        b = static_cast<uint8_t>(s >> 16);
    }
    return out;
}

}  // namespace tesvano::test
