// A speech engine table driven by a script: each call is recorded and
// answered from the script, so tests reach every path of a session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "speech/speech_engine.h"

namespace tesvano::test {

struct ScriptedEngine {
    struct Piece {
        std::vector<uint8_t> bytes;  // empty: a null pointer with length 0
        int status = 2;
        int error = 0;
    };
    int loginResult = 0;
    int beginError = 0;
    int putResult = 0;
    std::vector<Piece> pieces;  // answered in order; past the end: status 2, nothing
    int endResult = 0;

    // What was called, in order: "login:<params>", "begin:<params>",
    // "put:<text>", "get", "end:<hint>", "logout".
    std::vector<std::string> calls;

    // Binds this script as the program's engine until destroyed.
    ScriptedEngine();
    ~ScriptedEngine();
    ScriptedEngine(const ScriptedEngine&) = delete;
    ScriptedEngine& operator=(const ScriptedEngine&) = delete;

    bool Called(const std::string& prefix) const;
    size_t next = 0;
};

// Speech-like PCM bytes for a piece.
std::vector<uint8_t> PcmBytes(size_t bytes, uint8_t seed = 1);

}  // namespace tesvano::test
