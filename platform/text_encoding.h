// Conversions between the program's code page 932 texts and the UTF-8 that
// terminals and desktop fonts show, through iconv.
#pragma once

#include <string>

namespace platform::text {

// Returns the UTF-8 form of CP932 `bytes`; an undecodable byte becomes '?' and is skipped,
// and *failed (when given) tells whether that happened.
std::string Cp932ToUtf8(const std::string& bytes, bool* failed = nullptr);

// Returns the CP932 form of UTF-8 `text`; what has no CP932 form becomes '?', and *failed
// (when given) tells whether that happened.
std::string Utf8ToCp932(const std::string& text, bool* failed = nullptr);

}  // namespace platform::text
