// The facade's text conversions that take data from outside: label maps saved as text,
// capacities as the cluster writes them, and any 64-bit byte count. Tags: 'l' labels,
// 'c' capacity text, 'b' byte count (the next 8 bytes, little-endian, zero-filled).
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "fuzz/fuzzTarget.h"
#include "json/json_spirit.h"
#include "wrapper/openshiftWrapper.h"

namespace {

using OpenShiftSDKWrapper::SObjectInfoLib;
using OpenShiftSDKWrapper::WQOpenShiftSDKWrapper;

// Built once: the facade owns a connection whose set-up is not what is tested here.
WQOpenShiftSDKWrapper& Facade() {
  static WQOpenShiftSDKWrapper facade;
  return facade;
}

// Entries are appended after what the map holds; a refused text leaves the map as it was.
void Labels(const std::string& text) {
  SObjectInfoLib labels;
  labels.keyValues.push_back({"kept", "before"});
  json_spirit::mValue value;
  const bool isObject =
      json_spirit::read_string(text, value) && value.type() == json_spirit::obj_type;
  WQ_FUZZ_CHECK(Facade().UnSerializeLabels(text, labels) == isObject);
  WQ_FUZZ_CHECK(labels.keyValues.front().key == "kept");
  if (!isObject) {
    WQ_FUZZ_CHECK(labels.keyValues.size() == 1);
    return;
  }
  std::size_t texts = 0;
  for (const auto& member : value.get_obj()) {
    if (member.second.type() == json_spirit::str_type) ++texts;
  }
  WQ_FUZZ_CHECK(labels.keyValues.size() == 1 + texts);

  std::string first;
  WQ_FUZZ_CHECK(Facade().SerializeLabels(labels, first));
  SObjectInfoLib reread;
  WQ_FUZZ_CHECK(Facade().UnSerializeLabels(first, reread));
  std::string second;
  WQ_FUZZ_CHECK(Facade().SerializeLabels(reread, second));
  WQ_FUZZ_CHECK(first == second);
}

// The unit only scales what the number in front of it gives unscaled (modulo 2^64, as a
// shift does).
void Capacity(const std::string& text) {
  const std::uint64_t bytes = WQOpenShiftSDKWrapper::ConvertCapacityToBytes(text);
  if (text.size() < 2) {
    WQ_FUZZ_CHECK(bytes == 0);
    return;
  }
  const std::string number = text.substr(0, text.size() - 2);
  const std::uint64_t unscaled = WQOpenShiftSDKWrapper::ConvertCapacityToBytes(number + "xx");
  const std::pair<const char*, unsigned> units[] = {{"Ki", 10}, {"Mi", 20}, {"Gi", 30}, {"Ti", 40}};
  for (const auto& unit : units) {
    const std::uint64_t scaled = WQOpenShiftSDKWrapper::ConvertCapacityToBytes(number + unit.first);
    WQ_FUZZ_CHECK(scaled == unscaled << unit.second);
  }
}

unsigned UnitShift(const std::string& capacity) {
  const std::string unit = capacity.size() >= 2 ? capacity.substr(capacity.size() - 2) : "";
  if (unit == "Ki") return 10;
  if (unit == "Mi") return 20;
  if (unit == "Gi") return 30;
  WQ_FUZZ_CHECK(unit == "Ti");
  return 40;
}

// The text names the largest unit holding at least one, rounds down, and reads back as the
// rounded count.
void ByteCount(const std::string& text) {
  std::uint64_t bytes = 0;
  unsigned char little[8] = {};
  std::memcpy(little, text.data(), text.size() < 8 ? text.size() : 8);
  for (int i = 7; i >= 0; --i) bytes = (bytes << 8) | little[i];

  const std::string capacity = WQOpenShiftSDKWrapper::ConvertBytesToCapacity(bytes);
  const unsigned shift = UnitShift(capacity);
  const std::uint64_t units = bytes >> shift;
  WQ_FUZZ_CHECK(capacity == std::to_string(units) + capacity.substr(capacity.size() - 2));
  WQ_FUZZ_CHECK(units >= 1 || shift == 10);
  WQ_FUZZ_CHECK(units < 1024 || shift == 40);
  WQ_FUZZ_CHECK(WQOpenShiftSDKWrapper::ConvertCapacityToBytes(capacity) == units << shift);
}

using wqfuzz::Operation;
constexpr char kTags[] = "lcb";
constexpr Operation kOperations[] = {Labels, Capacity, ByteCount};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wqfuzz::RunTagged(data, size, kTags, kOperations);
  return 0;
}
