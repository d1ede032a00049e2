// The files wqosctl reads and writes itself: the backup manifest, secret files and the
// environment, the copy that keeps owners, modes and times, and the backup lock with the
// guardian that inherits it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/guardian.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/project.h"
#include "tools/wqosctl/sampleApp.h"
#include "tools/wqosctl/secrets.h"

namespace {

using wqtest::TempDir;
using wqtest::WriteFile;

wqosctl::Manifest SampleManifest() {
  wqosctl::Manifest manifest;
  manifest.nameSpace = "demo";
  manifest.deploymentConfig = "web";
  manifest.snapshotName = "nightly";
  manifest.created = "2024-05-01T10:00:00Z";
  manifest.complete = true;
  manifest.files = {"deploymentconfig_web", "pvc_web-data"};
  wqosctl::ManifestVolume volume;
  volume.record.name = "web-data";
  volume.record.podVolumeName = "data";
  volume.record.persistentVolumeName = "pvc-1";
  volume.record.storageClassName = "glusterfs-storage";
  volume.record.capacity = "2Gi";
  volume.record.accessModes = {"ReadWriteOnce", "ReadOnlyMany"};
  volume.record.matchLabels.keyValues = {{"app", "web"}, {"tier", "db"}};
  volume.record.snapshotState = 1;
  volume.record.glusterfs.path = "/b/web-data";
  volume.record.glusterfs.snapshotName = "nightly_GMT-2024.05.01-10.00.00";
  volume.nodes = {"10.0.0.1", "10.0.0.2"};
  volume.dataCopy = "data/web-data";
  volume.released = true;
  manifest.volumes = {volume, wqosctl::ManifestVolume()};
  manifest.volumes[1].record.name = "web-logs";
  return manifest;
}

TEST(Manifest, KeepsEveryFieldTheCommandsNeed) {
  TempDir dir;
  const wqosctl::Manifest written = SampleManifest();
  std::string error;
  ASSERT_TRUE(wqosctl::WriteManifest(dir.path(), written, error)) << error;
  wqosctl::Manifest read;
  ASSERT_TRUE(wqosctl::ReadManifest(dir.path(), read, error)) << error;
  EXPECT_EQ(wqosctl::ManifestText(read), wqosctl::ManifestText(written));
  const auto& record = read.volumes[0].record;
  EXPECT_EQ(record.accessModes, written.volumes[0].record.accessModes);
  ASSERT_EQ(record.matchLabels.keyValues.size(), 2u);
  EXPECT_EQ(record.matchLabels.keyValues[1].value, "db");
  EXPECT_EQ(record.glusterfs.snapshotName, "nightly_GMT-2024.05.01-10.00.00");
  EXPECT_EQ(record.snapshotState, 1);
  EXPECT_TRUE(read.volumes[0].released);
  EXPECT_FALSE(read.volumes[1].released);
  EXPECT_EQ(read.volumes[0].nodes, written.volumes[0].nodes);
  EXPECT_FALSE(access((dir.path() + "/manifest.json.tmp").c_str(), F_OK) == 0);
}

TEST(Manifest, RefusesWhatIsNoManifestOfThisVersion) {
  struct Row {
    const char* text;
    const char* error;
  };
  for (const Row& row :
       {Row{"[]", "not a JSON object"}, Row{"{\"version\": 1,", "not a JSON object"},
        Row{"{\"namespace\": \"demo\", \"deploymentConfig\": \"web\"}", "no format version"},
        Row{"{\"version\": 4, \"namespace\": \"demo\", \"deploymentConfig\": \"web\"}",
            "newer than this wqosctl"},
        Row{"{\"version\": 1, \"namespace\": 7, \"deploymentConfig\": \"web\"}",
            "names no namespace"}}) {
    wqosctl::Manifest manifest;
    std::string error;
    EXPECT_FALSE(wqosctl::ParseManifest(row.text, manifest, error)) << row.text;
    EXPECT_NE(error.find(row.error), std::string::npos) << row.text << ": " << error;
  }
  // Members of the wrong type read as empty rather than failing the whole manifest.
  wqosctl::Manifest manifest;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseManifest(
      R"({"version": 1, "namespace": "demo", "deploymentConfig": "web",
          "volumes": [{"name": "a", "accessModes": "RWO", "snapshotState": "1"}, 3]})",
      manifest, error))
      << error;
  ASSERT_EQ(manifest.volumes.size(), 1u);
  EXPECT_TRUE(manifest.volumes[0].record.accessModes.empty());
  EXPECT_EQ(manifest.volumes[0].record.snapshotState, 0);
}

