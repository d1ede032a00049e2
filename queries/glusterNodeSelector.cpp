#include "queries/glusterNodeSelector.h"

#include <cstdlib>
#include <ctime>

namespace OpenShiftSDKWrapper {

GlusterNodeSelector::GlusterNodeSelector(const std::vector<SEndpointAddressInfoLib>& addresses)
    : nodes(addresses) {
  srand(static_cast<unsigned int>(time(nullptr)));
}

GlusterNodeSelector::~GlusterNodeSelector() = default;

bool GlusterNodeSelector::SelectNextNode(std::string& node) {
  if (nodes.empty()) return false;
  const size_t index = static_cast<size_t>(rand()) % nodes.size();
  node = nodes[index].ip;
  nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

}  // namespace OpenShiftSDKWrapper
