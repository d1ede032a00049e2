#pragma once
// Pod volumes and every kind of volume source. SVolumeInfoLib doubles as the
// descriptor of a volume snapshot, whose fields carry no JSON member.
#include <string>
#include <vector>

#include "parser/metadataRecords.h"

namespace OpenShiftSDKWrapper {

struct SObjectFieldSelectorInfoLib {
  std::string apiVersion;
  std::string fieldPath;
};

struct SResourceFieldSelectorInfoLib {
  std::string containerName;
  std::string resource;
  std::string divisor;
};

struct SKeyToPathInfoLib {
  std::string key;
  std::string path;
  int mode = 0;
};

struct SSecretProjectionInfoLib {
  std::string name;
  std::vector<SKeyToPathInfoLib> items;
  bool optional = false;
};

struct SConfigMapProjectionInfoLib {
  std::string name;
  std::vector<SKeyToPathInfoLib> items;
  bool optional = false;
};

struct SDownwardAPIVolumeFileInfoLib {
  std::string path;
  SObjectFieldSelectorInfoLib fieldRef;
  SResourceFieldSelectorInfoLib resourceFieldRef;
  int mode = 0;
};

struct SDeprecatedDownwardAPIVolumeFileInfoLib {
  std::string name;
  SObjectFieldSelectorInfoLib fieldRef;
  SResourceFieldSelectorInfoLib resourceFieldRef;
  int mode = 0;
};

struct SDownwardAPIProjectionInfoLib {
  std::vector<SDownwardAPIVolumeFileInfoLib> items;
};

struct SVolumeProjectionInfoLib {
  SSecretProjectionInfoLib secret;
  SDownwardAPIProjectionInfoLib downwardAPI;
  SConfigMapProjectionInfoLib configMap;
};

struct SHostPathVolumeSourceInfoLib {
  std::string path;
};

struct SEmptyDirVolumeSourceInfoLib {
  std::string medium;
};

struct SGCEPersistentDiskVolumeSourceInfoLib {
  std::string pdName;
  std::string fsType;
  int partition = 0;
  bool readOnly = false;
};

struct SAWSElasticBlockStoreVolumeSourceInfoLib {
  std::string volumeID;
  std::string fsType;
  int partition = 0;
  bool readOnly = false;
};

struct SGitRepoVolumeSourceInfoLib {
  std::string repository;
  std::string revision;
  std::string directory;
};

struct SSecretVolumeSourceInfoLib {
  std::string secretName;
  std::vector<SKeyToPathInfoLib> items;
  int defaultMode = 0;
  bool optional = false;
};

struct SNFSVolumeSourceInfoLib {
  std::string server;
  std::string path;
  bool readOnly = false;
};

struct SISCSIVolumeSourceInfoLib {
  std::string targetPortal;
  std::string iqn;
  int lun = 0;
  std::string iscsiInterface;
  std::string fsType;
  bool readOnly = false;
  std::vector<std::string> portals;
  bool chapAuthDiscovery = false;
  bool chapAuthSession = false;
  SLocalObjectReferenceInfoLib secretRef;
};

struct SGlusterfsVolumeSourceInfoLib {
  std::string endpoints;
  std::string path;
  // Name of the snapshot made of this volume; never in JSON.
  std::string snapshotName;
  bool readOnly = false;
};

struct SPersistentVolumeClaimVolumeSourceInfoLib {
  std::string claimName;
  bool readOnly = false;
};

struct SRBDVolumeSourceInfoLib {
  std::vector<std::string> monitors;
  std::string image;
  std::string fsType;
  std::string pool;
  std::string user;
  std::string keyring;
  SLocalObjectReferenceInfoLib secretRef;
  bool readOnly = false;
};

struct SFlexVolumeSourceInfoLib {
  std::string driver;
  std::string fsType;
  SLocalObjectReferenceInfoLib secretRef;
  bool readOnly = false;
  SObjectInfoLib options;
};

struct SCinderVolumeSourceInfoLib {
  std::string volumeID;
  std::string fsType;
  bool readOnly = false;
};

struct SCephFSVolumeSourceInfoLib {
  std::vector<std::string> monitors;
  std::string path;
  std::string user;
  std::string secretFile;
  SLocalObjectReferenceInfoLib secretRef;
  bool readOnly = false;
};

struct SFlockerVolumeSourceInfoLib {
  std::string datasetName;
  std::string datasetUUID;
};

struct SDownwardAPIVolumeSourceInfoLib {
  std::vector<SDownwardAPIVolumeFileInfoLib> items;
  int defaultMode = 0;
};

struct SFCVolumeSourceInfoLib {
  std::vector<std::string> targetWWNs;
  int lun = 0;
  std::string fsType;
  bool readOnly = false;
};

struct SAzureFileVolumeSourceInfoLib {
  std::string secretName;
  std::string shareName;
  bool readOnly = false;
};

struct SConfigMapVolumeSourceInfoLib {
  std::string name;
  std::vector<SKeyToPathInfoLib> items;
  int defaultMode = 0;
  bool optional = false;
};

struct SVsphereVirtualDiskVolumeSourceInfoLib {
  std::string volumePath;
  std::string fsType;
};

struct SQuobyteVolumeSourceInfoLib {
  std::string registry;
  std::string volume;
  bool readOnly = false;
  std::string user;
  std::string group;
};

struct SAzureDiskVolumeSourceInfoLib {
  std::string diskName;
  std::string diskURI;
  std::string cachingMode;
  std::string fsType;
  bool readOnly = false;
};

struct SPhotonPersistentDiskVolumeSourceInfoLib {
  std::string pdID;
  std::string fsType;
};

struct SProjectedVolumeSourceInfoLib {
  std::vector<SVolumeProjectionInfoLib> sources;
  int defaultMode = 0;
};

struct SPortworxVolumeSourceInfoLib {
  std::string volumeID;
  std::string fsType;
  bool readOnly = false;
};

struct SScaleIOVolumeSourceInfoLib {
  std::string gateway;
  std::string system;
  SLocalObjectReferenceInfoLib secretRef;
  bool sslEnabled = false;
  std::string protectionDomain;
  std::string storagePool;
  std::string storageMode;
  std::string volumeName;
  std::string fsType;
  bool readOnly = false;
};

struct SDeprecatedDownwardAPIVolumeSourceInfoLib {
  std::vector<SDeprecatedDownwardAPIVolumeFileInfoLib> items;
  int defaultMode = 0;
};

struct SVolumeInfoLib {
  std::string name;
  // Snapshot descriptor (no JSON member): the pod volume the descriptor was made
  // from, the claim's storage class, capacity, access modes and selector labels,
  // the bound persistent volume, and 1 once the snapshot is created and mounted.
  std::string podVolumeName;
  std::string storageClassName;
  std::string capacity;
  std::vector<std::string> accessModes;
  SObjectInfoLib matchLabels;
  std::string persistentVolumeName;
  int snapshotState = 0;

