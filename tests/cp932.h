// Test helper: the code page 932 bytes of a UTF-8 text, to compare with what the program shows.
#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>

inline std::string Cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 converter");
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not convertible to CP932: " + utf8);
  out.resize(out.size() - outLeft);
  return out;
}