// Names in a project file or in a manifest's shared claims become paths below the backup
// directory: one that could leave it is refused.
TEST(ProjectFile, ReadsItsDeploymentConfigsAndRefusesPathsThatLeaveTheDirectory) {
  wqosctl::Project project;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseProject(
      R"({"version": 1, "namespace": "demo", "created": "2024-05-01T10:00:00Z",
          "deploymentConfigs": [{"deploymentConfig": "web", "directory": "web", "ok": true},
                                {"deploymentConfig": "db", "directory": "db", "detail": "x"}]})",
      project, error))
      << error;
  ASSERT_EQ(project.members.size(), 2u);
  EXPECT_TRUE(project.members[0].ok);
  EXPECT_FALSE(project.members[1].ok);
  EXPECT_EQ(project.members[1].detail, "x");
  const std::string head = R"({"version": 1, "namespace": "demo", "deploymentConfigs": [)";
  for (const char* member : {R"({"directory": "../etc"})", R"({"directory": "a/b"})",
                             R"({"directory": ".."})", R"({"deploymentConfig": "web"})"}) {
    EXPECT_FALSE(wqosctl::ParseProject(head + member + "]}", project, error)) << member;
  }
  EXPECT_FALSE(wqosctl::ParseProject(R"({"deploymentConfigs": []})", project, error));
  wqosctl::Manifest manifest;
  EXPECT_FALSE(wqosctl::ParseManifest(
      R"({"version": 3, "namespace": "demo", "deploymentConfig": "web",
          "sharedClaims": [{"claim": "../data", "deploymentConfig": "db"}]})",
      manifest, error));
}

TEST(Secrets, FilesLoseOneFinalLineBreakOnlyAndKeysStayWhole) {
  TempDir dir;
  const std::string path = dir.path() + "/secret";
  std::string secret;
  std::string error;
  WriteFile(path, "pass word\r\n");
  ASSERT_TRUE(wqosctl::ReadSecretFile(path, false, secret, error)) << error;
  EXPECT_EQ(secret, "pass word");
  WriteFile(path, "line1\n\n");
  ASSERT_TRUE(wqosctl::ReadSecretFile(path, false, secret, error));
  EXPECT_EQ(secret, "line1\n");
  WriteFile(path, "-----BEGIN KEY-----\nabc\n-----END KEY-----\n");
  ASSERT_TRUE(wqosctl::ReadSecretFile(path, true, secret, error));
  EXPECT_EQ(secret, "-----BEGIN KEY-----\nabc\n-----END KEY-----\n");
  WriteFile(path, "\n");
  EXPECT_FALSE(wqosctl::ReadSecretFile(path, false, secret, error));
  EXPECT_NE(error.find("is empty"), std::string::npos);
  EXPECT_FALSE(wqosctl::ReadSecretFile(dir.path() + "/none", false, secret, error));
  EXPECT_NE(error.find("cannot read"), std::string::npos);
}

class Credentials : public testing::Test {
 protected:
  void TearDown() override {
    unsetenv("WQOSCTL_PASSWORD");
    unsetenv("WQOSCTL_TOKEN");
  }
  TempDir dir;
};

