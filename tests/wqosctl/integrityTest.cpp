// The integrity of a backup's data copy, inside the storage-node sandbox: the manifest's
// record, verify and restore against a flipped byte, a removed and an added file, and
// describe -o json.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/testing/builtInCluster.h"
#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/integrity.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/sampleApp.h"

namespace {

using json_spirit::mValue;
using wqosctl::Invocation;
namespace fs = std::filesystem;

TEST(Sha256, KnownDigests) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}};
  for (const auto& c : cases) EXPECT_EQ(wqosctl::Sha256Of(c.first), c.second) << c.first;
  const std::string long_(100000, 'a');
  wqosctl::Sha256 pieces;  // added in pieces: the same digest as at once
  for (int i = 0; i < 1000; ++i) pieces.Add(long_.data(), 100);
  EXPECT_EQ(pieces.Finish(), wqosctl::Sha256Of(long_));
  EXPECT_EQ(pieces.Finish(), cases[0].second) << "Finish starts a new digest";
}

// A manifest's data record: kept through the text form, absent in older manifests, and
// refused when an entry could steer a path.
TEST(ManifestRecord, RoundTripsAndRefusesEntriesThatLeaveTheCopy) {
  wqosctl::Manifest manifest;
  manifest.nameSpace = "demo";
  manifest.deploymentConfig = "web";
  wqosctl::ManifestVolume volume;
  volume.record.name = "web-data";
  volume.dataCopy = "data/web-data";
  volume.data.recorded = true;
  volume.data.entries = {{"a", 'd', 0, "", ""},
                         {"a/f", 'f', 3, wqosctl::Sha256Of("abc"), ""},
                         {"a/l", 'l', 0, "", "../f"}};
  wqosctl::CountRecord(volume.data);
  manifest.volumes = {volume};
  const std::string text = wqosctl::ManifestText(manifest);
  wqosctl::Manifest read;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseManifest(text, read, error)) << error;
  ASSERT_EQ(read.volumes.size(), 1u);
  EXPECT_EQ(wqosctl::CompareRecords(volume.data, read.volumes[0].data), std::vector<std::string>());
  EXPECT_EQ(wqosctl::RecordSummary(read.volumes[0].data), "1 files, 1 directories, 3 bytes");

  mValue older;  // as a wqosctl that kept no record wrote it
  ASSERT_TRUE(json_spirit::read_string(text, older));
  older.get_obj()["version"] = 2;
  for (const char* key : {"dataFiles", "dataDirectories", "dataBytes", "dataEntries"}) {
    older.get_obj()["volumes"].get_array()[0].get_obj().erase(key);
  }
  ASSERT_TRUE(wqosctl::ParseManifest(json_spirit::write_string(older), read, error)) << error;
  EXPECT_EQ(read.version, 2);
  EXPECT_FALSE(read.volumes[0].data.recorded);

  const std::string sha = wqosctl::Sha256Of("abc");
  const char* const refused[] = {"../x", "/etc/passwd", "a//b", "a/./b", "a/", ""};
  for (const char* path : refused) {
    std::string bad = text;
    bad.replace(bad.find("\"a/f\""), 5, std::string("\"") + path + "\"");
    EXPECT_FALSE(wqosctl::ParseManifest(bad, read, error)) << path;
  }
  std::string badDigest = text;
  badDigest.replace(badDigest.find(sha), 64, std::string(64, 'X'));
  EXPECT_FALSE(wqosctl::ParseManifest(badDigest, read, error));
}

TEST(CommandLine, VerifyAndDescribeTakeADirectoryOnly) {
  const std::pair<std::vector<std::string>, bool> cases[] = {
      {{"verify", "--dir", "d"}, true},
      {{"describe", "--dir", "d", "-o", "json"}, true},
      {{"verify"}, false},
      {{"describe", "web", "--dir", "d"}, false},
      {{"describe", "--dir", "d", "-o", "yaml"}, false},
      {{"verify", "--dir", "d", "-o", "json"}, false},
      {{"verify", "--dir", "d", "--copy-data"}, false}};
  for (const auto& c : cases) {
    Invocation invocation;
    std::string error;
    EXPECT_EQ(wqosctl::ParseCommandLine(c.first, invocation, error), c.second)
        << c.first[0] << " " << c.first.size() << ": " << error;
    EXPECT_TRUE(wqosctl::IsOfflineCommand(invocation.command)) << "no cluster is started";
  }
}

