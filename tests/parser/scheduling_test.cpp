// Affinity, selectors, tolerations and security contexts.
#include <gtest/gtest.h>

#include "parser/openshiftParser.h"
#include "tests/parser/tableWalk.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mObject;
using testing_tables::CodecRule;
using testing_tables::ParseJson;
using testing_tables::ReadThenWrite;
using testing_tables::RuleCase;

INSTANTIATE_TEST_SUITE_P(
    Scheduling, CodecRule,
    ::testing::Values(
        RuleCase{"TolerationKeyOnly", &ReadThenWrite<STolerationInfoLib>, R"({"key":"k"})", R"({"key":"k"})"},
        RuleCase{"TolerationZeroSecondsLeftOut", &ReadThenWrite<STolerationInfoLib>,
                 R"({"key":"k","operator":"Exists","effect":"NoExecute","tolerationSeconds":0})",
                 R"({"key":"k","operator":"Exists","effect":"NoExecute"})"},
        RuleCase{"TolerationSecondsKept", &ReadThenWrite<STolerationInfoLib>,
                 R"({"key":"k","value":"v","tolerationSeconds":6000000000})",
                 R"({"key":"k","value":"v","tolerationSeconds":6000000000})"},
        RuleCase{"PodContextFsGroupOnly", &ReadThenWrite<SPodSecurityContextInfoLib>, R"({"fsGroup":1000})",
                 R"({"fsGroup":1000,"runAsNonRoot":false})"},
        RuleCase{"PodContextUserZeroNotSent", &ReadThenWrite<SPodSecurityContextInfoLib>,
                 R"({"runAsUser":0,"runAsNonRoot":true,"fsGroup":-1})", R"({"runAsNonRoot":true})"},
        RuleCase{"SupplementalGroupsInOrder", &ReadThenWrite<SPodSecurityContextInfoLib>,
                 R"({"supplementalGroups":[5,3],"runAsUser":1001,"seLinuxOptions":{"level":"s0:c1"}})",
                 R"({"supplementalGroups":[5,3],"runAsUser":1001,"runAsNonRoot":false,
                     "seLinuxOptions":{"level":"s0:c1"}})"},
        RuleCase{"ContainerContextAlwaysHasItsFlags", &ReadThenWrite<SSecurityContextInfoLib>, R"({})",
                 R"({"privileged":false,"runAsNonRoot":false,"readOnlyRootFilesystem":false})"},
        RuleCase{"ContainerContextCapabilities", &ReadThenWrite<SSecurityContextInfoLib>,
                 R"({"capabilities":{"add":["NET_ADMIN"],"drop":[]},"privileged":true,"runAsUser":0})",
                 R"({"capabilities":{"add":["NET_ADMIN"]},"privileged":true,"runAsNonRoot":false,
                     "readOnlyRootFilesystem":false})"},
        RuleCase{"SelectorEmptyLabelsOneRequirement", &ReadThenWrite<SLabelSelectorInfoLib>,
                 R"({"matchLabels":{},"matchExpressions":[{"key":"tier","operator":"In","values":["db"]}]})",
                 R"({"matchExpressions":[{"key":"tier","operator":"In","values":["db"]}]})"},
        RuleCase{"WeightZeroEmptyTerm", &ReadThenWrite<SWeightedPodAffinityTermInfoLib>,
                 R"({"weight":0,"podAffinityTerm":{}})", R"({"weight":0})"},
        RuleCase{"EmptyAffinityWritesNothing", &ReadThenWrite<SAffinityInfoLib>,
                 R"({"nodeAffinity":{"requiredDuringSchedulingIgnoredDuringExecution":{"nodeSelectorTerms":[]}},
                     "podAffinity":{},"podAntiAffinity":{}})",
                 R"({})"},
        RuleCase{"NodeAffinityRequiredIsOneObject", &ReadThenWrite<SNodeAffinityInfoLib>,
                 R"({"requiredDuringSchedulingIgnoredDuringExecution":{"nodeSelectorTerms":[{"matchExpressions":
                     [{"key":"zone","operator":"NotIn","values":["a","b"]}]}]},
                     "preferredDuringSchedulingIgnoredDuringExecution":[{"weight":2,"preference":{}}]})",
                 R"({"requiredDuringSchedulingIgnoredDuringExecution":{"nodeSelectorTerms":[{"matchExpressions":
                     [{"key":"zone","operator":"NotIn","values":["a","b"]}]}]},
                     "preferredDuringSchedulingIgnoredDuringExecution":[{"weight":2}]})"},
        RuleCase{"PodAntiAffinityRequiredIsAList", &ReadThenWrite<SPodAntiAffinityInfoLib>,
                 R"({"requiredDuringSchedulingIgnoredDuringExecution":[{"topologyKey":"host","namespaces":["a"],
                     "labelSelector":{"matchLabels":{"app":"x"}}}, {}]})",
                 R"({"requiredDuringSchedulingIgnoredDuringExecution":[{"topologyKey":"host","namespaces":["a"],
                     "labelSelector":{"matchLabels":{"app":"x"}}}, {}]})"},
        RuleCase{"PodAffinityRequiredAsObjectIsAbsent", &ReadThenWrite<SPodAffinityInfoLib>,
                 R"({"requiredDuringSchedulingIgnoredDuringExecution":{"topologyKey":"host"}})", R"({})"}),
    testing_tables::RuleCaseName);

}  // namespace
}  // namespace OpenShiftSDKWrapper
