// Text operations on pods.
#include "parser/codecEngine.h"
#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {

bool WQOpenShiftParser::ParsePod(const std::string& text, SPodInfoLib& out) const {
  return codec::ParseResource(text, out);
}

bool WQOpenShiftParser::ParsePodList(const std::string& text, std::vector<SPodInfoLib>& out) const {
  return codec::ParseList(text, out);
}

}  // namespace OpenShiftSDKWrapper
