#pragma once
// The library's entry object: it owns the connection, the codec, the query object and
// the operations object, and opens the session with the cluster.
#include <map>
#include <string>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"

namespace OpenShiftSDKWrapper {

class WQOpenShiftParser;
class WQOpenShiftQueries;
class WQOpenShiftOperations;

class WQOpenShiftSDKWrapper : public DebugLog {
 public:
  WQOpenShiftSDKWrapper();
  ~WQOpenShiftSDKWrapper();
  WQOpenShiftSDKWrapper(const WQOpenShiftSDKWrapper&) = delete;
  WQOpenShiftSDKWrapper& operator=(const WQOpenShiftSDKWrapper&) = delete;

  // A user name that begins with "@@wqdelim@@" names a service account (the rest of the
  // name) whose token is given as the password; any other name is a password login.
  bool Connect(const std::string& url, const std::string& user, const std::string& password,
               const std::map<std::string, SSshLoginCreds>& sshCredentials);
  bool ConnectServiceAccount(const std::string& url, const std::string& serviceAccount,
                             const std::string& token,
                             const std::map<std::string, SSshLoginCreds>& sshCredentials);

 private:
  WQOpenShiftParser* parser;
  WQOpenShiftQueries* queries;
  WQOpenShiftOperations* operations;
  WQOpenShiftConnection* connection;
};

}  // namespace OpenShiftSDKWrapper
