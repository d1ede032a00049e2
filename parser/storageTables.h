#pragma once
// JSON tables of the storage, endpoints, project and control records.
#include <tuple>

#include "parser/codecEngine.h"
#include "parser/podTables.h"
#include "parser/storageRecords.h"

namespace OpenShiftSDKWrapper {
namespace codec {

WQ_TABLE(SPersistentVolumeSpecInfoLib, F("capacity", &SPersistentVolumeSpecInfoLib::capacity),
         F("gcePersistentDisk", &SPersistentVolumeSpecInfoLib::gcePersistentDisk),
         F("awsElasticBlockStore", &SPersistentVolumeSpecInfoLib::awsElasticBlockStore),
         F("hostPath", &SPersistentVolumeSpecInfoLib::hostPath),
         F("glusterfs", &SPersistentVolumeSpecInfoLib::glusterfs),
         F("nfs", &SPersistentVolumeSpecInfoLib::nfs), F("rbd", &SPersistentVolumeSpecInfoLib::rbd),
         F("iscsi", &SPersistentVolumeSpecInfoLib::iscsi),
         F("cinder", &SPersistentVolumeSpecInfoLib::cinder),
         F("cephfs", &SPersistentVolumeSpecInfoLib::cephfs),
         F("fc", &SPersistentVolumeSpecInfoLib::fc),
         F("flocker", &SPersistentVolumeSpecInfoLib::flocker),
         F("flexVolume", &SPersistentVolumeSpecInfoLib::flexVolume),
         F("azureFile", &SPersistentVolumeSpecInfoLib::azureFile),
         F("vsphereVolume", &SPersistentVolumeSpecInfoLib::vsphereVolume),
         F("quobyte", &SPersistentVolumeSpecInfoLib::quobyte),
         F("azureDisk", &SPersistentVolumeSpecInfoLib::azureDisk),
         F("photonPersistentDisk", &SPersistentVolumeSpecInfoLib::photonPersistentDisk),
         F("portworxVolume", &SPersistentVolumeSpecInfoLib::portworxVolume),
         F("scaleIO", &SPersistentVolumeSpecInfoLib::scaleIO),
         F("accessModes", &SPersistentVolumeSpecInfoLib::accessModes),
         F("claimRef", &SPersistentVolumeSpecInfoLib::claimRef,
           Presence<&SPersistentVolumeSpecInfoLib::hasClaimRef>),
         F("persistentVolumeReclaimPolicy",
           &SPersistentVolumeSpecInfoLib::persistentVolumeReclaimPolicy),
         F("storageClassName", &SPersistentVolumeSpecInfoLib::storageClassName));

WQ_TABLE(SPersistentVolumeStatusInfoLib, F("phase", &SPersistentVolumeStatusInfoLib::phase),
         F("message", &SPersistentVolumeStatusInfoLib::message),
         F("reason", &SPersistentVolumeStatusInfoLib::reason));

WQ_TABLE_OF(SPersistentVolumeInfoLib, ObjectRows<SPersistentVolumeInfoLib>());

WQ_TABLE(SPersistentVolumeClaimSpecInfoLib,
         F("accessModes", &SPersistentVolumeClaimSpecInfoLib::accessModes),
         F("selector", &SPersistentVolumeClaimSpecInfoLib::selector),
         F("resources", &SPersistentVolumeClaimSpecInfoLib::resources),
         F("volumeName", &SPersistentVolumeClaimSpecInfoLib::volumeName),
         F("storageClassName", &SPersistentVolumeClaimSpecInfoLib::storageClassName));

WQ_TABLE(SPersistentVolumeClaimStatusInfoLib,
         F("phase", &SPersistentVolumeClaimStatusInfoLib::phase),
         F("accessModes", &SPersistentVolumeClaimStatusInfoLib::accessModes),
         F("capacity", &SPersistentVolumeClaimStatusInfoLib::capacity));

WQ_TABLE_OF(SPersistentVolumeClaimInfoLib, ObjectRows<SPersistentVolumeClaimInfoLib>());

// A storage class's metadata is read with the list-metadata rows: name,
// selfLink and resourceVersion are all that is kept.
WQ_TABLE(SStorageClassInfoLib, F("metadata", &SStorageClassInfoLib::metadata));

WQ_TABLE(SProjectSpecInfoLib, F("finalizers", &SProjectSpecInfoLib::finalizers));

WQ_TABLE(SProjectStatusInfoLib, F("phase", &SProjectStatusInfoLib::phase));

// A project's kind and apiVersion have no rows: they are never read.
WQ_TABLE(SProjectInfoLib, F("metadata", &SProjectInfoLib::metadata),
         F("spec", &SProjectInfoLib::spec), F("status", &SProjectInfoLib::status));

WQ_TABLE(SEndpointAddressInfoLib, F("ip", &SEndpointAddressInfoLib::ip),
         F("hostname", &SEndpointAddressInfoLib::hostname),
         F("nodeName", &SEndpointAddressInfoLib::nodeName),
         F("targetRef", &SEndpointAddressInfoLib::targetRef));

WQ_TABLE(SEndpointPortInfoLib, F("name", &SEndpointPortInfoLib::name),
         F("port", &SEndpointPortInfoLib::port), F("protocol", &SEndpointPortInfoLib::protocol));

WQ_TABLE(SEndpointSubsetInfoLib, F("addresses", &SEndpointSubsetInfoLib::addresses),
         F("notReadyAddresses", &SEndpointSubsetInfoLib::notReadyAddresses),
         F("ports", &SEndpointSubsetInfoLib::ports));

// Endpoints have a writer only; ParseEndpoints reads these same rows.
WQ_TABLE(SEndpointsInfoLib, F("kind", &SEndpointsInfoLib::kind),
         F("apiVersion", &SEndpointsInfoLib::apiVersion),
         F("metadata", &SEndpointsInfoLib::metadata), F("subsets", &SEndpointsInfoLib::subsets));

// ---- Control bodies: written only ----

WQ_TABLE(SScaleSpecInfoLib, F("replicas", &SScaleSpecInfoLib::replicas));

WQ_TABLE(SScaleStatusInfoLib, F("replicas", &SScaleStatusInfoLib::replicas),
         F("selector", &SScaleStatusInfoLib::selector),
         F("targetSelector", &SScaleStatusInfoLib::targetSelector));

WQ_TABLE_OF(SScaleInfoLib, ObjectRows<SScaleInfoLib>());

WQ_TABLE(SDeleteOptionsInfoLib, F("kind", &SDeleteOptionsInfoLib::kind),
         F("apiVersion", &SDeleteOptionsInfoLib::apiVersion),
         F("gracePeriodSeconds", &SDeleteOptionsInfoLib::gracePeriodSeconds),
         F("propagationPolicy", &SDeleteOptionsInfoLib::propagationPolicy));

}  // namespace codec
}  // namespace OpenShiftSDKWrapper
