// Text operations on persistent volumes and claims, storage classes, projects,
// endpoints and the control bodies; preparation of records, secrets and config
// maps for being sent back to the cluster.
#include "host/wqJson.h"
#include "parser/codecEngine.h"
#include "parser/openshiftParser.h"
#include "parser/storageTables.h"

namespace OpenShiftSDKWrapper {

bool WQOpenShiftParser::ParseProjectList(const std::string& text,
                                         std::vector<SProjectInfoLib>& out) const {
  return codec::ParseList(text, out);
}

bool WQOpenShiftParser::ParseStorageClassList(const std::string& text,
                                              std::vector<SStorageClassInfoLib>& out) const {
  return codec::ParseList(text, out);
}

bool WQOpenShiftParser::ParsePersistentVolume(const std::string& text,
                                              SPersistentVolumeInfoLib& out) const {
  return codec::ParseResource(text, out);
}

bool WQOpenShiftParser::ParsePersistentVolumeClaim(const std::string& text,
                                                   SPersistentVolumeClaimInfoLib& out) const {
  return codec::ParseResource(text, out);
}

bool WQOpenShiftParser::ParsePersistentVolumeClaimList(
    const std::string& text, std::vector<SPersistentVolumeClaimInfoLib>& out) const {
  return codec::ParseList(text, out);
}

// Endpoints have no public reader; the document is read with their table.
bool WQOpenShiftParser::ParseEndpoints(const std::string& text, SEndpointsInfoLib& out) const {
  json_spirit::mValue doc;
  if (!codec::ReadDocument(text, doc)) return false;
  codec::ReadTable(doc.get_obj(), out);
  return true;
}

bool WQOpenShiftParser::SerializePersistentVolume(SPersistentVolumeInfoLib& in,
                                                  std::string& text) const {
  return codec::SerializeResource(in, text);
}

bool WQOpenShiftParser::SerializePersistentVolumeClaim(SPersistentVolumeClaimInfoLib& in,
                                                       std::string& text) const {
  return codec::SerializeResource(in, text);
}

bool WQOpenShiftParser::SerializeEndpoints(SEndpointsInfoLib& in, std::string& text) const {
  return codec::SerializeResource(in, text);
}

bool WQOpenShiftParser::SerializeScale(SScaleInfoLib& in, std::string& text) const {
  return codec::SerializeResource(in, text);
}

bool WQOpenShiftParser::SerializeDeleteOptions(SDeleteOptionsInfoLib& in, std::string& text) const {
  return codec::SerializeResource(in, text);
}

// The same volume is created again or updated: the version and creation time
// belong to the old object, and the claim it was bound to is rebound by the
// cluster.
bool WQOpenShiftParser::PreparePersistentVolume(SPersistentVolumeInfoLib& pv) const {
  pv.metadata.resourceVersion.clear();
  pv.metadata.creationTimestamp.clear();
  pv.spec.hasClaimRef = false;
  return true;
}

// A restored claim binds afresh: no volume name, and no labels or annotations
// that record the old binding (the records keep them, only sending is off).
bool WQOpenShiftParser::PreparePersistentVolumeClaim(SPersistentVolumeClaimInfoLib& pvc) const {
  SObjectMetaInfoLib& metadata = pvc.metadata;
  metadata.hasLabels = false;
  metadata.hasAnnotations = false;
  metadata.resourceVersion.clear();
  metadata.creationTimestamp.clear();
  metadata.selfLink.clear();
  metadata.ownerReferences.clear();
  metadata.finalizers.clear();
  pvc.spec.volumeName.clear();
  return true;
}

bool WQOpenShiftParser::PrepareEndpoints(SEndpointsInfoLib& endpoints) const {
  endpoints.metadata.resourceVersion.clear();
  endpoints.metadata.creationTimestamp.clear();
  return true;
}

namespace {

// Secrets and config maps are re-created from their saved text: the metadata
// keeps only the name, in the target namespace; data and type go as saved.
bool RenameIntoNamespace(const std::string& nameSpace, std::string& text) {
  json_spirit::mObject object;
  if (!WqJson::Unserialize(text, object)) return false;
  const json_spirit::mObject* oldMetadata = WqJson::FindObject(object, "metadata");
  if (oldMetadata == nullptr) return false;
  json_spirit::mObject metadata;
  metadata["name"] = WqJson::GetStringValue(*oldMetadata, "name");
  metadata["namespace"] = nameSpace;
  object["metadata"] = std::move(metadata);
  text = WqJson::Serialize(object);
  return true;
}

}  // namespace

bool WQOpenShiftParser::PrepareSecret(const std::string& nameSpace, std::string& text) const {
  return RenameIntoNamespace(nameSpace, text);
}

bool WQOpenShiftParser::PrepareConfigMap(const std::string& nameSpace, std::string& text) const {
  return RenameIntoNamespace(nameSpace, text);
}

}  // namespace OpenShiftSDKWrapper
