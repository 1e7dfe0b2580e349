#include "server/replies/cp949.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

std::string Utf8ToCp949(std::string_view utf8) {
  // iconv descriptors are not shareable between threads; one per call is cheap enough here.
  iconv_t cd = iconv_open("CP949", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::string ascii;
    for (char c : utf8) ascii.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
    return ascii;
  }
  std::string out;
  std::vector<char> buffer(utf8.size() * 2 + 16);
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  while (inLeft > 0) {
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    out.append(buffer.data(), buffer.size() - dstLeft);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip one input byte, then the rest of a broken UTF-8 sequence.
    out.push_back('?');
    ++in;
    --inLeft;
    while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}