class Integrity : public wqtest::BuiltInClusterSuite {
 protected:
  void SetUp() override {
    BuiltInClusterSuite::SetUp();
    if (IsSkipped()) return;
    dir = cluster->WorkDir() + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  static int Command(const std::string& command, const std::string& dir) {
    Invocation invocation;
    invocation.command = command;
    invocation.nameSpace = wqosctl::kSampleNamespace;
    if (command == "backup" || command == "restore") {
      invocation.positional = {wqosctl::kSampleDeploymentConfig};
    }
    (command == "restore" ? invocation.from : invocation.dir) = dir;
    invocation.copyData = command == "backup";
    return RunTool(invocation);
  }
  // Requests that changed a deployment config since the last call.
  static std::vector<std::string> DeploymentConfigChanges() {
    std::vector<std::string> changes;
    for (const wqsim::RecordedRequest& request : cluster->Simulator().Server().Requests()) {
      if (request.method != "GET" && request.path.find("/deploymentconfigs") != std::string::npos) {
        changes.push_back(request.method + " " + request.path);
      }
    }
    cluster->Simulator().Server().ClearRequests();
    return changes;
  }
  // "describe -o json" as the program prints it.
  static mValue Describe(const std::string& dir) {
    const wqtest::Result result =
        wqtest::Run({WQOSCTL_PROGRAM, "describe", "--dir", dir, "-o", "json"}, wqtest::CleanEnv());
    mValue value;
    EXPECT_EQ(result.code, 0) << result.all();
    EXPECT_TRUE(json_spirit::read_string(result.out, value)) << result.out;
    return value.type() == json_spirit::obj_type ? value : mValue(json_spirit::mObject());
  }
  // What describe says about each volume, and the invariants it must keep: every volume of the
  // manifest, in order, and the data copy counts the manifest records.
  static std::vector<std::string> VolumeStates(const std::string& dir) {
    const mValue description = Describe(dir);
    const wqosctl::Manifest manifest = ManifestIn(dir);
    const auto& object = description.get_obj();
    std::vector<std::string> states;
    if (object.count("volumes") == 0) return {"no volumes"};
    const auto& volumes = object.at("volumes").get_array();
    EXPECT_EQ(volumes.size(), manifest.volumes.size());
    for (size_t i = 0; i < volumes.size() && i < manifest.volumes.size(); ++i) {
      const auto& volume = volumes[i].get_obj();
      EXPECT_EQ(volume.at("claim").get_str(), manifest.volumes[i].record.name);
      EXPECT_EQ(volume.at("dataCopy").get_obj().at("files").get_uint64(),
                manifest.volumes[i].data.files);
      states.push_back(std::string(volume.at("mounted").get_bool() ? "mounted" : "unmounted") +
                       (volume.at("released").get_bool() ? " released" : ""));
    }
    const mValue& verification = object.at("verification");
    states.push_back(verification.is_null() ? "not verified"
                                            : verification.get_obj().at("result").get_str());
    return states;
  }
  std::string dir;
};

struct Spoil {
  const char* what;
  std::function<void(const std::string& copy, const std::string& file)> make;
  std::function<void(const std::string& copy, const std::string& file)> undo;
  const char* expected;  // what the difference line says after the path
};

void FlipFirstByte(const std::string& path) {
  std::string bytes = wqtest::ReadFile(path);
  ASSERT_FALSE(bytes.empty());
  bytes[0] = static_cast<char>(bytes[0] ^ 0x01);
  wqtest::WriteFile(path, bytes);
}

TEST_F(Integrity, ADataCopyThatChangedFailsVerifyAndStopsTheRestore) {
  ASSERT_EQ(Command("backup", dir), wqosctl::kExitOk);
  const wqosctl::Manifest manifest = ManifestIn(dir);
  ASSERT_FALSE(manifest.volumes.empty());
  std::vector<std::string> expected(manifest.volumes.size(), "mounted");
  expected.push_back("not verified");
  EXPECT_EQ(VolumeStates(dir), expected);
  ASSERT_EQ(Command("release", dir), wqosctl::kExitOk);
  ASSERT_EQ(Command("verify", dir), wqosctl::kExitOk);
  expected.assign(manifest.volumes.size(), "unmounted released");
  expected.push_back("ok");
  EXPECT_EQ(VolumeStates(dir), expected);

  // The first volume is restored first: a difference there stops the restore at once.
  const wqosctl::ManifestVolume& volume = manifest.volumes[0];
  ASSERT_TRUE(volume.data.recorded);
  std::string file;
  for (const wqosctl::DataEntry& entry : volume.data.entries) {
    if (entry.type == 'f' && entry.size > 0 && file.empty()) file = entry.path;
  }
  ASSERT_FALSE(file.empty());
  const std::string copy = wqosctl::DataCopyOf(dir, volume);
  const std::string aside = dir + "/aside";
  const Spoil spoils[] = {
      {"a flipped byte", [](auto& c, auto& f) { FlipFirstByte(c + "/" + f); },
       [](auto& c, auto& f) { FlipFirstByte(c + "/" + f); }, ": content changed"},
      {"a removed file", [&](auto& c, auto& f) { fs::rename(c + "/" + f, aside); },
       [&](auto& c, auto& f) { fs::rename(aside, c + "/" + f); }, ": missing file"},
      {"an added file", [](auto& c, auto& f) { wqtest::WriteFile(c + "/" + f + ".new", "x"); },
       [](auto& c, auto& f) { fs::remove(c + "/" + f + ".new"); }, ".new: added file"},
  };
  for (const Spoil& spoil : spoils) {
    SCOPED_TRACE(spoil.what);
    spoil.make(copy, file);
    EXPECT_EQ(Command("verify", dir), wqosctl::kExitFailed);
    wqosctl::Verification verification;
    ASSERT_TRUE(wqosctl::ReadVerification(dir, verification));
    EXPECT_EQ(verification.result, "differences");
    ASSERT_FALSE(verification.volumes.empty());
    const std::vector<std::string>& lines = verification.volumes[0].differences;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(file + spoil.expected, 0), 0u) << lines[0];
    DeploymentConfigChanges();
    EXPECT_EQ(Command("restore", dir), wqosctl::kExitFailed);
    EXPECT_EQ(DeploymentConfigChanges(), std::vector<std::string>());
    spoil.undo(copy, file);
    EXPECT_EQ(Command("verify", dir), wqosctl::kExitOk);
  }
  // The same copy, whole again, restores: the failures above came from the check.
  EXPECT_EQ(Command("restore", dir), wqosctl::kExitOk);
  EXPECT_FALSE(DeploymentConfigChanges().empty());
}

}  // namespace