TEST_F(Credentials, EnvironmentSecretsAreTakenAndRemoved) {
  setenv("WQOSCTL_PASSWORD", "from-env-password", 1);
  setenv("WQOSCTL_TOKEN", "unused-token-value", 1);
  wqosctl::Invocation invocation;
  invocation.user = "admin";
  wqosctl::Credentials credentials;
  std::string error;
  ASSERT_TRUE(wqosctl::ResolveCredentials(invocation, credentials, error)) << error;
  EXPECT_EQ(credentials.password, "from-env-password");
  EXPECT_TRUE(credentials.token.empty());
  EXPECT_EQ(std::getenv("WQOSCTL_PASSWORD"), nullptr) << "children must not inherit it";
  EXPECT_EQ(std::getenv("WQOSCTL_TOKEN"), nullptr);
  EXPECT_EQ(wqosctl::Redactor::Instance().Apply("x from-env-password y"), "x **** y");
}

TEST_F(Credentials, AFileWinsOverTheEnvironmentAndAMissingSecretIsNamed) {
  WriteFile(dir.path() + "/token", "file-token-value\n");
  setenv("WQOSCTL_TOKEN", "env-token-value", 1);
  wqosctl::Invocation invocation;
  invocation.serviceAccount = "backup";
  invocation.tokenFile = dir.path() + "/token";
  wqosctl::Credentials credentials;
  std::string error;
  ASSERT_TRUE(wqosctl::ResolveCredentials(invocation, credentials, error)) << error;
  EXPECT_EQ(credentials.token, "file-token-value");

  wqosctl::Invocation missing;
  missing.user = "admin";
  EXPECT_FALSE(wqosctl::ResolveCredentials(missing, credentials, error));
  EXPECT_NE(error.find("set WQOSCTL_PASSWORD or give --password-file"), std::string::npos) << error;
}

TEST_F(Credentials, NodesTakeTheDefaultsWholeUnlessTheyHaveTheirOwn) {
  WriteFile(dir.path() + "/key", "KEY TEXT\n");
  WriteFile(dir.path() + "/phrase", "phrase-text\n");
  WriteFile(dir.path() + "/node-password", "node-password-text\n");
  wqosctl::Invocation invocation;
  invocation.nodeDefaults.user = "root";
  invocation.nodeDefaults.keyFile = dir.path() + "/key";
  invocation.nodeDefaults.passphraseFile = dir.path() + "/phrase";
  invocation.nodes.resize(2);
  invocation.nodes[0].host = "10.0.0.1";
  invocation.nodes[0].passwordFile = dir.path() + "/node-password";
  invocation.nodes[1].host = "10.0.0.2";
  invocation.nodes[1].user = "admin";
  wqosctl::Credentials credentials;
  std::string error;
  ASSERT_TRUE(wqosctl::ResolveCredentials(invocation, credentials, error)) << error;
  ASSERT_TRUE(credentials.hasNodeDefault);
  EXPECT_EQ(credentials.nodeDefault.privateKey, "KEY TEXT\n");
  EXPECT_EQ(credentials.nodeDefault.passphrase, "phrase-text");
  const auto& own = credentials.nodes.at("10.0.0.1");
  EXPECT_EQ(own.userName, "root");
  EXPECT_EQ(own.password, "node-password-text");
  EXPECT_TRUE(own.privateKey.empty()) << "a node's own password is not mixed with the key";
  const auto& borrowed = credentials.nodes.at("10.0.0.2");
  EXPECT_EQ(borrowed.userName, "admin");
  EXPECT_EQ(borrowed.privateKey, "KEY TEXT\n");

  wqosctl::Invocation bare;
  bare.nodes.resize(1);
  bare.nodes[0].host = "10.0.0.3";
  bare.nodes[0].user = "root";
  EXPECT_FALSE(wqosctl::ResolveCredentials(bare, credentials, error));
  EXPECT_NE(error.find("10.0.0.3: no password or key"), std::string::npos) << error;
}

