// The JSON writer on arbitrary bytes: the document is one line of valid JSON whose strings
// decode to valid UTF-8; valid input comes back byte for byte, invalid input as the sanitised
// text (U+FFFD for what was ill-formed).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "report/json.h"
#include "utf8_check.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string clean = lorvane::sanitizeUtf8(text);
  check(fuzz::isValidUtf8(clean));
  if (fuzz::isValidUtf8(text)) check(clean == text);
  check(lorvane::sanitizeUtf8(clean) == clean);

  // The key and the value both carry the input; the array form wraps the same object.
  lorvane::JsonObject object;
  object.members.emplace_back(text, text);
  const std::string doc = lorvane::toJson(lorvane::JsonArray{object});
  check(doc.find('\n') == std::string::npos && doc.find('\r') == std::string::npos);
  check(fuzz::isValidUtf8(doc));

  size_t pos = 0;
  std::string key, value;
  check(doc.substr(0, 2) == "[{");
  pos = 2;
  check(fuzz::decodeJsonString(doc, pos, key));
  check(pos < doc.size() && doc[pos] == ':');
  ++pos;
  check(fuzz::decodeJsonString(doc, pos, value));
  check(doc.substr(pos) == "}]");
  check(key == clean && value == clean);
  // The solidus only ever appears escaped.
  for (size_t i = 0; i < doc.size(); ++i) {
    if (doc[i] == '\\')
      ++i;
    else
      check(doc[i] != '/');
  }
  return 0;
}
