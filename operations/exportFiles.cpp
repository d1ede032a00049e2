// Export of object definitions to backup files.
#include <cstdint>

#include "host/luFile.h"
#include "json/json_spirit.h"
#include "operations/openshiftOperations.h"
#include "queries/openshiftQueries.h"

namespace OpenShiftSDKWrapper {

namespace {

// O_RDWR | O_CREAT | O_TRUNC on Linux.
constexpr int kCreateTruncate = 578;

const char* const kWriteContext =
    "bool OpenShiftSDKWrapper::WQOpenShiftOperations::WriteToFile(const string&, const string&)";

}  // namespace

bool WQOpenShiftOperations::WriteToFile(const std::string& text, const std::string& path) {
  const char* const context = kWriteContext;
  CLuFile file;
  CLuError error = file.Open(path, kCreateTruncate, 0);
  if (error.IsError()) {
    Error(context, "Failed to open [%s] err [%s]", path.c_str(), error.AsString().c_str());
    return false;
  }
  // The host interface takes a 32-bit length; comparing what was written with the
  // whole text also catches a text longer than that.
  const uint32_t length = static_cast<uint32_t>(text.size());
  size_t written = 0;
  error = file.Write(text.data(), length, &written);
  if (!error.IsError() && written != text.size()) {
    error = CLuError::Message("short write: " + std::to_string(written) + " of " +
                              std::to_string(text.size()) + " bytes");
  }
  // A file system may only report a failed write when the file is closed; a
  // truncated backup must not pass for a good one.
  if (!error.IsError()) error = file.Close();
  if (error.IsError()) {
    Error(context, "Failed to write config to file [%s] err [%s]", path.c_str(),
          error.AsString().c_str());
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
    operations.Error(kWriteContext,
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
  return queries->GetPersistentVolumeClaimInfo(ns, name, text, 0) && WriteObjectToFile(*this, text, path);
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