TEST(Redactor, ReplacesEveryOccurrenceButNotShortSecrets) {
  wqosctl::Redactor& redactor = wqosctl::Redactor::Instance();
  redactor.Add("abc");
  redactor.Add("tok3n-value");
  EXPECT_EQ(redactor.Apply("abc tok3n-valuetok3n-value."), "abc ********.");
}

class FileTree : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "owners can be given only as root";
    source = dir.path() + "/source";
    target = dir.path() + "/target";
    mkdir(source.c_str(), 0755);
    mkdir(target.c_str(), 0755);
  }
  TempDir dir;
  std::string source;
  std::string target;
};

TEST_F(FileTree, CopyKeepsBytesOwnersModesTimesAndLinks) {
  for (const std::string& claim : wqosctl::SampleClaims()) {
    std::string error;
    const std::string from = source + "/" + claim;
    const std::string to = target + "/" + claim;
    mkdir(from.c_str(), 0755);
    mkdir(to.c_str(), 0755);
    ASSERT_TRUE(wqosctl::WriteSampleFiles(claim, from, error)) << error;
    // A top-level dot entry belongs to the file system, not to the application.
    mkdir((from + "/.trashcan").c_str(), 0755);
    wqosctl::CopyStats stats;
    ASSERT_TRUE(wqosctl::CopyTree(from, to, stats, error)) << error;
    std::vector<wqosctl::FileEntry> entries;
    ASSERT_TRUE(wqosctl::ListTree(to, true, entries, error)) << error;
    EXPECT_EQ(wqosctl::CompareTrees(wqosctl::ExpectedSampleEntries(claim), entries, true),
              std::vector<std::string>())
        << claim;
    EXPECT_EQ(stats.files + stats.directories + stats.links, entries.size());
    EXPECT_NE(access((to + "/.trashcan").c_str(), F_OK), 0);
  }
}

TEST_F(FileTree, CopyFailsNamingThePath) {
  wqosctl::CopyStats stats;
  std::string error;
  EXPECT_FALSE(wqosctl::CopyTree(source + "/none", target, stats, error));
  EXPECT_NE(error.find(source + "/none"), std::string::npos) << error;
}

// One row per attribute a faulty copy could lose.
TEST(CompareTrees, NamesEachDifference) {
  wqosctl::FileEntry file;
  file.path = "a";
  file.mode = 0640;
  file.uid = 1;
  file.gid = 2;
  file.size = 3;
  file.mtime = 100;
  file.digest = 7;
  struct Row {
    void (*change)(wqosctl::FileEntry&);
    const char* difference;
  };
  const Row rows[] = {
      {[](wqosctl::FileEntry& e) { e.mode = 0644; }, "a: mode -rw-r--r--, expected -rw-r-----"},
      {[](wqosctl::FileEntry& e) { e.mode = 02640; }, "a: mode -rw-r-S---, expected -rw-r-----"},
      {[](wqosctl::FileEntry& e) { e.uid = 0; }, "a: owner 0, expected 1"},
      {[](wqosctl::FileEntry& e) { e.gid = 0; }, "a: group 0, expected 2"},
      {[](wqosctl::FileEntry& e) { e.size = 4; }, "a: size 4, expected 3"},
      {[](wqosctl::FileEntry& e) { e.digest = 8; }, "a: content digest 8, expected 7"},
      {[](wqosctl::FileEntry& e) { e.mtime = 101; }, "a: modification time 101.0, expected 100.0"},
      {[](wqosctl::FileEntry& e) { e.type = 'd'; }, "a: type d, expected f"},
      {[](wqosctl::FileEntry& e) { e.path = "b"; }, "a: missing"},
  };
  for (const Row& row : rows) {
    wqosctl::FileEntry changed = file;
    row.change(changed);
    const std::vector<std::string> differences = wqosctl::CompareTrees({file}, {changed}, true);
    ASSERT_FALSE(differences.empty()) << row.difference;
    EXPECT_EQ(differences[0], row.difference);
  }
  wqosctl::FileEntry extra = file;
  extra.path = "z";
  EXPECT_EQ(wqosctl::CompareTrees({file}, {file, extra}, true),
            std::vector<std::string>{"z: unexpected"});
  wqosctl::FileEntry later = file;
  later.mtime = 200;
  EXPECT_TRUE(wqosctl::CompareTrees({file}, {later}, false).empty());
}

