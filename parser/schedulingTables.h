#pragma once
// JSON tables of the scheduling and security records.
#include "parser/codecEngine.h"
#include "parser/schedulingRecords.h"

namespace OpenShiftSDKWrapper {
namespace codec {

WQ_TABLE(SAffinityInfoLib, F("nodeAffinity", &SAffinityInfoLib::nodeAffinity),
         F("podAffinity", &SAffinityInfoLib::podAffinity),
         F("podAntiAffinity", &SAffinityInfoLib::podAntiAffinity));

WQ_TABLE(SNodeAffinityInfoLib,
         F("requiredDuringSchedulingIgnoredDuringExecution",
           &SNodeAffinityInfoLib::requiredDuringSchedulingIgnoredDuringExecution),
         F("preferredDuringSchedulingIgnoredDuringExecution",
           &SNodeAffinityInfoLib::preferredDuringSchedulingIgnoredDuringExecution));

WQ_TABLE(SNodeSelectorInfoLib, F("nodeSelectorTerms", &SNodeSelectorInfoLib::nodeSelectorTerms));

WQ_TABLE(SNodeSelectorTermInfoLib,
         F("matchExpressions", &SNodeSelectorTermInfoLib::matchExpressions));

// Node and label selector requirements have the same members.
template <class R>
auto RequirementRows() {
  return std::make_tuple(F("key", &R::key), F("operator", &R::operatorName),
                         F("values", &R::values));
}
WQ_TABLE_OF(SNodeSelectorRequirementInfoLib, RequirementRows<SNodeSelectorRequirementInfoLib>());

WQ_TABLE(SPreferredSchedulingTermInfoLib, F("weight", &SPreferredSchedulingTermInfoLib::weight),
         F("preference", &SPreferredSchedulingTermInfoLib::preference));

// Pod affinity and anti-affinity have the same members.
template <class R>
auto PodAffinityRows() {
  return std::make_tuple(F("requiredDuringSchedulingIgnoredDuringExecution",
                           &R::requiredDuringSchedulingIgnoredDuringExecution),
                         F("preferredDuringSchedulingIgnoredDuringExecution",
                           &R::preferredDuringSchedulingIgnoredDuringExecution));
}
WQ_TABLE_OF(SPodAffinityInfoLib, PodAffinityRows<SPodAffinityInfoLib>());

WQ_TABLE_OF(SPodAntiAffinityInfoLib, PodAffinityRows<SPodAntiAffinityInfoLib>());

WQ_TABLE(SWeightedPodAffinityTermInfoLib, F("weight", &SWeightedPodAffinityTermInfoLib::weight),
         F("podAffinityTerm", &SWeightedPodAffinityTermInfoLib::podAffinityTerm));

WQ_TABLE(SPodAffinityTermInfoLib, F("labelSelector", &SPodAffinityTermInfoLib::labelSelector),
         F("namespaces", &SPodAffinityTermInfoLib::namespaces),
         F("topologyKey", &SPodAffinityTermInfoLib::topologyKey));

WQ_TABLE(SLabelSelectorInfoLib, F("matchLabels", &SLabelSelectorInfoLib::matchLabels),
         F("matchExpressions", &SLabelSelectorInfoLib::matchExpressions));

WQ_TABLE_OF(SLabelSelectorRequirementInfoLib, RequirementRows<SLabelSelectorRequirementInfoLib>());

// A toleration of 0 seconds would evict the pod at once, and the cluster treats
// an absent value as "tolerate for ever": only a positive duration is sent.
WQ_TABLE(STolerationInfoLib, F("key", &STolerationInfoLib::key),
         F("operator", &STolerationInfoLib::operatorName), F("value", &STolerationInfoLib::value),
         F("effect", &STolerationInfoLib::effect),
         F("tolerationSeconds", &STolerationInfoLib::tolerationSeconds, WriteIf<Positive>));

// A user or group id of 0 is not sent: 0 is also the value of a field never set.
WQ_TABLE(SPodSecurityContextInfoLib,
         F("seLinuxOptions", &SPodSecurityContextInfoLib::seLinuxOptions),
         F("runAsUser", &SPodSecurityContextInfoLib::runAsUser, WriteIf<Positive>),
         F("runAsNonRoot", &SPodSecurityContextInfoLib::runAsNonRoot),
         F("supplementalGroups", &SPodSecurityContextInfoLib::supplementalGroups),
         F("fsGroup", &SPodSecurityContextInfoLib::fsGroup, WriteIf<Positive>));

WQ_TABLE(SSecurityContextInfoLib, F("capabilities", &SSecurityContextInfoLib::capabilities),
         F("privileged", &SSecurityContextInfoLib::privileged),
         F("seLinuxOptions", &SSecurityContextInfoLib::seLinuxOptions),
         F("runAsUser", &SSecurityContextInfoLib::runAsUser, WriteIf<Positive>),
         F("runAsNonRoot", &SSecurityContextInfoLib::runAsNonRoot),
         F("readOnlyRootFilesystem", &SSecurityContextInfoLib::readOnlyRootFilesystem));

WQ_TABLE(SSELinuxOptionsInfoLib, F("user", &SSELinuxOptionsInfoLib::user),
         F("role", &SSELinuxOptionsInfoLib::role), F("type", &SSELinuxOptionsInfoLib::type),
         F("level", &SSELinuxOptionsInfoLib::level));

WQ_TABLE(SCapabilitiesInfoLib, F("add", &SCapabilitiesInfoLib::add),
         F("drop", &SCapabilitiesInfoLib::drop));

}  // namespace codec
}  // namespace OpenShiftSDKWrapper
