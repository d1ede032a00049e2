// Export of object definitions to backup files.
#include <string>

#include "host/safeFiles.h"
#include "json/json_spirit.h"
#include "operations/logContexts.h"
#include "operations/openshiftOperations.h"
#include "queries/openshiftQueries.h"

namespace OpenShiftSDKWrapper {

// The file is written whole under a temporary name created beside it (never through a link
// planted at either name), synced and renamed into place, owner-only: definitions include
// secrets, and a replaced file gets the same mode as a new one.
bool WQOpenShiftOperations::WriteToFile(const std::string& text, const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string error;
  bool notOpened = false;
  if (!WriteFileAtomically(directory, name, text, 0600, error, &notOpened)) {
    if (notOpened) {
      Error(OperationContexts::kWriteToFile, "Failed to open [%s] err [%s]", path.c_str(),
            error.c_str());
    } else {
      Error(OperationContexts::kWriteToFile, "Failed to write config to file [%s] err [%s]",
            path.c_str(), error.c_str());
    }
    return false;
  }
  return true;
}

namespace {

// An answer that is not one JSON object (a non-JSON body from a proxy, a bare
// "Unauthorized") would make a backup that cannot be restored: it is refused before the
// file is opened, so an existing file of that name is left as it was.
bool WriteObjectToFile(WQOpenShiftOperations& operations, const std::string& text,
                       const std::string& path) {
  json_spirit::mValue value;
  if (!json_spirit::read(text, value) || value.type() != json_spirit::obj_type) {
    operations.Error(OperationContexts::kWriteToFile,
                     "Failed to write config to file [%s] err [the answer is not a JSON object]",
                     path.c_str());
    return false;
  }
  return operations.WriteToFile(text, path);
}

}  // namespace

// In the four exports below a failed query has logged its own line; nothing is
// opened then, so an existing file of that name is left as it was.

bool WQOpenShiftOperations::WriteDeploymentConfigInfoToFile(const std::string& ns,
                                                            const std::string& name,
                                                            const std::string& path) {
  std::string text;
  return queries->GetDeploymentConfig(ns, name, text, 0) && WriteObjectToFile(*this, text, path);
}

bool WQOpenShiftOperations::WritePVCInfoToFile(const std::string& ns, const std::string& name,
                                               const std::string& path) {
  std::string text;
  return queries->GetPersistentVolumeClaimInfo(ns, name, text, 0) &&
         WriteObjectToFile(*this, text, path);
}

bool WQOpenShiftOperations::WriteSecretInfoToFile(const std::string& ns, const std::string& name,
                                                  const std::string& path) {
  std::string text;
  return queries->GetSecretInfo(ns, name, text, 0) && WriteObjectToFile(*this, text, path);
}

bool WQOpenShiftOperations::WriteConfigMapToFile(const std::string& ns, const std::string& name,
                                                 const std::string& path) {
  std::string text;
  return queries->GetConfigMapInfo(ns, name, text, 0) && WriteObjectToFile(*this, text, path);
}

}  // namespace OpenShiftSDKWrapper
