#pragma once
// Pieces the backup and restore workflows of the facade share.
#include <string>

namespace OpenShiftSDKWrapper {

// True for a name the cluster accepts for claims, secrets and config maps: at most 253
// lower-case letters, digits, '-' and '.', in dot-separated parts that begin and end with a
// letter or digit. Such a name is safe as a REST path segment ("..", "/" and "%" cannot
// occur) and as a directory or file name below a backup or mount directory.
bool IsObjectName(const std::string& name);

}  // namespace OpenShiftSDKWrapper
