// read_string over arbitrary bytes: it must refuse or accept without crashing, and whatever it
// accepts must be written as text that reads back to an equal value, compact and indented
// alike, with a second write identical to the first.
#include <string>

#include "fuzz/fuzzTarget.h"
#include "json/json_spirit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  json_spirit::mValue value;
  if (!json_spirit::read_string(text, value)) {
    WQ_FUZZ_CHECK(value.is_null());
    return 0;
  }

  const std::string written = json_spirit::write_string(value);
  json_spirit::mValue again;
  WQ_FUZZ_CHECK(json_spirit::read_string(written, again));
  WQ_FUZZ_CHECK(again == value);
  WQ_FUZZ_CHECK(json_spirit::write_string(again) == written);

  json_spirit::mValue indented;
  WQ_FUZZ_CHECK(json_spirit::read_string(json_spirit::write_formatted(value), indented));
  WQ_FUZZ_CHECK(indented == value);
  return 0;
}
