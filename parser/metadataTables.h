#pragma once
// JSON tables of the metadata and reference records.
#include "parser/codecEngine.h"
#include "parser/metadataRecords.h"

namespace OpenShiftSDKWrapper {
namespace codec {

WQ_TABLE(SObjectMetaInfoLib, F("name", &SObjectMetaInfoLib::name),
         F("generateName", &SObjectMetaInfoLib::generateName),
         F("namespace", &SObjectMetaInfoLib::nameSpace),
         F("selfLink", &SObjectMetaInfoLib::selfLink), F("uid", &SObjectMetaInfoLib::uid),
         F("resourceVersion", &SObjectMetaInfoLib::resourceVersion),
         F("generation", &SObjectMetaInfoLib::generation),
         F("creationTimestamp", &SObjectMetaInfoLib::creationTimestamp),
         F("deletionTimestamp", &SObjectMetaInfoLib::deletionTimestamp),
         F("deletionGracePeriodSeconds", &SObjectMetaInfoLib::deletionGracePeriodSeconds,
           WriteIf<Positive>),
         F("labels", &SObjectMetaInfoLib::labels, Presence<&SObjectMetaInfoLib::hasLabels>),
         F("annotations", &SObjectMetaInfoLib::annotations,
           Presence<&SObjectMetaInfoLib::hasAnnotations>),
         F("ownerReferences", &SObjectMetaInfoLib::ownerReferences),
         F("finalizers", &SObjectMetaInfoLib::finalizers),
         F("clusterName", &SObjectMetaInfoLib::clusterName));

WQ_TABLE(SListMetaInfoLib, F("selfLink", &SListMetaInfoLib::selfLink),
         F("resourceVersion", &SListMetaInfoLib::resourceVersion),
         F("name", &SListMetaInfoLib::name));

// An owner's kind and version are read too: the cluster refuses an owner
// reference without them, so one read and sent back must keep them.
WQ_TABLE(SOwnerReferenceInfoLib, F("apiVersion", &SOwnerReferenceInfoLib::apiVersion),
         F("kind", &SOwnerReferenceInfoLib::kind), F("name", &SOwnerReferenceInfoLib::name),
         F("uid", &SOwnerReferenceInfoLib::uid),
         F("controller", &SOwnerReferenceInfoLib::controller),
         F("blockOwnerDeletion", &SOwnerReferenceInfoLib::blockOwnerDeletion));

WQ_TABLE(SObjectReferenceInfoLib, F("kind", &SObjectReferenceInfoLib::kind),
         F("namespace", &SObjectReferenceInfoLib::nameSpace),
         F("name", &SObjectReferenceInfoLib::name), F("uid", &SObjectReferenceInfoLib::uid),
         F("apiVersion", &SObjectReferenceInfoLib::apiVersion),
         F("resourceVersion", &SObjectReferenceInfoLib::resourceVersion),
         F("fieldPath", &SObjectReferenceInfoLib::fieldPath));

WQ_TABLE(SLocalObjectReferenceInfoLib, F("name", &SLocalObjectReferenceInfoLib::name));

}  // namespace codec
}  // namespace OpenShiftSDKWrapper
