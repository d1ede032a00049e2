// What the gluster and docker command lines print on a storage node, read back into values,
// and the checks on words that go into later command lines. Tags: 's' status output,
// 'l' snapshot list, 'c' created snapshot name, 'p' container id, 'w' command-line word,
// 'd' mount directory. A text accepted as a word must never carry anything a shell
// interprets.
#include <string>
#include <vector>

#include "fuzz/fuzzTarget.h"
#include "queries/glusterOutput.h"

namespace {

using namespace OpenShiftSDKWrapper;

const std::string kNoSnapshots = "No snapshots present";

bool HasShellMeaning(const std::string& text) {
  return text.find_first_of(" \t\n\r\v\f;&|<>$`\\\"'(){}[]*?~#!=%^,/@+") != std::string::npos ||
         text.find('\0') != std::string::npos;
}

// Read twice, into each status, to see that a refused output leaves the status alone.
void Status(const std::string& output) {
  const bool started = output.find("Started") != std::string::npos;
  const bool stopped = output.find("Stopped") != std::string::npos;
  GLUSTER_RESOURCE_STATUS wasStarted = GLUSTER_RESOURCE_STARTED;
  GLUSTER_RESOURCE_STATUS wasStopped = GLUSTER_RESOURCE_STOPPED;
  const bool read = ParseGlusterStatus(output, wasStarted);
  WQ_FUZZ_CHECK(ParseGlusterStatus(output, wasStopped) == read);
  WQ_FUZZ_CHECK(read == (started || stopped));
  if (!read) {
    WQ_FUZZ_CHECK(wasStarted == GLUSTER_RESOURCE_STARTED && wasStopped == GLUSTER_RESOURCE_STOPPED);
    return;
  }
  const GLUSTER_RESOURCE_STATUS expected =
      started ? GLUSTER_RESOURCE_STARTED : GLUSTER_RESOURCE_STOPPED;
  WQ_FUZZ_CHECK(wasStarted == expected && wasStopped == expected);
}

// Names are appended after what the list holds, one per line and never the line that says
// there are none; without such a line and a final line feed, the names are the lines.
void SnapshotList(const std::string& output) {
  std::vector<std::string> names = {"kept"};
  AppendGlusterSnapshotList(output, names);
  WQ_FUZZ_CHECK(names.front() == "kept");
  std::string joined;
  std::size_t bytes = 0;
  for (std::size_t i = 1; i < names.size(); ++i) {
    WQ_FUZZ_CHECK(names[i].find('\n') == std::string::npos);
    WQ_FUZZ_CHECK(names[i] != kNoSnapshots);
    bytes += names[i].size() + 1;
    if (i > 1) joined += '\n';
    joined += names[i];
  }
  WQ_FUZZ_CHECK(bytes <= output.size() + 1);
  const bool plain =
      output.find(kNoSnapshots) == std::string::npos && (output.empty() || output.back() != '\n');
  if (plain) WQ_FUZZ_CHECK(joined == output);
}

void CreatedName(const std::string& output) {
  std::string name = "kept";
  if (!ParseCreatedSnapshotName(output, name)) {
    WQ_FUZZ_CHECK(name == "kept");
    return;
  }
  std::string withoutLineFeeds;
  for (char c : output) {
    if (c != '\n') withoutLineFeeds += c;
  }
  WQ_FUZZ_CHECK(name == withoutLineFeeds);
  WQ_FUZZ_CHECK(!name.empty() && !HasShellMeaning(name));
  WQ_FUZZ_CHECK(IsGlusterWord(name, GlusterWord::Name));
}

void ContainerPrefix(const std::string& containerId) {
  std::string prefix = "kept";
  if (!ContainerCommandPrefix(containerId, prefix)) {
    WQ_FUZZ_CHECK(prefix.empty());
    return;
  }
  WQ_FUZZ_CHECK(!containerId.empty() && !HasShellMeaning(containerId));
  WQ_FUZZ_CHECK(prefix == "docker exec " + containerId + " ");
}

// A name is an address too; only an address may hold ':'.
void Word(const std::string& text) {
  const bool name = IsGlusterWord(text, GlusterWord::Name);
  const bool address = IsGlusterWord(text, GlusterWord::Address);
  if (name) WQ_FUZZ_CHECK(address && text.find(':') == std::string::npos);
  if (address) WQ_FUZZ_CHECK(!text.empty() && !HasShellMeaning(text));
}

void MountDirectory(const std::string& directory) {
  if (IsQuotableDirectory(directory)) {
    WQ_FUZZ_CHECK(!directory.empty());
    WQ_FUZZ_CHECK(directory.find_first_of("\"$`\\") == std::string::npos);
  }
}

constexpr char kTags[] = "slcpwd";
constexpr wqfuzz::Operation kOperations[] = {Status,          SnapshotList, CreatedName,
                                             ContainerPrefix, Word,         MountDirectory};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wqfuzz::RunTagged(data, size, kTags, kOperations);
  return 0;
}