  // The sources, each followed by whether its member was present.
  SHostPathVolumeSourceInfoLib hostPath;
  bool hasHostPath = false;
  SEmptyDirVolumeSourceInfoLib emptyDir;
  bool hasEmptyDir = false;
  SGCEPersistentDiskVolumeSourceInfoLib gcePersistentDisk;
  bool hasGcePersistentDisk = false;
  SAWSElasticBlockStoreVolumeSourceInfoLib awsElasticBlockStore;
  bool hasAwsElasticBlockStore = false;
  SGitRepoVolumeSourceInfoLib gitRepo;
  bool hasGitRepo = false;
  SSecretVolumeSourceInfoLib secret;
  bool hasSecret = false;
  SNFSVolumeSourceInfoLib nfs;
  bool hasNfs = false;
  SISCSIVolumeSourceInfoLib iscsi;
  bool hasIscsi = false;
  SGlusterfsVolumeSourceInfoLib glusterfs;
  bool hasGlusterfs = false;
  SPersistentVolumeClaimVolumeSourceInfoLib persistentVolumeClaim;
  bool hasPersistentVolumeClaim = false;
  SRBDVolumeSourceInfoLib rbd;
  bool hasRbd = false;
  SFlexVolumeSourceInfoLib flexVolume;
  bool hasFlexVolume = false;
  SCinderVolumeSourceInfoLib cinder;
  bool hasCinder = false;
  SCephFSVolumeSourceInfoLib cephfs;
  bool hasCephfs = false;
  SFlockerVolumeSourceInfoLib flocker;
  bool hasFlocker = false;
  SDownwardAPIVolumeSourceInfoLib downwardAPI;
  bool hasDownwardAPI = false;
  SFCVolumeSourceInfoLib fc;
  bool hasFc = false;
  SAzureFileVolumeSourceInfoLib azureFile;
  bool hasAzureFile = false;
  SConfigMapVolumeSourceInfoLib configMap;
  bool hasConfigMap = false;
  SVsphereVirtualDiskVolumeSourceInfoLib vsphereVolume;
  bool hasVsphereVolume = false;
  SQuobyteVolumeSourceInfoLib quobyte;
  bool hasQuobyte = false;
  SAzureDiskVolumeSourceInfoLib azureDisk;
  bool hasAzureDisk = false;
  SPhotonPersistentDiskVolumeSourceInfoLib photonPersistentDisk;
  bool hasPhotonPersistentDisk = false;
  SProjectedVolumeSourceInfoLib projected;
  bool hasProjected = false;
  SPortworxVolumeSourceInfoLib portworxVolume;
  bool hasPortworxVolume = false;
  SScaleIOVolumeSourceInfoLib scaleIO;
  bool hasScaleIO = false;
  SDeprecatedDownwardAPIVolumeSourceInfoLib metadata;
  bool hasMetadata = false;
};

}  // namespace OpenShiftSDKWrapper
