// Small stand-ins for what Windows gave the program: where the program file
// lives, a 32-bit millisecond tick, and opening a file with the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tesvano {

// The folder that holds the program file, without a trailing separator, as
// the bytes the file system gave: a folder name that is not valid UTF-8
// still opens the files beside the program.
std::string GetProgramDirectory();
// Everything before the last "/" ("" for a file in the root folder); a path
// without "/" is returned whole. A "\" is an ordinary character in a name.
std::string DirectoryOfPath(std::string_view path);

// Milliseconds of a steady clock, truncated to 32 bits: wraps like Windows'.
uint32_t GetTickCount32();
// Tests replace the clock (to reach the wrap); an empty function restores it.
void SetTickSourceForTesting(std::function<uint32_t()> source);

void SleepMilliseconds(uint32_t ms);

// The user's documents folder (XDG_DOCUMENTS_DIR, else ~/Documents); the home
// folder when that does not exist; "" when there is no home either.
std::u16string GetDocumentsFolder();

// Hands a file or folder to the desktop (xdg-open, started without a shell).
// Returns whether the opener could be started. Set TESVANO_NO_DESKTOP_OPEN=1,
// or install a handler, to keep tests from launching anything.
bool OpenWithDesktop(const std::string& path);
void SetDesktopOpenerForTesting(std::function<bool(const std::string&)> opener);

}  // namespace tesvano
