// Writing a file that may hold a password (camera.conf).
#pragma once

#include <string>
#include <string_view>

namespace tesvano {

// Writes text into a new file beside `path`, readable by its owner only
// (0600), fsyncs it and renames it over `path`, so a file that held a
// password never becomes readable by others, not even for a moment. Missing
// folders on the way are made 0700. False with the reason in *error; nothing
// is left behind then and any old file stays whole.
bool WriteSecretFile(const std::string& path, std::string_view text, std::string* error);

}  // namespace tesvano
