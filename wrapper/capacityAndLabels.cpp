// Storage quantities in binary units, and label maps as JSON text.
#include <cstdint>
#include <sstream>
#include <string>

#include "parser/openshiftParser.h"
#include "wrapper/openshiftWrapper.h"

namespace OpenShiftSDKWrapper {

namespace {

struct BinaryUnit {
  const char* suffix;
  unsigned shift;
};

// Largest first, so the conversion to text can take the first unit that fits.
constexpr BinaryUnit kUnits[] = {{"Ti", 40}, {"Gi", 30}, {"Mi", 20}, {"Ki", 10}};

}  // namespace

uint64_t WQOpenShiftSDKWrapper::ConvertCapacityToBytes(const std::string& capacity) {
  // The unit is always taken to be the last two characters; a text too short to hold a
  // unit has no number in front of it.
  if (capacity.size() < 2) return 0;
  const std::string number = capacity.substr(0, capacity.size() - 2);
  const std::string unit = capacity.substr(capacity.size() - 2);

  uint64_t value = 0;
  std::istringstream in(number);
  if (!(in >> value)) value = 0;
  for (const BinaryUnit& u : kUnits) {
    if (unit == u.suffix) return value << u.shift;
  }
  return value;
}

std::string WQOpenShiftSDKWrapper::ConvertBytesToCapacity(uint64_t bytes) {
  for (const BinaryUnit& u : kUnits) {
    if (u.shift == 10 || bytes >= (uint64_t{1} << u.shift)) {
      return std::to_string(bytes >> u.shift) + u.suffix;
    }
  }
  return std::string();  // not reached: the last unit always fits
}

bool WQOpenShiftSDKWrapper::SerializeLabels(const SObjectInfoLib& labels, std::string& text) {
  return parser->SerializeObjectInfo(labels, text);
}

bool WQOpenShiftSDKWrapper::UnSerializeLabels(const std::string& text, SObjectInfoLib& labels) {
  return parser->ParseObjectInfo(text, labels);
}

}  // namespace OpenShiftSDKWrapper
