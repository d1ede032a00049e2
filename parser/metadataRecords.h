#pragma once
// Records shared by every API object: string maps, object and list metadata,
// owner and object references.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace OpenShiftSDKWrapper {

// One member of a JSON object of strings.
struct SKeyValueInfoLib {
  SKeyValueInfoLib() = default;
  SKeyValueInfoLib(std::string k, std::string v) : key(std::move(k)), value(std::move(v)) {}

  std::string key;
  std::string value;
};

// A JSON object of strings (labels, annotations, selectors, quantities), in the
// order read or added; keys need not be unique.
struct SObjectInfoLib {
  std::vector<SKeyValueInfoLib> keyValues;
};

struct SOwnerReferenceInfoLib {
  std::string apiVersion;
  std::string kind;
  std::string name;
  std::string uid;
  bool controller = false;
  bool blockOwnerDeletion = false;
};

struct SObjectMetaInfoLib {
  std::string name;
  std::string generateName;
  std::string nameSpace;
  std::string selfLink;
  std::string uid;
  std::string resourceVersion;
  int64_t generation = 0;
  std::string creationTimestamp;
  std::string deletionTimestamp;
  int64_t deletionGracePeriodSeconds = 0;
  SObjectInfoLib labels;
  // Whether "labels" was in the JSON read; code that fills labels to send sets it.
  bool hasLabels = false;
  SObjectInfoLib annotations;
  bool hasAnnotations = false;
  std::vector<SOwnerReferenceInfoLib> ownerReferences;
  std::vector<std::string> finalizers;
  std::string clusterName;
};

struct SListMetaInfoLib {
  std::string selfLink;
  std::string resourceVersion;
  std::string name;
};

struct SObjectReferenceInfoLib {
  std::string kind;
  std::string nameSpace;
  std::string name;
  std::string uid;
  std::string apiVersion;
  std::string resourceVersion;
  std::string fieldPath;
};

struct SLocalObjectReferenceInfoLib {
  std::string name;
};

}  // namespace OpenShiftSDKWrapper
