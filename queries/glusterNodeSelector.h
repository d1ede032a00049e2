#pragma once
// Random order, without repetition, in which the storage nodes of a persistent volume are
// tried by a multi-node GlusterFS attempt.
#include <string>
#include <vector>

#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {

class GlusterNodeSelector {
 public:
  // Copies the addresses and reseeds the process-wide rand() generator with the current
  // time in seconds (so two selectors made within one second draw the same sequence).
  explicit GlusterNodeSelector(const std::vector<SEndpointAddressInfoLib>& addresses);
  ~GlusterNodeSelector();
  GlusterNodeSelector(const GlusterNodeSelector&) = delete;
  GlusterNodeSelector& operator=(const GlusterNodeSelector&) = delete;

  // Sets `node` to the `ip` of a remaining address picked at random and drops that
  // address; false, with `node` untouched, once every address has been given.
  bool SelectNextNode(std::string& node);

 private:
  std::vector<SEndpointAddressInfoLib> nodes;
};

}  // namespace OpenShiftSDKWrapper
