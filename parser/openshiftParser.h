#pragma once
// The JSON codec: reads the cluster's API objects into records, writes records
// as JSON, and prepares records read from the cluster for being sent back.
#include <string>
#include <vector>

#include "json/json_spirit.h"
#include "parser/deploymentConfigRecords.h"
#include "parser/metadataRecords.h"
#include "parser/podRecords.h"
#include "parser/schedulingRecords.h"
#include "parser/storageRecords.h"
#include "parser/volumeRecords.h"

namespace OpenShiftSDKWrapper {

// Named by the text operations below.
struct SPodInfoLib;
struct SDeploymentConfigInfoLib;
struct SProjectInfoLib;
struct SStorageClassInfoLib;
struct SPersistentVolumeInfoLib;
struct SPersistentVolumeClaimInfoLib;
struct SEndpointsInfoLib;
struct SScaleInfoLib;
struct SDeleteOptionsInfoLib;

// Every record's reader and writer, defined from its table in parser/codec*.cpp.
// They are found by argument-dependent lookup from the engine's templates.
#define WQ_CODEC_DECLARE_ReadOnly(R) void ReadRecord(const json_spirit::mObject& in, R& out);
#define WQ_CODEC_DECLARE_WriteOnly(R) bool WriteRecord(const R& in, json_spirit::mObject& out);
#define WQ_CODEC_DECLARE_ReadWrite(R) WQ_CODEC_DECLARE_ReadOnly(R) WQ_CODEC_DECLARE_WriteOnly(R)
#define WQ_RECORD(R, Direction) WQ_CODEC_DECLARE_##Direction(R)
#include "parser/recordsCore.def"
#include "parser/recordsWorkload.def"
#undef WQ_RECORD

#define WQ_PARSER_CONVERT_ReadOnly(R)                          \
  bool Convert(const json_spirit::mObject& in, R& out) const { \
    ReadRecord(in, out);                                       \
    return true;                                               \
  }
#define WQ_PARSER_CONVERT_WriteOnly(R)                                                  \
  bool Convert(R& in, json_spirit::mObject& out) const { return WriteRecord(in, out); } \
  bool Convert(const R& in, json_spirit::mObject& out) const { return WriteRecord(in, out); }
#define WQ_PARSER_CONVERT_ReadWrite(R) WQ_PARSER_CONVERT_ReadOnly(R) WQ_PARSER_CONVERT_WriteOnly(R)

// Stateless: any number of instances may be used from any thread.
class WQOpenShiftParser {
 public:
  WQOpenShiftParser() {}
  ~WQOpenShiftParser() {}

  // Readers always return true; writers return true when they added a member.
#define WQ_RECORD(R, Direction) WQ_PARSER_CONVERT_##Direction(R)
#include "parser/recordsCore.def"
#include "parser/recordsWorkload.def"
#undef WQ_RECORD

  // Scalar writers. A text is set only when non-empty; the others always.
  bool Convert(const std::string& key, const std::string& value, json_spirit::mObject& out) const;
  bool Convert(const std::string& key, int value, json_spirit::mObject& out) const;
  bool Convert(const std::string& key, bool value, json_spirit::mObject& out) const;
  bool Convert(const std::string& key, long value, json_spirit::mObject& out) const;
  // Keeps a string literal from being taken for a bool.
  bool Convert(const std::string& key, const char* value, json_spirit::mObject& out) const;

  // String maps: members appended in the object's order; entries with an empty
  // value are not written.
  bool Convert(const json_spirit::mObject& in, SObjectInfoLib& out) const;
  bool Convert(const SObjectInfoLib& in, json_spirit::mObject& out) const;

  bool ParseObjectInfo(const std::string& text, SObjectInfoLib& out) const;
  bool SerializeObjectInfo(const SObjectInfoLib& in, std::string& text) const;

  // Pods.
  bool ParsePod(const std::string& text, SPodInfoLib& out) const;
  bool ParsePodList(const std::string& text, std::vector<SPodInfoLib>& out) const;

  // Deployment configs.
  bool ParseDeploymentConfig(const std::string& text, SDeploymentConfigInfoLib& out) const;
  bool ParseDeploymentConfigList(const std::string& text,
                                 std::vector<SDeploymentConfigInfoLib>& out) const;
  bool SerializeDeploymentConfig(SDeploymentConfigInfoLib& in, std::string& text) const;
  bool PrepareDeploymentConfig(SDeploymentConfigInfoLib& dc) const;
  bool PrepareDeploymentConfig(SDeploymentConfigInfoLib& dc,
                               const SDeploymentConfigInfoLib& stored) const;

  // Storage, endpoints, projects and control bodies.
  bool ParseProjectList(const std::string& text, std::vector<SProjectInfoLib>& out) const;
  bool ParseStorageClassList(const std::string& text, std::vector<SStorageClassInfoLib>& out) const;
  bool ParsePersistentVolume(const std::string& text, SPersistentVolumeInfoLib& out) const;
  bool ParsePersistentVolumeClaim(const std::string& text,
                                  SPersistentVolumeClaimInfoLib& out) const;
  bool ParsePersistentVolumeClaimList(const std::string& text,
                                      std::vector<SPersistentVolumeClaimInfoLib>& out) const;
  bool ParseEndpoints(const std::string& text, SEndpointsInfoLib& out) const;
  bool SerializePersistentVolume(SPersistentVolumeInfoLib& in, std::string& text) const;
  bool SerializePersistentVolumeClaim(SPersistentVolumeClaimInfoLib& in, std::string& text) const;
  bool SerializeEndpoints(SEndpointsInfoLib& in, std::string& text) const;
  bool SerializeScale(SScaleInfoLib& in, std::string& text) const;
  bool SerializeDeleteOptions(SDeleteOptionsInfoLib& in, std::string& text) const;
  bool PreparePersistentVolume(SPersistentVolumeInfoLib& pv) const;
  bool PreparePersistentVolumeClaim(SPersistentVolumeClaimInfoLib& pvc) const;
  bool PrepareEndpoints(SEndpointsInfoLib& endpoints) const;
  bool PrepareSecret(const std::string& nameSpace, std::string& text) const;
  bool PrepareConfigMap(const std::string& nameSpace, std::string& text) const;
};

}  // namespace OpenShiftSDKWrapper
