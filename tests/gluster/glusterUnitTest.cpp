// GlusterFS pieces that need no storage node: reading the CLI's output, the node order,
// names refused before any command runs, and the exact local command lines.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "operations/openshiftOperations.h"
#include "queries/glusterOutput.h"
#include "queries/openshiftQueries.h"
#include "tests/testing/sandbox.h"
#include "tests/testing/testSupport.h"

namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)

// ---- output reading -------------------------------------------------------------------------

struct StatusRow {
  const char* label;
  const char* output;
  bool found;
  GLUSTER_RESOURCE_STATUS status;
};
void PrintTo(const StatusRow& row, std::ostream* os) { *os << row.label; }

class GlusterStatusTest : public ::testing::TestWithParam<StatusRow> {};

TEST_P(GlusterStatusTest, ReadsTheStatusWord) {
  // Each start value in turn, so that a read that fails is seen to leave either one alone.
  for (const auto start : {GLUSTER_RESOURCE_STARTED, GLUSTER_RESOURCE_STOPPED}) {
    auto status = start;
    EXPECT_EQ(ParseGlusterStatus(GetParam().output, status), GetParam().found);
    EXPECT_EQ(status, GetParam().found ? GetParam().status : start);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, GlusterStatusTest,
    ::testing::Values(
        StatusRow{"volume_started", "Status: Started\n", true, GLUSTER_RESOURCE_STARTED},
        StatusRow{"volume_stopped", "Status: Stopped\n", true, GLUSTER_RESOURCE_STOPPED},
        StatusRow{"snapshot_line", "\tStatus                    : Stopped\n", true,
                  GLUSTER_RESOURCE_STOPPED},
        StatusRow{"both_words_started_wins", "Status: Stopped\nStatus: Started\n", true,
                  GLUSTER_RESOURCE_STARTED},
        StatusRow{"never_started", "Status: Created\n", false, GLUSTER_RESOURCE_STARTED},
        StatusRow{"empty", "", false, GLUSTER_RESOURCE_STARTED}),
    [](const auto& info) { return std::string(info.param.label); });

struct ListRow {
  const char* label;
  const char* output;
  std::vector<std::string> appended;
};
void PrintTo(const ListRow& row, std::ostream* os) { *os << row.label; }

class GlusterSnapshotListTest : public ::testing::TestWithParam<ListRow> {};

TEST_P(GlusterSnapshotListTest, AppendsOneNamePerLine) {
  std::vector<std::string> snapshots = {"earlier"};
  AppendGlusterSnapshotList(GetParam().output, snapshots);
  std::vector<std::string> expected = {"earlier"};
  expected.insert(expected.end(), GetParam().appended.begin(), GetParam().appended.end());
  EXPECT_EQ(snapshots, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, GlusterSnapshotListTest,
    ::testing::Values(
        ListRow{"none_present", "No snapshots present\n", {}},
        ListRow{"two", "s1_GMT-2026.12.06-07.07.45\ns2\n", {"s1_GMT-2026.12.06-07.07.45", "s2"}},
        ListRow{"no_final_line_feed", "s1\ns2", {"s1", "s2"}},
        ListRow{"empty_line_kept", "s1\n\ns2\n", {"s1", "", "s2"}}, ListRow{"nothing", "", {}}),
    [](const auto& info) { return std::string(info.param.label); });

struct NameRow {
  const char* label;
  const char* output;
  const char* name;  // null: refused
};
void PrintTo(const NameRow& row, std::ostream* os) { *os << row.label; }

class CreatedNameTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(CreatedNameTest, TakesOnlyOnePlainName) {
  std::string name = "before";
  EXPECT_EQ(ParseCreatedSnapshotName(GetParam().output, name), GetParam().name != nullptr);
  EXPECT_EQ(name, GetParam().name != nullptr ? GetParam().name : "before");
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, CreatedNameTest,
    ::testing::Values(
        NameRow{"timestamped", "snap1_GMT-2026.12.06-07.07.45", "snap1_GMT-2026.12.06-07.07.45"},
        NameRow{"line_feed_removed", "snap1\n", "snap1"},
        // What the unfiltered awk makes of gluster's soft-limit warning line.
        NameRow{"soft_limit_word_glued", "snap1_GMT-2026.12.06-07.07.45(vol1)", nullptr},
        NameRow{"shell_text", "x;reboot", nullptr}, NameRow{"empty", "", nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(GlusterOutputTest, ContainerPrefixOnlyForAPlainId) {
  std::string prefix = "old";
  EXPECT_TRUE(ContainerCommandPrefix("4f2a9c1d7e3b", prefix));
  EXPECT_EQ(prefix, "docker exec 4f2a9c1d7e3b ");
  EXPECT_FALSE(ContainerCommandPrefix("4f2a 9c1d", prefix));
  EXPECT_EQ(prefix, "");
  EXPECT_FALSE(ContainerCommandPrefix("$(id)", prefix));
  EXPECT_EQ(prefix, "");
}

struct WordRow {
  const char* text;
  bool name;
  bool address;
  bool directory;
};
void PrintTo(const WordRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class GlusterWordTest : public ::testing::TestWithParam<WordRow> {};

TEST_P(GlusterWordTest, SortsShellSafeWords) {
  EXPECT_EQ(IsGlusterWord(GetParam().text, GlusterWord::Name), GetParam().name);
  EXPECT_EQ(IsGlusterWord(GetParam().text, GlusterWord::Address), GetParam().address);
  EXPECT_EQ(IsQuotableDirectory(GetParam().text), GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GlusterWordTest,
    ::testing::Values(WordRow{"vol_1-a.b", true, true, true}, WordRow{"fe80::1", false, true, true},
                      WordRow{"", false, false, false}, WordRow{"a b", false, false, true},
                      WordRow{"/mnt/back up/pvc", false, false, true},
                      WordRow{"a;b", false, false, true}, WordRow{"a\"b", false, false, false},
                      WordRow{"$(id)", false, false, false}, WordRow{"a\\b", false, false, false},
                      WordRow{"a\nb", false, false, true}, WordRow{"vol*", false, false, true}));

// ---- refusals and local command lines -------------------------------------------------------

class GlusterRefusalTest : public ::testing::Test, public wqtest::LogCapture {
 protected:
  void SetUp() override {
    WqProcess::SetRunner(wqtest::SweepRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          commands_.push_back(request.command);
          out = runnerOut_;
          err = runnerErr_;
          return runnerResult_;
        }));
  }
  void TearDown() override { WqProcess::SetRunner(wqtest::SweepRunner(nullptr)); }

  // True when nothing was attempted on a node: the connection holds no credentials, so
  // any attempt would have logged that.
  bool NoNodeContacted() const { return LinesWith("Failed to find ssh credentials").empty(); }
  bool Logged(const std::string& text) const { return !LinesWith(text).empty(); }

  std::vector<std::string> commands_;
  int runnerResult_ = 0;
  std::string runnerOut_;
  std::string runnerErr_;
  WQOpenShiftConnection connection_;
  WQOpenShiftParser parser_;
  WQOpenShiftQueries queries_{&connection_, &parser_};
  WQOpenShiftOperations operations_{&connection_, &parser_, &queries_};
};

struct RefusalRow {
  const char* label;
  std::function<bool(WQOpenShiftQueries&, WQOpenShiftOperations&)> call;
  const char* refused;  // start of the refusal line
};
void PrintTo(const RefusalRow& row, std::ostream* os) { *os << row.label; }

class GlusterRefusalRowTest : public GlusterRefusalTest,
                              public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(GlusterRefusalRowTest, RefusedBeforeAnyCommand) {
  EXPECT_FALSE(GetParam().call(queries_, operations_));
  EXPECT_TRUE(Logged(GetParam().refused)) << GetParam().refused;
  EXPECT_TRUE(NoNodeContacted());
  EXPECT_TRUE(commands_.empty());
}

const char* const kNode = "10.0.0.7";
const char* const kBadVolume = "vol;reboot";
const char* const kBadSnapshot = "snap$(id)";

INSTANTIATE_TEST_SUITE_P(
    Calls, GlusterRefusalRowTest,
    ::testing::Values(
        RefusalRow{"status_volume",
                   [](auto& q, auto&) {
                     GLUSTER_RESOURCE_STATUS s;
                     return q.GetGlusterVolumeStatus(kNode, kBadVolume, s);
                   },
                   "Refusing volume [vol;reboot]"},
        RefusalRow{"status_node",
                   [](auto& q, auto&) {
                     GLUSTER_RESOURCE_STATUS s;
                     return q.GetGlusterVolumeStatus("10.0.0.7 -o Proxy", "vol", s);
                   },
                   "Refusing node [10.0.0.7 -o Proxy]"},
        RefusalRow{"snapshot_list",
                   [](auto& q, auto&) {
                     std::vector<std::string> l;
                     return q.GetGlusterVolumeSnapshotList(kNode, "", l);
                   },
                   "Refusing volume []"},
        RefusalRow{"snap_volume_name",
                   [](auto& q, auto&) {
                     std::string n;
                     return q.GetGlusterSnapVolumeName(kNode, "a b", n);
                   },
                   "Refusing snapshot [a b]"},
        RefusalRow{"stop", [](auto&, auto& o) { return o.StopGlusterVolume(kNode, "v'x"); },
                   "Refusing volume [v'x]"},
        RefusalRow{"create_requested_name",
                   [](auto&, auto& o) {
                     std::string n;
                     return o.CreateGlusterVolumeSnapshot(kNode, "vol", "s|t", n);
                   },
                   "Refusing snapshot [s|t]"},
        RefusalRow{
            "deactivate",
            [](auto&, auto& o) { return o.DeactivateGlusterVolumeSnapshot("node`id`", "s"); },
            "Refusing node [node`id`]"},
        RefusalRow{"delete",
                   [](auto&, auto& o) { return o.DeleteGlusterVolumeSnapshot(kNode, "s&"); },
                   "Refusing snapshot [s&]"},
        RefusalRow{"mount_snapshot_directory",
                   [](auto&, auto& o) {
                     return o.MountGlusterVolumeSnapshot(kNode, "s", "v", "/mnt/\"x");
                   },
                   "Refusing mount directory [/mnt/\"x]"},
        RefusalRow{"mount_snapshot_name",
                   [](auto&, auto& o) {
                     return o.MountGlusterVolumeSnapshot(kNode, "s/../..", "v", "/mnt/x");
                   },
                   "Refusing snapshot [s/../..]"},
        RefusalRow{"clean_empty", [](auto&, auto& o) { return o.CleanGlusterVolume(""); },
                   "Invalid Mount Path"},
        RefusalRow{"clean_root", [](auto&, auto& o) { return o.CleanGlusterVolume("/"); },
                   "Invalid Mount Path [/]"},
        RefusalRow{"clean_root_spelt_otherwise",
                   [](auto&, auto& o) { return o.CleanGlusterVolume("//./"); },
                   "Invalid Mount Path [//./]"},
        RefusalRow{"clean_relative",
                   [](auto&, auto& o) { return o.CleanGlusterVolume("backup/pvc"); },
                   "Invalid Mount Path [backup/pvc]"},
        RefusalRow{"create_pv_snapshot_directory",
                   [](auto&, auto& o) {
                     SVolumeInfoLib r;
                     return o.CreatePersistentVolumeSnapShot("ns", "pv", "s", "/b/`x`", r);
                   },
                   "Refusing mount directory"},
        RefusalRow{"delete_pv_snapshot_name",
                   [](auto&, auto& o) {
                     SVolumeInfoLib r;
                     r.glusterfs.snapshotName = "s;x";
                     return o.DeletePersistentVolumeSnapShot("ns", r);
                   },
                   "Refusing snapshot [s;x]"}),
    [](const auto& info) { return std::string(info.param.label); });

struct LocalRow {
  const char* label;
  std::function<bool(WQOpenShiftOperations&)> call;
  const char* command;
  const char* failure;  // logged when the runner fails with err "E" and out "O"
};
void PrintTo(const LocalRow& row, std::ostream* os) { *os << row.label; }

class GlusterLocalCommandTest : public GlusterRefusalTest,
                                public ::testing::WithParamInterface<LocalRow> {};

TEST_P(GlusterLocalCommandTest, RunsTheExactCommandLine) {
  EXPECT_TRUE(GetParam().call(operations_));
  ASSERT_EQ(commands_.size(), 1u);
  EXPECT_EQ(commands_[0], GetParam().command);
  EXPECT_TRUE(lines_.empty());
}

TEST_P(GlusterLocalCommandTest, FailureLogsErrThenOut) {
  runnerResult_ = 32;
  runnerErr_ = "E";
  runnerOut_ = "O";
  EXPECT_FALSE(GetParam().call(operations_));
  EXPECT_TRUE(Logged(GetParam().failure)) << GetParam().failure;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, GlusterLocalCommandTest,
    ::testing::Values(
        LocalRow{"mount_snapshot",
                 [](auto& o) {
                   return o.MountGlusterVolumeSnapshot("10.0.0.7", "s1_GMT-2026.12.06-07.07.45",
                                                       "vol_1", "/backup/pvc one");
                 },
                 "mount -t glusterfs -o ro,nosuid,nodev "
                 "10.0.0.7:/snaps/s1_GMT-2026.12.06-07.07.45/vol_1 "
                 "\"/backup/pvc one\"",
                 "Failed to mount snapshot volume err [E] out [O]"},
        LocalRow{"mount_volume",
                 [](auto& o) { return o.MountGlusterVolume("10.0.0.7", "vol_1", "/restore/p q"); },
                 "mount -t glusterfs -o nosuid,nodev 10.0.0.7:/vol_1 \"/restore/p q\"",
                 "Failed to mount volume err [E] out [O]"},
        LocalRow{"unmount", [](auto& o) { return o.UnMountGlusterVolume("/backup/pvc one"); },
                 "umount \"/backup/pvc one\"", "Failed to unmount volume err [E] out [O]"},
        LocalRow{"clean", [](auto& o) { return o.CleanGlusterVolume("/restore/p q"); },
                 "rm -rf \"/restore/p q\"/*", "Failed to clean volume err [E] out [O]"},
        LocalRow{"unmount_persistent_volume",
                 [](auto& o) {
                   SVolumeInfoLib r;
                   r.glusterfs.path = "/backup/pvc";
                   return o.UnmountPersistentVolume("ignored", r);
                 },
                 "umount \"/backup/pvc\"", "Failed to unmount persistent volume [/backup/pvc]"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- the persistent volume's nodes, over HTTPS --------------------------------------------

const char* const kToken = "gluster-unit-token-0123456789";

class GlusterNodeTrialTest : public GlusterRefusalTest {
 protected:
  void SetUp() override {
    GlusterRefusalTest::SetUp();
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(connection_.connectServiceAccount(server_->BaseUrl(), "sa", kToken,
                                                  std::map<std::string, SSshLoginCreds>()));
    lines_.clear();
    commands_.clear();
    server_->Script("GET", "/api/v1/persistentvolumes/pv1",
                    wqsim::ScriptedAnswer::Json(
                        200,
                        "{\"metadata\":{\"name\":\"pv1\"},\"spec\":{\"glusterfs\":{\"endpoints\":"
                        "\"gluster-ep\",\"path\":\"vol_1\"},\"capacity\":{\"storage\":\"1Gi\"}}}"));
  }

  wqtest::ScopedEnv noBase_{"dBASEHOME", nullptr};
  wqtest::ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/platform.ini"};
  wqtest::TrustedServer server_{kToken};
};

TEST_F(GlusterNodeTrialTest, EmptySubsetsFailBeforeAnyCommand) {
  server_->Script(
      "GET", "/api/v1/namespaces/ns/endpoints/gluster-ep",
      wqsim::ScriptedAnswer::Json(200, "{\"metadata\":{\"name\":\"gluster-ep\"},\"subsets\":[]}"));
  SVolumeInfoLib record;
  record.name = "claim1";
  record.persistentVolumeName = "pv1";
  record.glusterfs.snapshotName = "s1";
  EXPECT_FALSE(operations_.CreatePersistentVolumeSnapShot("ns", "pv1", "s", "/backup/c", record));
  EXPECT_FALSE(operations_.MountPersistentVolume("ns", "pv1", "/restore/c"));
  EXPECT_FALSE(operations_.DeletePersistentVolumeSnapShot("ns", record));
  size_t empty = 0;
  for (const LogLine& line : lines_) {
    empty += line.message == "endpoints info list is empty for persistent volume [ns/pv1]";
  }
  EXPECT_EQ(empty, 3u);
  EXPECT_TRUE(NoNodeContacted());
  EXPECT_TRUE(commands_.empty());
}

TEST_F(GlusterNodeTrialTest, MissingObjectsAreNamedAsTheCallerKnowsThem) {
  SVolumeInfoLib record;
  record.name = "claim1";
  record.persistentVolumeName = "pv1";
  record.glusterfs.snapshotName = "s1";
  EXPECT_FALSE(operations_.DeletePersistentVolumeSnapShot("ns", record));
  EXPECT_TRUE(Logged("Failed to fetch endpoints info for persistent volume [ns/claim1]"));
  record.persistentVolumeName = "pv-gone";
  EXPECT_FALSE(operations_.DeletePersistentVolumeSnapShot("ns", record));
  EXPECT_TRUE(Logged("Failed to fetch persistent volume info for [ns/claim1]"));
  EXPECT_FALSE(operations_.MountPersistentVolume("ns", "pv-gone", "/restore/c"));
  EXPECT_TRUE(Logged("Failed to fetch persistent volume info for [ns/pv-gone]"));
  EXPECT_TRUE(NoNodeContacted());
}

// Nodes without credentials are each tried once, then the operation gives up.
TEST_F(GlusterNodeTrialTest, EveryNodeOnceThenFromAnyOfTheNodes) {
  server_->Script("GET", "/api/v1/namespaces/ns/endpoints/gluster-ep",
                  wqsim::ScriptedAnswer::Json(
                      200,
                      "{\"subsets\":[{\"addresses\":[{\"ip\":\"10.9.0.1\"},{\"ip\":\"10.9.0.2\"},"
                      "{\"ip\":\"10.9.0.3\"}]},{\"addresses\":[{\"ip\":\"10.9.0.4\"}]}]}"));
  EXPECT_FALSE(operations_.MountPersistentVolume("ns", "pv1", "/restore/c"));
  std::multiset<std::string> tried;
  for (const LogLine& line : lines_) {
    const std::string prefix = "Failed to get status of gluster volume [vol_1] from [";
    if (line.message.compare(0, prefix.size(), prefix) == 0)
      tried.insert(line.message.substr(prefix.size()));
  }
  EXPECT_EQ(tried, (std::multiset<std::string>{"10.9.0.1]", "10.9.0.2]", "10.9.0.3]"}));
  EXPECT_EQ(lines_.back().message,
            "Failed to get status of gluster volume [vol_1] from any of the nodes");
  EXPECT_TRUE(commands_.empty());
}

TEST_F(GlusterNodeTrialTest, UnsafeVolumeNameInThePersistentVolumeIsRefused) {
  server_->ClearScripts();
  server_->Script("GET", "/api/v1/persistentvolumes/pv1",
                  wqsim::ScriptedAnswer::Json(
                      200, "{\"spec\":{\"glusterfs\":{\"endpoints\":\"ep\",\"path\":\"v;x\"}}}"));
  server_->Script(
      "GET", "/api/v1/namespaces/ns/endpoints/ep",
      wqsim::ScriptedAnswer::Json(200, "{\"subsets\":[{\"addresses\":[{\"ip\":\"10.9.0.1\"}]}]}"));
  EXPECT_FALSE(operations_.MountPersistentVolume("ns", "pv1", "/restore/c"));
  EXPECT_TRUE(Logged("Refusing volume [v;x]"));
  EXPECT_TRUE(NoNodeContacted());
}

}  // namespace