TEST(FileTreeText, DescribesAnEntryLikeAListing) {
  wqosctl::FileEntry link;
  link.path = "current";
  link.type = 'l';
  link.mode = 0777;
  link.uid = 1001;
  link.gid = 1001;
  link.size = 10;
  link.mtime = 1700000000;
  link.linkTarget = "index.html";
  EXPECT_EQ(wqosctl::DescribeEntry(link),
            "lrwxrwxrwx 1001:1001 10 2023-11-14T22:13:20Z current -> index.html");
  wqosctl::FileEntry tool;
  tool.path = "run.sh";
  tool.mode = 04750;
  EXPECT_EQ(wqosctl::DescribeEntry(tool).substr(0, 10), "-rwsr-x---");
}

TEST(FileTreeMounts, KnowsAMountPointFromAPlainDirectory) {
  EXPECT_TRUE(wqosctl::IsMounted("/"));
  EXPECT_TRUE(wqosctl::IsMounted("/proc/"));
  TempDir dir;
  EXPECT_FALSE(wqosctl::IsMounted(dir.path()));
}

// One backup lock of a deployment config at a time (two descriptions in one process conflict
// too), only in a private directory and for cluster names; a guardian started under it keeps
// it until it has acted. The guardian acts when the tool lets go without Done(), never after.
TEST(BackupLock, OneHolderAtATimeKeptByTheGuardianUntilItHasActed) {
  TempDir work;
  setenv("XDG_RUNTIME_DIR", work.path().c_str(), 1);
  const std::string marker = work.path() + "/unquiesced";
  const auto acquired = [](const char* dc) {
    wqosctl::BackupLock lock;
    std::string error;
    return lock.Acquire("demo", dc, error);
  };
  const auto eventually = [](const std::function<bool()>& condition) {
    for (int i = 0; i < 100 && !condition(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
  };
  for (const bool done : {true, false}) {
    {
      wqosctl::BackupLock lock;
      std::string error;
      ASSERT_TRUE(lock.Acquire("demo", "web", error)) << error;
      EXPECT_EQ(lock.Path(), work.path() + "/wqosctl/demo_web.lock");
      wqosctl::BackupLock second;
      EXPECT_FALSE(second.Acquire("demo", "web", error));
      EXPECT_NE(error.find("process " + std::to_string(getpid())), std::string::npos) << error;
      EXPECT_TRUE(acquired("web2"));
      wqosctl::Guardian guardian;
      const auto act = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        WriteFile(marker, "ran");
      };
      ASSERT_TRUE(guardian.Start(act, lock.GuardianLogPath(), error)) << error;
      if (done) guardian.Done();
    }
    EXPECT_EQ(acquired("web"), done) << "held by the guardian until it has acted";
    // Done() waited for the guardian to end.
    EXPECT_EQ(done ? std::filesystem::exists(marker)
                   : eventually([&] { return std::filesystem::exists(marker); }),
              !done);
    EXPECT_TRUE(eventually([&] { return acquired("web"); }));
  }
  for (const char* name : {"", "Web", "a_b", "..", "a/b"}) EXPECT_FALSE(acquired(name)) << name;
  std::filesystem::rename(work.path() + "/wqosctl", work.path() + "/real");
  std::filesystem::create_directory_symlink(work.path() + "/real", work.path() + "/wqosctl");
  EXPECT_FALSE(acquired("web")) << "a link at the lock directory";
  std::filesystem::remove(work.path() + "/wqosctl");
  std::filesystem::rename(work.path() + "/real", work.path() + "/wqosctl");
  chmod((work.path() + "/wqosctl").c_str(), 0777);
  EXPECT_FALSE(acquired("web")) << "a lock directory open to others";
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
