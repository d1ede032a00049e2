#include "wrapper/openshiftWrapper.h"

#include "connection/textSafety.h"
#include "operations/openshiftOperations.h"
#include "wrapper/logContexts.h"

namespace OpenShiftSDKWrapper {

namespace {

template <typename T>
void Release(T*& owned) {
  if (owned != nullptr) {
    delete owned;
    owned = nullptr;
  }
}

}  // namespace

// Each inner object is created after the objects it is given, and each pointer is stored
// as soon as its object exists, so a later step always finds its predecessors in place.
WQOpenShiftSDKWrapper::WQOpenShiftSDKWrapper()
    : DebugLog(nullptr),
      parser(nullptr),
      queries(nullptr),
      operations(nullptr),
      connection(nullptr) {
  connection = new WQOpenShiftConnection();
  parser = new WQOpenShiftParser();
  queries = new WQOpenShiftQueries(connection, parser);
  operations = new WQOpenShiftOperations(connection, parser, queries);
}

// Reverse order of creation: operations, queries and the codec go before the connection
// they use.
WQOpenShiftSDKWrapper::~WQOpenShiftSDKWrapper() {
  Release(operations);
  Release(queries);
  Release(parser);
  Release(connection);
}

bool WQOpenShiftSDKWrapper::Connect(const std::string& url, const std::string& user,
                                    const std::string& password,
                                    const std::map<std::string, SSshLoginCreds>& sshCredentials) {
  // The agent has only one user field; this prefix is how it asks for a service account.
  const std::string marker = "@@wqdelim@@";
  if (!user.empty() && user.compare(0, marker.length(), marker) == 0) {
    const std::string serviceAccount = user.substr(marker.length());
    Debug(WrapperContexts::kConnect, "Connect SA [%s][%s]", serviceAccount.c_str(),
          MaskSecret(password).c_str());
    return ConnectServiceAccount(url, serviceAccount, password, sshCredentials);
  }
  return connection->connect(url, user, password, sshCredentials);
}

bool WQOpenShiftSDKWrapper::ConnectServiceAccount(
    const std::string& url, const std::string& serviceAccount, const std::string& token,
    const std::map<std::string, SSshLoginCreds>& sshCredentials) {
  return connection->connectServiceAccount(url, serviceAccount, token, sshCredentials);
}

}  // namespace OpenShiftSDKWrapper
