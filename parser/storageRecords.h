#pragma once
// Persistent volumes and claims, storage classes, projects, endpoints, and the
// scale and delete-options bodies sent with scaling and deletion. Plain values;
// the JSON rules of each record are its table in storageTables.h.
#include <cstdint>
#include <string>
#include <vector>

#include "parser/metadataRecords.h"
#include "parser/podRecords.h"
#include "parser/schedulingRecords.h"
#include "parser/volumeRecords.h"

namespace OpenShiftSDKWrapper {

// The inline sources carry no presence flags: each goes out whenever its own
// writer (and so its guard) lets it. Only the claim reference has one, so that
// a volume read from the cluster can be sent back unbound.
struct SPersistentVolumeSpecInfoLib {
  SObjectInfoLib capacity;
  SGCEPersistentDiskVolumeSourceInfoLib gcePersistentDisk;
  SAWSElasticBlockStoreVolumeSourceInfoLib awsElasticBlockStore;
  SHostPathVolumeSourceInfoLib hostPath;
  SGlusterfsVolumeSourceInfoLib glusterfs;
  SNFSVolumeSourceInfoLib nfs;
  SRBDVolumeSourceInfoLib rbd;
  SISCSIVolumeSourceInfoLib iscsi;
  SCinderVolumeSourceInfoLib cinder;
  SCephFSVolumeSourceInfoLib cephfs;
  SFCVolumeSourceInfoLib fc;
  SFlockerVolumeSourceInfoLib flocker;
  SFlexVolumeSourceInfoLib flexVolume;
  SAzureFileVolumeSourceInfoLib azureFile;
  SVsphereVirtualDiskVolumeSourceInfoLib vsphereVolume;
  SQuobyteVolumeSourceInfoLib quobyte;
  SAzureDiskVolumeSourceInfoLib azureDisk;
  SPhotonPersistentDiskVolumeSourceInfoLib photonPersistentDisk;
  SPortworxVolumeSourceInfoLib portworxVolume;
  SScaleIOVolumeSourceInfoLib scaleIO;
  std::vector<std::string> accessModes;
  SObjectReferenceInfoLib claimRef;
  bool hasClaimRef = false;
  std::string persistentVolumeReclaimPolicy;
  std::string storageClassName;
};

struct SPersistentVolumeStatusInfoLib {
  std::string phase;
  std::string message;
  std::string reason;
};

struct SPersistentVolumeInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  SPersistentVolumeSpecInfoLib spec;
  SPersistentVolumeStatusInfoLib status;
};

struct SPersistentVolumeClaimSpecInfoLib {
  std::vector<std::string> accessModes;
  SLabelSelectorInfoLib selector;
  SResourceRequirementsInfoLib resources;
  std::string volumeName;  // the bound persistent volume
  std::string storageClassName;
};

struct SPersistentVolumeClaimStatusInfoLib {
  std::string phase;
  std::vector<std::string> accessModes;
  SObjectInfoLib capacity;
};

struct SPersistentVolumeClaimInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  SPersistentVolumeClaimSpecInfoLib spec;
  SPersistentVolumeClaimStatusInfoLib status;
};

// Only the name and the list-style metadata of a storage class are kept.
struct SStorageClassInfoLib {
  SListMetaInfoLib metadata;
};

struct SProjectSpecInfoLib {
  std::vector<std::string> finalizers;
};

struct SProjectStatusInfoLib {
  std::string phase;
};

// kind and apiVersion are never read: projects are only listed, never sent.
struct SProjectInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  SProjectSpecInfoLib spec;
  SProjectStatusInfoLib status;
};

struct SEndpointAddressInfoLib {
  std::string ip;  // a storage node's address for the GlusterFS work
  std::string hostname;
  std::string nodeName;
  SObjectReferenceInfoLib targetRef;
};

struct SEndpointPortInfoLib {
  std::string name;
  int port = 0;
  std::string protocol;
};

struct SEndpointSubsetInfoLib {
  std::vector<SEndpointAddressInfoLib> addresses;
  std::vector<SEndpointAddressInfoLib> notReadyAddresses;
  std::vector<SEndpointPortInfoLib> ports;
};

struct SEndpointsInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  std::vector<SEndpointSubsetInfoLib> subsets;
};

struct SScaleSpecInfoLib {
  int replicas = 0;
};

struct SScaleStatusInfoLib {
  int replicas = 0;
  SObjectInfoLib selector;
  std::string targetSelector;
};

struct SScaleInfoLib {
  std::string kind;
  std::string apiVersion;
  SObjectMetaInfoLib metadata;
  SScaleSpecInfoLib spec;
  SScaleStatusInfoLib status;
};

struct SDeleteOptionsInfoLib {
  std::string kind;
  std::string apiVersion;
  int64_t gracePeriodSeconds = 0;
  std::string propagationPolicy;
};

}  // namespace OpenShiftSDKWrapper
