// Checks firmware image files before the build embeds them. Each file must be
// Intel HEX text with data (00) and end-of-file (01) records only, correct
// checksums, the end-of-file record as its last line, CR LF after every line
// and no NUL byte. The first fault of a file is reported on stderr as
// "file:line: what is wrong" and the exit status is 1; 0 when all files pass.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Hex2(int value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

// Checks one record (the line without its CR LF). Returns the fault, or nothing;
// sets `endOfFile` for an end-of-file record.
std::optional<std::string> CheckRecord(const std::string& record, bool& endOfFile) {
  if (record.empty()) return "empty line";
  if (record[0] != ':') return "record does not start with ':'";
  for (std::size_t i = 1; i < record.size(); ++i) {
    if (HexDigit(record[i]) < 0) return "character " + std::to_string(i + 1) + " is not a hex digit";
  }
  if (record.size() < 11) return "record is too short";
  if (record.size() % 2 == 0) return "record has an odd number of hex digits";
  int sum = 0;
  std::string bytes;
  for (std::size_t i = 1; i + 1 < record.size(); i += 2) {
    const int byte = HexDigit(record[i]) * 16 + HexDigit(record[i + 1]);
    bytes += static_cast<char>(byte);
    sum += byte;
  }
  const int count = static_cast<unsigned char>(bytes[0]);
  if (bytes.size() != static_cast<std::size_t>(count) + 5) {
    return "byte count " + Hex2(count) + " does not match the record's " + std::to_string(bytes.size() - 5) +
           " data bytes";
  }
  if ((sum & 0xFF) != 0) {
    const int stated = static_cast<unsigned char>(bytes.back());
    return "checksum is " + Hex2(stated) + ", should be " + Hex2(stated - sum);
  }
  const int type = static_cast<unsigned char>(bytes[3]);
  if (type == 0x01) {
    if (count != 0) return "end-of-file record carries data";
    endOfFile = true;
  } else if (type != 0x00) {
    return "record type " + Hex2(type) + " is not allowed (only 00 and 01)";
  }
  return std::nullopt;
}

// Checks the whole text; returns the 1-based line and the fault, or nothing.
std::optional<std::pair<int, std::string>> CheckText(const std::string& text) {
  int line = 1;
  bool endOfFile = false;
  std::size_t pos = 0;
  for (; pos < text.size(); ++line) {
    if (endOfFile) return std::pair(line, std::string("line after the end-of-file record"));
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
      if (text[end] == '\0') return std::pair(line, std::string("NUL byte"));
      ++end;
    }
    if (end == text.size()) return std::pair(line, std::string("last line does not end in CR LF"));
    if (text[end] == '\n') return std::pair(line, std::string("line ends in LF without CR"));
    if (end + 1 == text.size() || text[end + 1] != '\n') return std::pair(line, std::string("CR without LF"));
    if (auto fault = CheckRecord(text.substr(pos, end - pos), endOfFile)) return std::pair(line, *fault);
    pos = end + 2;
  }
  if (!endOfFile) return std::pair(std::max(line - 1, 1), std::string("no end-of-file record"));
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s IMAGE_FILE...\n", argv[0]);
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
      status = 1;
      continue;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (auto fault = CheckText(text)) {
      std::fprintf(stderr, "%s:%d: %s\n", argv[i], fault->first, fault->second.c_str());
      status = 1;
    }
  }
  return status;
}
