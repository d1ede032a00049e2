// Text operations on deployment configs, and their preparation for being sent
// back to the cluster.
#include "parser/codecEngine.h"
#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {

// The record reader leaves kind and apiVersion alone (list items do not carry
// them); a single object takes them from its top level.
bool WQOpenShiftParser::ParseDeploymentConfig(const std::string& text,
                                              SDeploymentConfigInfoLib& out) const {
  json_spirit::mValue doc;
  if (!codec::ReadDocument(text, doc)) return false;
  const json_spirit::mObject& object = doc.get_obj();
  out.kind = WqJson::GetStringValue(object, "kind");
  out.apiVersion = WqJson::GetStringValue(object, "apiVersion");
  ReadRecord(object, out);
  return true;
}

bool WQOpenShiftParser::ParseDeploymentConfigList(
    const std::string& text, std::vector<SDeploymentConfigInfoLib>& out) const {
  return codec::ParseList(text, out);
}

bool WQOpenShiftParser::SerializeDeploymentConfig(SDeploymentConfigInfoLib& in,
                                                  std::string& text) const {
  return codec::SerializeResource(in, text);
}

// The cluster rejects a new object that carries server-set metadata, and the
// status counters describe rollouts of the old object.
bool WQOpenShiftParser::PrepareDeploymentConfig(SDeploymentConfigInfoLib& dc) const {
  SDeploymentConfigStatusInfoLib& status = dc.status;
  status.latestVersion = 0;
  status.observedGeneration = 0;
  status.replicas = 0;
  status.updatedReplicas = 0;
  status.availableReplicas = 0;
  status.unavailableReplicas = 0;
  status.readyReplicas = 0;
  status.conditions.clear();

  SObjectMetaInfoLib& metadata = dc.metadata;
  metadata.resourceVersion.clear();
  metadata.creationTimestamp.clear();
  metadata.nameSpace.clear();
  metadata.selfLink.clear();
  metadata.uid.clear();
  metadata.ownerReferences.clear();
  return true;
}

// An update must name the version it replaces; nothing else is taken from the
// stored object.
bool WQOpenShiftParser::PrepareDeploymentConfig(SDeploymentConfigInfoLib& dc,
                                                const SDeploymentConfigInfoLib& stored) const {
  PrepareDeploymentConfig(dc);
  dc.metadata.resourceVersion = stored.metadata.resourceVersion;
  return true;
}

}  // namespace OpenShiftSDKWrapper
