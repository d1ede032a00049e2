#pragma once
// What the gluster command lines on a storage node print, read into values, and what may be
// written into those command lines. Pure functions, apart from the logging check at the end.
#include <initializer_list>
#include <string>
#include <vector>

#include "host/debugLog.h"

namespace OpenShiftSDKWrapper {

// Status of a GlusterFS volume or snapshot as the status queries report it.
enum GLUSTER_RESOURCE_STATUS {
  GLUSTER_RESOURCE_STARTED = 0,
  GLUSTER_RESOURCE_STOPPED = 1,
};

// Reads the status word out of a "... | grep Status" output: "Started" anywhere wins over
// "Stopped" anywhere (case-sensitive). False, with `status` untouched, when neither occurs
// (a volume that was created but never started says "Created").
bool ParseGlusterStatus(const std::string& output, GLUSTER_RESOURCE_STATUS& status);

// Appends the snapshot names of a "gluster snapshot list" output, one per line, unchanged
// and in order; the line "No snapshots present" is skipped and a final line feed adds no
// empty name.
void AppendGlusterSnapshotList(const std::string& output, std::vector<std::string>& snapshots);

// The snapshot name the create command line printed (the fifth word of gluster's success
// line, line feeds removed). False when the text is not one plain snapshot name, so that
// anything else the CLI printed can never be taken for a name and used in a later command.
bool ParseCreatedSnapshotName(const std::string& output, std::string& name);

// The command prefix that runs a command inside the GlusterFS container: "docker exec ",
// the container id and a blank. False, with `prefix` empty, when the id is not a plain word.
bool ContainerCommandPrefix(const std::string& containerId, std::string& prefix);

// Words of gluster command lines, which are built by plain concatenation and run by a shell.
enum class GlusterWord {
  Name,     // volume, snapshot or container: letters, digits, '.', '_' and '-'
  Address,  // storage node: the same and ':'
};
bool IsGlusterWord(const std::string& text, GlusterWord kind);

// A local mount directory goes between double quotes: it may hold blanks, but none of the
// characters the shell still interprets there ('"', '$', '`' and '\').
bool IsQuotableDirectory(const std::string& directory);

struct GlusterArgument {
  const char* what;  // for the log line: "volume", "snapshot", ...
  const std::string& value;
  GlusterWord kind;
};

// Logs under `context` and returns false for the first argument that could change the
// meaning of a command line (or is empty); true when all are plain words.
bool GlusterArgumentsAreSafe(const DebugLog& log, const char* context,
                             std::initializer_list<GlusterArgument> arguments);
// The same for a mount directory.
bool MountDirectoryIsSafe(const DebugLog& log, const char* context, const std::string& directory);

}  // namespace OpenShiftSDKWrapper
