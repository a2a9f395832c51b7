#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace platform::text {
namespace {

// One iconv conversion, opened once per thread that uses it.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::string Run(const std::string& in, bool* failed) {
    if (failed != nullptr) *failed = false;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      if (failed != nullptr) *failed = true;
      return in;
    }
    std::string out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    while (srcLeft > 0) {
      char* dst = buffer.data();
      std::size_t dstLeft = buffer.size();
      const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      const int error = errno;
      out.append(buffer.data(), buffer.size() - dstLeft);
      if (r == static_cast<std::size_t>(-1) && srcLeft > 0 && error != E2BIG) {
        if (failed != nullptr) *failed = true;
        out.push_back('?');
        ++src;
        --srcLeft;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Cp932ToUtf8(const std::string& bytes, bool* failed) {
  thread_local Converter converter("UTF-8", "CP932");
  return converter.Run(bytes, failed);
}

std::string Utf8ToCp932(const std::string& text, bool* failed) {
  thread_local Converter converter("CP932", "UTF-8");
  return converter.Run(text, failed);
}

}  // namespace platform::text
