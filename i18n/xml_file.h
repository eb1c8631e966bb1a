// Reads the program's XML data files with TinyXML, guarded against files
// that would overwhelm it.
#pragma once

#include <string>

#include <tinyxml.h>

namespace tesvano {

// Loads the file (path as file-system bytes) into doc with
// TinyXML's encoding detection and its default white-space condensing.
// False when the file cannot be opened or read, is empty or does not parse,
// and also when it is larger than kMaxXmlFileBytes or has more than
// kMaxXmlElements element tags: TinyXML parses and frees nested elements
// recursively (and in time quadratic in the depth), so an unbounded nesting
// would overflow the stack; the shipped files have about 60 elements.
bool LoadXmlFile(const std::string& path, TiXmlDocument* doc);

// Parses text held in memory. TinyXML steps over a UTF-8 character by the
// length its first byte promises, so text cut inside one would make it read
// past the end; every parse of outside text goes through here.
bool ParseXmlText(std::string text, TiXmlEncoding encoding, TiXmlDocument* doc);

inline constexpr long long kMaxXmlFileBytes = 16LL << 20;
inline constexpr size_t kMaxXmlElements = 4096;

}  // namespace tesvano
