#pragma once
// The context part ("[context]") of every log line of the connection module. The agent's log
// readers match these texts, so they stay as they are: the signature-style ones keep the
// spelling of the members they name. tests/host/logContextsTest.cpp pins them.
namespace OpenShiftSDKWrapper {
namespace ConnectionContexts {

// Errors and plain debug lines.
inline constexpr char kSendReq[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::sendReq(HTTP_REQ_TYPE, const string&, "
    "const string&, std::string&)";
inline constexpr char kRenewToken[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::renewToken()";
inline constexpr char kConnect[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::connect(const string&, const string&, "
    "const string&, const std::map<std::__cxx11::basic_string<char>, "
    "OpenShiftSDKWrapper::SSshLoginCreds>&)";
inline constexpr char kConnectServiceAccount[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::connectServiceAccount(const string&, "
    "const string&, const string&, const std::map<std::__cxx11::basic_string<char>, "
    "OpenShiftSDKWrapper::SSshLoginCreds>&)";
inline constexpr char kOpenSshSession[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::openSSHSession(const string&, "
    "LIBSSH2_SESSION*&, int&)";
inline constexpr char kExecuteRemoteCommand[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::executeRemoteCommand(const string&, "
    "const string&, std::string&, std::string&)";
inline constexpr char kExecuteCommandInPod[] =
    "bool OpenShiftSDKWrapper::WQOpenShiftConnection::executeCommandInPod(const string&, "
    "const string&, const string&, const string&, std::string&, std::string&)";
inline constexpr char kCurlInit[] =
    "bool OpenShiftSDKWrapper::WQLibCurl::WQLibCurlInit(const char*, bool, bool, WriteCallback)";
inline constexpr char kCurlConfigureHandle[] =
    "bool OpenShiftSDKWrapper::WQLibCurl::ConfigureHandle()";
inline constexpr char kCurlConfigureTls[] = "bool OpenShiftSDKWrapper::WQLibCurl::ConfigureTls()";
inline constexpr char kCurlSetMethod[] =
    "bool OpenShiftSDKWrapper::WQLibCurl::SetMethod(OpenShiftSDKWrapper::HTTP_REQ_TYPE, "
    "const void*, size_t, const char*)";
inline constexpr char kCurlSendHttpReq[] =
    "bool OpenShiftSDKWrapper::WQLibCurl::WQLibCurlSendHttpReq(OpenShiftSDKWrapper::"
    "HTTP_REQ_TYPE, const char*, const void*, size_t, bool, const char*)";

// The short contexts of the leveled debug lines (DebugLvl).
inline constexpr char kSendReqTrace[] = "sendReq";
inline constexpr char kRenewTokenTrace[] = "renewToken";
inline constexpr char kOpenSshSessionTrace[] = "openSSHSession";
inline constexpr char kCloseSshSessionTrace[] = "closeSSHSession";
inline constexpr char kExecuteRemoteCommandTrace[] = "executeRemoteCommand";
inline constexpr char kCurlTrace[] = "WQLibCurl";

// Every context above, in order.
inline constexpr const char* kAll[] = {kSendReq,
                                       kRenewToken,
                                       kConnect,
                                       kConnectServiceAccount,
                                       kOpenSshSession,
                                       kExecuteRemoteCommand,
                                       kExecuteCommandInPod,
                                       kCurlInit,
                                       kCurlConfigureHandle,
                                       kCurlConfigureTls,
                                       kCurlSetMethod,
                                       kCurlSendHttpReq,
                                       kSendReqTrace,
                                       kRenewTokenTrace,
                                       kOpenSshSessionTrace,
                                       kCloseSshSessionTrace,
                                       kExecuteRemoteCommandTrace,
                                       kCurlTrace};

}  // namespace ConnectionContexts
}  // namespace OpenShiftSDKWrapper
