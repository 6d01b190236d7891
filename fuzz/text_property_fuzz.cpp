// The X11 text-property decoders on arbitrary bytes: whatever a client stored, the text is
// valid UTF-8, plain ASCII comes through unchanged in every encoding, and a cut property never
// ends in a replacement character made by the cut.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "utf8_check.h"
#include "windows/text_property.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte: encoding and whether the property was cut; the rest is the property.
  const auto encoding = static_cast<lorvane::TextEncoding>(data[0] % 3);
  const bool cut = (data[0] & 0x80) != 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string text = lorvane::decodeText(bytes, encoding, cut);
  check(fuzz::isValidUtf8(text));

  bool ascii = true;
  for (unsigned char c : bytes) ascii = ascii && c >= 0x20 && c < 0x7F;
  if (ascii && !cut) check(text == bytes);
  return 0;
}
