// wqosctl verify: a backup's data copy read back against the sizes and SHA-256 digests its
// manifest recorded; and the same check for a claim that restore filled, read back through a
// mount of its own.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "host/process.h"
#include "host/safeFiles.h"
#include "queries/glusterOutput.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/integrity.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/project.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

const char* const kVerificationFile = "verify.json";

namespace {

// Differences shown per volume; the rest are counted.
const size_t kShownDifferences = 50;

uint64_t Number(const mObject& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->second.type() == json_spirit::int_type
             ? found->second.get_uint64()
             : 0;
}

void ShowDifferences(const std::vector<std::string>& differences,
                     const std::function<void(const std::string&)>& note) {
  for (size_t i = 0; i < differences.size() && i < kShownDifferences; ++i) {
    note(differences[i]);
  }
  if (differences.size() > kShownDifferences) {
    note("... and " + std::to_string(differences.size() - kShownDifferences) + " more");
  }
}

// The data copy of a volume, checked as the backup made it: data/CLAIM below the backup
// directory, no link on the way.
bool CheckDataCopy(const std::string& dir, const ManifestVolume& volume, std::string& error) {
  const UniqueFd base = OpenDirectory(dir, error);
  return base.IsOpen() &&
         OpenDirectoryBelow(base.Get(), dir, "data/" + volume.record.name, false, 0, error)
             .IsOpen();
}

VolumeVerification VerifyVolume(const std::string& dir, const ManifestVolume& volume,
                                Progress& progress) {
  VolumeVerification result;
  result.claim = volume.record.name;
  const std::string copy = DataCopyOf(dir, volume);
  progress.Begin("claim " + volume.record.name + ": read " + copy + " back");
  if (!volume.data.recorded) {
    result.result = "not recorded";
    progress.End(true,
                 "the manifest records no sizes and digests of this copy (made by an older "
                 "wqosctl): nothing to compare");
    return result;
  }
  DataRecord read;
  if (!CheckDataCopy(dir, volume, result.error) ||
      !ReadRecord(copy, "read " + volume.record.name, read, result.error)) {
    result.result = "failed";
    progress.End(false, result.error);
    return result;
  }
  result.files = read.files;
  result.directories = read.directories;
  result.bytes = read.bytes;
  result.differences = CompareRecords(volume.data, read);
  result.result = result.differences.empty() ? "ok" : "differences";
  ShowDifferences(result.differences, [&](const std::string& text) { progress.Note(text); });
  progress.End(result.differences.empty(),
               result.differences.empty()
                   ? RecordSummary(read) + ", as recorded"
                   : std::to_string(result.differences.size()) + " differences");
  return result;
}

// The claim's GlusterFS volume mounted read-only on `dir` (made when missing) from the first
// of its nodes that mounts it.
bool MountClaim(WQOpenShiftSDKWrapper& sdk, const std::string& ns, const std::string& claim,
                const std::string& dir, std::string& error) {
  SPersistentVolumeClaimInfoLib pvc;
  SPersistentVolumeInfoLib pv;
  if (!sdk.GetPersistentVolumeClaimInfo(ns, claim, pvc, 0) ||
      !sdk.GetPersistentVolumeInfo(pvc.spec.volumeName, pv, 0)) {
    error = "cannot read claim " + claim + " and its persistent volume";
    return false;
  }
  const std::string& volume = pv.spec.glusterfs.path;
  if (!IsGlusterWord(volume, GlusterWord::Name) || !IsQuotableDirectory(dir)) {
    error = "refused to mount GlusterFS volume \"" + volume + "\" on \"" + dir + "\"";
    return false;
  }
  struct stat info {};
  if ((mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) || lstat(dir.c_str(), &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    error = dir + " is not a directory";
    return false;
  }
  error = "no storage node of GlusterFS volume " + volume + " is known";
  for (const std::string& node : VolumeNodes(sdk, ns, pv.metadata.name)) {
    if (!IsGlusterWord(node, GlusterWord::Address)) continue;
    std::string out;
    std::string err;
    const std::string command =
        "mount -t glusterfs -o ro,nosuid,nodev " + node + ":/" + volume + " \"" + dir + "\"";
    if (WqProcess::system(command, out, err, 0, false) == 0) return true;
    error = "mount from " + node + " failed: " + (err.empty() ? out : err);
    while (!error.empty() && error.back() == '\n') error.pop_back();
  }
  return false;
}

}  // namespace

std::string VerificationText(const Verification& verification) {
  mArray volumes;
  for (const VolumeVerification& volume : verification.volumes) {
    mObject out;
    out["claim"] = volume.claim;
    out["result"] = volume.result;
    out["files"] = volume.files;
    out["directories"] = volume.directories;
    out["bytes"] = volume.bytes;
    out["differences"] = mArray(volume.differences.begin(), volume.differences.end());
    if (!volume.error.empty()) out["error"] = volume.error;
    volumes.push_back(out);
  }
  mObject out;
  out["backupCreated"] = verification.backupCreated;
  out["records"] = verification.records;
  out["verified"] = verification.verified;
  out["result"] = verification.result;
  out["volumes"] = volumes;
  return json_spirit::write_string(mValue(out), json_spirit::pretty_print) + "\n";
}

bool ReadVerification(const std::string& backupDir, Verification& verification) {
  std::string text;
  std::string error;
  mValue value;
  if (!ReadRegularFile(backupDir + "/" + kVerificationFile, kObjectFileReadLimit, text, error) ||
      !ReadObject(text, value)) {
    return false;
  }
  const mObject& in = value.get_obj();
  verification = Verification();
  verification.backupCreated = Text(in, "backupCreated");
  verification.records = Text(in, "records");
  verification.verified = Text(in, "verified");
  verification.result = Text(in, "result");
  for (const mObject* object : Objects(in, "volumes")) {
    VolumeVerification volume;
    volume.claim = Text(*object, "claim");
    volume.result = Text(*object, "result");
    volume.files = Number(*object, "files");
    volume.directories = Number(*object, "directories");
    volume.bytes = Number(*object, "bytes");
    volume.error = Text(*object, "error");
    volume.differences = TextList(*object, "differences");
    verification.volumes.push_back(volume);
  }
  return !verification.result.empty();
}

int RunVerify(const Invocation& invocation) {
  const std::string dir = Absolute(invocation.dir);
  if (IsProjectDirectory(dir)) return VerifyProject(invocation);
  Manifest manifest;
  if (!LoadBackup(dir, manifest)) return kExitFailed;
  Progress progress("verification of " + dir);
  Verification verification;
  verification.backupCreated = manifest.created;
  verification.records = RecordDigest(manifest);
  verification.verified = NowUtc();
  for (const ManifestVolume& volume : manifest.volumes) {
    if (!volume.dataCopy.empty())
      verification.volumes.push_back(VerifyVolume(dir, volume, progress));
  }
  std::string detail;
  if (verification.volumes.empty()) {
    verification.result = "nothing to verify";
    detail = "the backup has no data copy: nothing to verify";
  } else {
    size_t differences = 0;
    bool unreadable = false;
    for (const VolumeVerification& volume : verification.volumes) {
      differences += volume.differences.size();
      unreadable = unreadable || volume.result == "failed";
    }
    verification.result = unreadable ? "failed" : differences > 0 ? "differences" : "ok";
    detail = std::to_string(differences) + " differences in " +
             std::to_string(verification.volumes.size()) + " data copies";
  }
  std::string error;
  if (!WriteFileAtomically(dir, kVerificationFile, VerificationText(verification), 0600, error)) {
    progress.Failure("the result is not kept: " + error);
  }
  return progress.Summary(detail);
}

bool VerifyClaimCopy(const std::string& ns, WQOpenShiftSDKWrapper& sdk,
                     const ManifestVolume& volume, const std::string& source, bool fromDataCopy,
                     const std::string& claim, const std::string& mountDir,
                     const std::function<void(const std::string&)>& say) {
  const auto fail = [&](const std::string& error) {
    say("FAILED: " + error);
    return false;
  };
  std::string error;
  // The manifest's record of the data copy, else what the source holds now.
  DataRecord expected = volume.data;
  if (!fromDataCopy || !volume.data.recorded) {
    say("read " + source + " to check the copy against");
    if (!ReadRecord(source, "read " + source, expected, error)) return fail(error);
  }
  say("mount it again on " + mountDir + " and check what it holds");
  if (!MountClaim(sdk, ns, claim, mountDir, error)) {
    rmdir(mountDir.c_str());
    return fail(error);
  }
  DataRecord written;
  const bool read = ReadRecord(mountDir, "read back " + claim, written, error);
  SVolumeInfoLib mounted;
  mounted.name = claim;
  mounted.glusterfs.path = mountDir;
  const bool unmounted = sdk.UnmountVolume(ns, mounted);
  if (unmounted) rmdir(mountDir.c_str());
  if (!read) return fail(error);
  const std::vector<std::string> differences = CompareRecords(expected, written, true);
  ShowDifferences(differences, say);
  if (!unmounted) return fail("cannot unmount " + mountDir);
  if (!differences.empty()) {
    return fail(std::to_string(differences.size()) + " differences from what the backup holds");
  }
  say("checked: " + RecordSummary(written) + ", as " +
      (fromDataCopy && volume.data.recorded ? "the manifest records" : "read from " + source));
  return true;
}

}  // namespace wqosctl
