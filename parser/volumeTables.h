#pragma once
// JSON tables of the pod volume and volume source records.
#include "parser/codecEngine.h"
#include "parser/volumeRecords.h"

namespace OpenShiftSDKWrapper {
namespace codec {

// File modes: 0 is what an unset mode reads as, and a file of mode 0 cannot be
// read by the pod, so only a positive mode is sent and the cluster applies its
// default otherwise.

WQ_TABLE(SObjectFieldSelectorInfoLib, F("apiVersion", &SObjectFieldSelectorInfoLib::apiVersion),
         F("fieldPath", &SObjectFieldSelectorInfoLib::fieldPath, Required));

WQ_TABLE(SResourceFieldSelectorInfoLib,
         F("containerName", &SResourceFieldSelectorInfoLib::containerName, Required),
         F("resource", &SResourceFieldSelectorInfoLib::resource),
         F("divisor", &SResourceFieldSelectorInfoLib::divisor));

WQ_TABLE(SKeyToPathInfoLib, F("key", &SKeyToPathInfoLib::key), F("path", &SKeyToPathInfoLib::path),
         F("mode", &SKeyToPathInfoLib::mode, WriteIf<Positive>));

// Secret and config map projections have the same members.
template <class R>
auto ProjectionRows() {
  return std::make_tuple(F("name", &R::name), F("items", &R::items), F("optional", &R::optional));
}
WQ_TABLE_OF(SSecretProjectionInfoLib, ProjectionRows<SSecretProjectionInfoLib>());

WQ_TABLE_OF(SConfigMapProjectionInfoLib, ProjectionRows<SConfigMapProjectionInfoLib>());

WQ_TABLE(SDownwardAPIVolumeFileInfoLib, F("path", &SDownwardAPIVolumeFileInfoLib::path, Required),
         F("fieldRef", &SDownwardAPIVolumeFileInfoLib::fieldRef),
         F("resourceFieldRef", &SDownwardAPIVolumeFileInfoLib::resourceFieldRef),
         F("mode", &SDownwardAPIVolumeFileInfoLib::mode, WriteIf<Positive>));

WQ_TABLE(SDeprecatedDownwardAPIVolumeFileInfoLib,
         F("name", &SDeprecatedDownwardAPIVolumeFileInfoLib::name, Required),
         F("fieldRef", &SDeprecatedDownwardAPIVolumeFileInfoLib::fieldRef),
         F("resourceFieldRef", &SDeprecatedDownwardAPIVolumeFileInfoLib::resourceFieldRef),
         F("mode", &SDeprecatedDownwardAPIVolumeFileInfoLib::mode, WriteIf<Positive>));

WQ_TABLE(SDownwardAPIProjectionInfoLib, F("items", &SDownwardAPIProjectionInfoLib::items));

WQ_TABLE(SVolumeProjectionInfoLib, F("secret", &SVolumeProjectionInfoLib::secret),
         F("downwardAPI", &SVolumeProjectionInfoLib::downwardAPI),
         F("configMap", &SVolumeProjectionInfoLib::configMap));

WQ_TABLE(SHostPathVolumeSourceInfoLib, F("path", &SHostPathVolumeSourceInfoLib::path));

WQ_TABLE(SEmptyDirVolumeSourceInfoLib, F("medium", &SEmptyDirVolumeSourceInfoLib::medium));

WQ_TABLE(SGCEPersistentDiskVolumeSourceInfoLib,
         F("pdName", &SGCEPersistentDiskVolumeSourceInfoLib::pdName, Required),
         F("fsType", &SGCEPersistentDiskVolumeSourceInfoLib::fsType),
         F("partition", &SGCEPersistentDiskVolumeSourceInfoLib::partition),
         F("readOnly", &SGCEPersistentDiskVolumeSourceInfoLib::readOnly));

WQ_TABLE(SAWSElasticBlockStoreVolumeSourceInfoLib,
         F("volumeID", &SAWSElasticBlockStoreVolumeSourceInfoLib::volumeID, Required),
         F("fsType", &SAWSElasticBlockStoreVolumeSourceInfoLib::fsType),
         F("partition", &SAWSElasticBlockStoreVolumeSourceInfoLib::partition),
         F("readOnly", &SAWSElasticBlockStoreVolumeSourceInfoLib::readOnly));

WQ_TABLE(SGitRepoVolumeSourceInfoLib,
         F("repository", &SGitRepoVolumeSourceInfoLib::repository, Required),
         F("revision", &SGitRepoVolumeSourceInfoLib::revision),
         F("directory", &SGitRepoVolumeSourceInfoLib::directory));

WQ_TABLE(SSecretVolumeSourceInfoLib,
         F("secretName", &SSecretVolumeSourceInfoLib::secretName, Required),
         F("items", &SSecretVolumeSourceInfoLib::items),
         F("defaultMode", &SSecretVolumeSourceInfoLib::defaultMode, WriteIf<Positive>),
         F("optional", &SSecretVolumeSourceInfoLib::optional));

WQ_TABLE(SNFSVolumeSourceInfoLib, F("server", &SNFSVolumeSourceInfoLib::server, Required),
         F("path", &SNFSVolumeSourceInfoLib::path),
         F("readOnly", &SNFSVolumeSourceInfoLib::readOnly));

WQ_TABLE(SISCSIVolumeSourceInfoLib,
         F("targetPortal", &SISCSIVolumeSourceInfoLib::targetPortal, Required),
         F("iqn", &SISCSIVolumeSourceInfoLib::iqn), F("lun", &SISCSIVolumeSourceInfoLib::lun),
         F("iscsiInterface", &SISCSIVolumeSourceInfoLib::iscsiInterface),
         F("fsType", &SISCSIVolumeSourceInfoLib::fsType),
         F("readOnly", &SISCSIVolumeSourceInfoLib::readOnly),
         F("portals", &SISCSIVolumeSourceInfoLib::portals),
         F("chapAuthDiscovery", &SISCSIVolumeSourceInfoLib::chapAuthDiscovery),
         F("chapAuthSession", &SISCSIVolumeSourceInfoLib::chapAuthSession),
         F("secretRef", &SISCSIVolumeSourceInfoLib::secretRef));

// snapshotName belongs to the snapshot descriptor and has no member.
WQ_TABLE(SGlusterfsVolumeSourceInfoLib,
         F("endpoints", &SGlusterfsVolumeSourceInfoLib::endpoints, Required),
         F("path", &SGlusterfsVolumeSourceInfoLib::path),
         F("readOnly", &SGlusterfsVolumeSourceInfoLib::readOnly));

WQ_TABLE(SPersistentVolumeClaimVolumeSourceInfoLib,
         F("claimName", &SPersistentVolumeClaimVolumeSourceInfoLib::claimName),
         F("readOnly", &SPersistentVolumeClaimVolumeSourceInfoLib::readOnly));

// The image, not the first member, decides whether an rbd source is written.
WQ_TABLE(SRBDVolumeSourceInfoLib, F("monitors", &SRBDVolumeSourceInfoLib::monitors),
         F("image", &SRBDVolumeSourceInfoLib::image, Required),
         F("fsType", &SRBDVolumeSourceInfoLib::fsType), F("pool", &SRBDVolumeSourceInfoLib::pool),
         F("user", &SRBDVolumeSourceInfoLib::user), F("keyring", &SRBDVolumeSourceInfoLib::keyring),
         F("secretRef", &SRBDVolumeSourceInfoLib::secretRef),
         F("readOnly", &SRBDVolumeSourceInfoLib::readOnly));

WQ_TABLE(SFlexVolumeSourceInfoLib, F("driver", &SFlexVolumeSourceInfoLib::driver, Required),
         F("fsType", &SFlexVolumeSourceInfoLib::fsType),
         F("secretRef", &SFlexVolumeSourceInfoLib::secretRef),
         F("readOnly", &SFlexVolumeSourceInfoLib::readOnly),
         F("options", &SFlexVolumeSourceInfoLib::options));

WQ_TABLE(SCinderVolumeSourceInfoLib, F("volumeID", &SCinderVolumeSourceInfoLib::volumeID, Required),
         F("fsType", &SCinderVolumeSourceInfoLib::fsType),
         F("readOnly", &SCinderVolumeSourceInfoLib::readOnly));

WQ_TABLE(SCephFSVolumeSourceInfoLib, F("monitors", &SCephFSVolumeSourceInfoLib::monitors, Required),
         F("path", &SCephFSVolumeSourceInfoLib::path), F("user", &SCephFSVolumeSourceInfoLib::user),
         F("secretFile", &SCephFSVolumeSourceInfoLib::secretFile),
         F("secretRef", &SCephFSVolumeSourceInfoLib::secretRef),
         F("readOnly", &SCephFSVolumeSourceInfoLib::readOnly));

WQ_TABLE(SFlockerVolumeSourceInfoLib, F("datasetName", &SFlockerVolumeSourceInfoLib::datasetName),
         F("datasetUUID", &SFlockerVolumeSourceInfoLib::datasetUUID));

WQ_TABLE(SDownwardAPIVolumeSourceInfoLib,
         F("items", &SDownwardAPIVolumeSourceInfoLib::items, Required),
         F("defaultMode", &SDownwardAPIVolumeSourceInfoLib::defaultMode, WriteIf<Positive>));

WQ_TABLE(SFCVolumeSourceInfoLib, F("targetWWNs", &SFCVolumeSourceInfoLib::targetWWNs, Required),
         F("lun", &SFCVolumeSourceInfoLib::lun), F("fsType", &SFCVolumeSourceInfoLib::fsType),
         F("readOnly", &SFCVolumeSourceInfoLib::readOnly));

WQ_TABLE(SAzureFileVolumeSourceInfoLib,
         F("secretName", &SAzureFileVolumeSourceInfoLib::secretName, Required),
         F("shareName", &SAzureFileVolumeSourceInfoLib::shareName),
         F("readOnly", &SAzureFileVolumeSourceInfoLib::readOnly));

WQ_TABLE(SConfigMapVolumeSourceInfoLib, F("name", &SConfigMapVolumeSourceInfoLib::name, Required),
         F("items", &SConfigMapVolumeSourceInfoLib::items),
         F("defaultMode", &SConfigMapVolumeSourceInfoLib::defaultMode, WriteIf<Positive>),
         F("optional", &SConfigMapVolumeSourceInfoLib::optional));

WQ_TABLE(SVsphereVirtualDiskVolumeSourceInfoLib,
         F("volumePath", &SVsphereVirtualDiskVolumeSourceInfoLib::volumePath, Required),
         F("fsType", &SVsphereVirtualDiskVolumeSourceInfoLib::fsType));

WQ_TABLE(SQuobyteVolumeSourceInfoLib,
         F("registry", &SQuobyteVolumeSourceInfoLib::registry, Required),
         F("volume", &SQuobyteVolumeSourceInfoLib::volume),
         F("readOnly", &SQuobyteVolumeSourceInfoLib::readOnly),
         F("user", &SQuobyteVolumeSourceInfoLib::user),
         F("group", &SQuobyteVolumeSourceInfoLib::group));

WQ_TABLE(SAzureDiskVolumeSourceInfoLib,
         F("diskName", &SAzureDiskVolumeSourceInfoLib::diskName, Required),
         F("diskURI", &SAzureDiskVolumeSourceInfoLib::diskURI),
         F("cachingMode", &SAzureDiskVolumeSourceInfoLib::cachingMode),
         F("fsType", &SAzureDiskVolumeSourceInfoLib::fsType),
         F("readOnly", &SAzureDiskVolumeSourceInfoLib::readOnly));

WQ_TABLE(SPhotonPersistentDiskVolumeSourceInfoLib,
         F("pdID", &SPhotonPersistentDiskVolumeSourceInfoLib::pdID, Required),
         F("fsType", &SPhotonPersistentDiskVolumeSourceInfoLib::fsType));

WQ_TABLE(SProjectedVolumeSourceInfoLib,
         F("sources", &SProjectedVolumeSourceInfoLib::sources, Required),
         F("defaultMode", &SProjectedVolumeSourceInfoLib::defaultMode, WriteIf<Positive>));

WQ_TABLE(SPortworxVolumeSourceInfoLib,
         F("volumeID", &SPortworxVolumeSourceInfoLib::volumeID, Required),
         F("fsType", &SPortworxVolumeSourceInfoLib::fsType),
         F("readOnly", &SPortworxVolumeSourceInfoLib::readOnly));

WQ_TABLE(SScaleIOVolumeSourceInfoLib, F("gateway", &SScaleIOVolumeSourceInfoLib::gateway, Required),
         F("system", &SScaleIOVolumeSourceInfoLib::system),
         F("secretRef", &SScaleIOVolumeSourceInfoLib::secretRef),
         F("sslEnabled", &SScaleIOVolumeSourceInfoLib::sslEnabled),
         F("protectionDomain", &SScaleIOVolumeSourceInfoLib::protectionDomain),
         F("storagePool", &SScaleIOVolumeSourceInfoLib::storagePool),
         F("storageMode", &SScaleIOVolumeSourceInfoLib::storageMode),
         F("volumeName", &SScaleIOVolumeSourceInfoLib::volumeName),
         F("fsType", &SScaleIOVolumeSourceInfoLib::fsType),
         F("readOnly", &SScaleIOVolumeSourceInfoLib::readOnly));

WQ_TABLE(SDeprecatedDownwardAPIVolumeSourceInfoLib,
         F("items", &SDeprecatedDownwardAPIVolumeSourceInfoLib::items, Required),
         F("defaultMode", &SDeprecatedDownwardAPIVolumeSourceInfoLib::defaultMode,
           WriteIf<Positive>));

// Only the name and the sources: the snapshot descriptor fields stay out of JSON.
WQ_TABLE(SVolumeInfoLib, F("name", &SVolumeInfoLib::name),
         F("hostPath", &SVolumeInfoLib::hostPath, Presence<&SVolumeInfoLib::hasHostPath>),
         F("emptyDir", &SVolumeInfoLib::emptyDir, Presence<&SVolumeInfoLib::hasEmptyDir>),
         F("gcePersistentDisk", &SVolumeInfoLib::gcePersistentDisk,
           Presence<&SVolumeInfoLib::hasGcePersistentDisk>),
         F("awsElasticBlockStore", &SVolumeInfoLib::awsElasticBlockStore,
           Presence<&SVolumeInfoLib::hasAwsElasticBlockStore>),
         F("gitRepo", &SVolumeInfoLib::gitRepo, Presence<&SVolumeInfoLib::hasGitRepo>),
         F("secret", &SVolumeInfoLib::secret, Presence<&SVolumeInfoLib::hasSecret>),
         F("nfs", &SVolumeInfoLib::nfs, Presence<&SVolumeInfoLib::hasNfs>),
         F("iscsi", &SVolumeInfoLib::iscsi, Presence<&SVolumeInfoLib::hasIscsi>),
         F("glusterfs", &SVolumeInfoLib::glusterfs, Presence<&SVolumeInfoLib::hasGlusterfs>),
         F("persistentVolumeClaim", &SVolumeInfoLib::persistentVolumeClaim,
           Presence<&SVolumeInfoLib::hasPersistentVolumeClaim>),
         F("rbd", &SVolumeInfoLib::rbd, Presence<&SVolumeInfoLib::hasRbd>),
         F("flexVolume", &SVolumeInfoLib::flexVolume, Presence<&SVolumeInfoLib::hasFlexVolume>),
         F("cinder", &SVolumeInfoLib::cinder, Presence<&SVolumeInfoLib::hasCinder>),
         F("cephfs", &SVolumeInfoLib::cephfs, Presence<&SVolumeInfoLib::hasCephfs>),
         F("flocker", &SVolumeInfoLib::flocker, Presence<&SVolumeInfoLib::hasFlocker>),
         F("downwardAPI", &SVolumeInfoLib::downwardAPI, Presence<&SVolumeInfoLib::hasDownwardAPI>),
         F("fc", &SVolumeInfoLib::fc, Presence<&SVolumeInfoLib::hasFc>),
         F("azureFile", &SVolumeInfoLib::azureFile, Presence<&SVolumeInfoLib::hasAzureFile>),
         F("configMap", &SVolumeInfoLib::configMap, Presence<&SVolumeInfoLib::hasConfigMap>),
         F("vsphereVolume", &SVolumeInfoLib::vsphereVolume,
           Presence<&SVolumeInfoLib::hasVsphereVolume>),
         F("quobyte", &SVolumeInfoLib::quobyte, Presence<&SVolumeInfoLib::hasQuobyte>),
         F("azureDisk", &SVolumeInfoLib::azureDisk, Presence<&SVolumeInfoLib::hasAzureDisk>),
         F("photonPersistentDisk", &SVolumeInfoLib::photonPersistentDisk,
           Presence<&SVolumeInfoLib::hasPhotonPersistentDisk>),
         F("projected", &SVolumeInfoLib::projected, Presence<&SVolumeInfoLib::hasProjected>),
         F("portworxVolume", &SVolumeInfoLib::portworxVolume,
           Presence<&SVolumeInfoLib::hasPortworxVolume>),
         F("scaleIO", &SVolumeInfoLib::scaleIO, Presence<&SVolumeInfoLib::hasScaleIO>),
         F("metadata", &SVolumeInfoLib::metadata, Presence<&SVolumeInfoLib::hasMetadata>));

}  // namespace codec
}  // namespace OpenShiftSDKWrapper
