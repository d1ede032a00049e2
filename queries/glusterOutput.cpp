#include "queries/glusterOutput.h"

#include <algorithm>

namespace OpenShiftSDKWrapper {

namespace {

bool IsWordCharacter(unsigned char c, GlusterWord kind) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  if (c == '.' || c == '_' || c == '-') return true;
  return kind == GlusterWord::Address && c == ':';
}

}  // namespace

bool ParseGlusterStatus(const std::string& output, GLUSTER_RESOURCE_STATUS& status) {
  if (output.find("Started") != std::string::npos) {
    status = GLUSTER_RESOURCE_STARTED;
    return true;
  }
  if (output.find("Stopped") != std::string::npos) {
    status = GLUSTER_RESOURCE_STOPPED;
    return true;
  }
  return false;
}

void AppendGlusterSnapshotList(const std::string& output, std::vector<std::string>& snapshots) {
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    if (line != "No snapshots present") snapshots.push_back(line);
    start = end + 1;
  }
}

bool ParseCreatedSnapshotName(const std::string& output, std::string& name) {
  std::string text = output;
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  if (!IsGlusterWord(text, GlusterWord::Name)) return false;
  name = text;
  return true;
}

bool ContainerCommandPrefix(const std::string& containerId, std::string& prefix) {
  prefix.clear();
  if (!IsGlusterWord(containerId, GlusterWord::Name)) return false;
  prefix = "docker exec " + containerId + " ";
  return true;
}

bool IsGlusterWord(const std::string& text, GlusterWord kind) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [kind](char c) {
    return IsWordCharacter(static_cast<unsigned char>(c), kind);
  });
}

bool IsQuotableDirectory(const std::string& directory) {
  return !directory.empty() && directory.find_first_of("\"$`\\") == std::string::npos;
}

bool GlusterArgumentsAreSafe(const DebugLog& log, const char* context,
                             std::initializer_list<GlusterArgument> arguments) {
  for (const GlusterArgument& argument : arguments) {
    if (IsGlusterWord(argument.value, argument.kind)) continue;
    log.Error(context,
              "Refusing %s [%s]: only letters, digits, '.', '_'%s and '-' may appear in it, so "
              "that it cannot change the meaning of a command line",
              argument.what, argument.value.c_str(),
              argument.kind == GlusterWord::Address ? ", ':'" : "");
    return false;
  }
  return true;
}

bool MountDirectoryIsSafe(const DebugLog& log, const char* context, const std::string& directory) {
  if (IsQuotableDirectory(directory)) return true;
  log.Error(context,
            "Refusing mount directory [%s]: it is empty or holds '\"', '$', '`' or '\\', which "
            "the shell interprets even between double quotes",
            directory.c_str());
  return false;
}

}  // namespace OpenShiftSDKWrapper
