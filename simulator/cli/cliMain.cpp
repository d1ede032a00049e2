// wqOpenShiftCLI: the cluster command-line client as far as the library uses it, for the
// simulated cluster. "login" checks a user's password through the OAuth endpoint or a token
// through the API and remembers the server; "exec" checks through the API that the pod is
// running and then runs the command in the pod's own directory on this machine, passing its
// output and exit code through.
#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/json.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "connection/curlHandles.h"
#include "host/uniqueFd.h"
#include "simulator/cli/cliSupport.h"

namespace json = boost::json;
using OpenShiftSDKWrapper::AppendCurlHeader;
using OpenShiftSDKWrapper::CurlEasy;
using OpenShiftSDKWrapper::CurlHeaderList;
using OpenShiftSDKWrapper::UniqueFd;

namespace {

const char* const kCaFile = "openshift-ca.crt";

struct HttpAnswer {
  long status = 0;
  std::string body;
  std::string location;
  std::string error;  // transport failure; empty when an answer came
};

size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t ReadHeader(char* data, size_t size, size_t count, void* target) {
  const std::string line(data, size * count);
  const std::string name = "location:";
  if (line.size() > name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
    std::string value = line.substr(name.size());
    const size_t start = value.find_first_not_of(" \t");
    const size_t end = value.find_last_not_of(" \t\r\n");
    *static_cast<std::string*>(target) =
        start == std::string::npos ? std::string() : value.substr(start, end - start + 1);
  }
  return size * count;
}

// One GET; redirects are reported, never followed. `userPassword` selects basic
// authentication, otherwise `token` is sent as the bearer token.
HttpAnswer Get(const std::string& url, const std::string& baseDir, bool insecure,
               const std::string& token, const std::string& userPassword) {
  HttpAnswer answer;
  const CurlEasy handle(curl_easy_init());
  CURL* const curl = handle.get();
  if (curl == nullptr) {
    answer.error = "cannot initialise the HTTP client";
    return answer;
  }
  CurlHeaderList headers;
  AppendCurlHeader(headers, "Accept: application/json");
  AppendCurlHeader(headers, "X-CSRF-Token: 1");
  const std::string bearer = "Authorization: Bearer " + token;
  if (userPassword.empty()) AppendCurlHeader(headers, bearer.c_str());
  const std::string caFile = baseDir + "/" + kCaFile;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ReadHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.location);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  if (!userPassword.empty()) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(curl, CURLOPT_USERPWD, userPassword.c_str());
  }
  if (insecure) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  } else if (access(caFile.c_str(), R_OK) == 0) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  }
  const CURLcode code = curl_easy_perform(curl);
  if (code != CURLE_OK) {
    answer.error = curl_easy_strerror(code);
  } else {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  }
  return answer;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return 1;
}

int TransportFailure(const std::string& server, const HttpAnswer& answer) {
  return Fail("error: " + answer.error + " (" + server +
              ") - verify you have provided the correct host and port and that the server is "
              "currently running.");
}

std::string Reason(long status) {
  switch (status) {
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "NotFound";
    default:
      return "Status " + std::to_string(status);
  }
}

int Login(const std::string& baseDir, const std::vector<std::string>& args) {
  wqcli::LoginArgs login;
  std::string error;
  if (!wqcli::ParseLogin(args, login, error)) return Fail(error);
  std::string server = login.server;
  if (server.find("://") == std::string::npos) server = "https://" + server;
  while (!server.empty() && server.back() == '/') server.pop_back();

  if (!login.token.empty()) {
    const HttpAnswer answer =
        Get(server + "/oapi/v1/projects", baseDir, login.insecure, login.token, std::string());
    if (!answer.error.empty()) return TransportFailure(server, answer);
    if (answer.status == 401) return Fail("error: The token provided is invalid or expired.\n");
    if (answer.status != 200) {
      return Fail("error: Login failed (" + std::to_string(answer.status) + " " +
                  Reason(answer.status) + ")");
    }
    std::printf("Logged into \"%s\" using the token provided.\n", server.c_str());
  } else {
    const HttpAnswer answer =
        Get(server + "/oauth/authorize?client_id=openshift-challenging-client&response_type=token",
            baseDir, login.insecure, std::string(), login.user + ":" + login.password);
    if (!answer.error.empty()) return TransportFailure(server, answer);
    if (answer.status != 302 || answer.location.find("access_token=") == std::string::npos) {
      if (answer.status == 401 || answer.status == 302) {
        return Fail(
            "error: Login failed (401 Unauthorized)\n"
            "Verify you have provided correct credentials.");
      }
      return Fail("error: Login failed (" + std::to_string(answer.status) + " " +
                  Reason(answer.status) + ")");
    }
    std::printf("Login successful.\n");
  }

  wqcli::State state;
  wqcli::ReadState(baseDir, state);
  state["server"] = server;
  state["insecure"] = login.insecure ? "true" : "false";
  if (!wqcli::WriteState(baseDir, state, error)) return Fail(error);
  return 0;
}

// The pod as the API shows it; false (after printing oc's message) when it cannot run a command.
bool CheckPod(const std::string& baseDir, const wqcli::State& state, const wqcli::ExecArgs& exec,
              int& exitCode) {
  exitCode = 1;
  const auto server = state.find("server");
  if (server == state.end()) {
    Fail(
        "error: Missing or incomplete configuration info.  Please login or point to an "
        "existing, complete config file.");
    return false;
  }
  const auto insecure = state.find("insecure");
  const HttpAnswer answer =
      Get(server->second + "/api/v1/namespaces/" + exec.nameSpace + "/pods/" + exec.pod, baseDir,
          insecure != state.end() && insecure->second == "true", exec.token, std::string());
  if (!answer.error.empty()) {
    exitCode = TransportFailure(server->second, answer);
    return false;
  }
  if (answer.status == 401) {
    Fail("error: You must be logged in to the server (Unauthorized)");
    return false;
  }
  if (answer.status == 404) {
    Fail("Error from server (NotFound): pods \"" + exec.pod + "\" not found");
    return false;
  }
  if (answer.status != 200) {
    Fail("Error from server (" + Reason(answer.status) + "): " + answer.body);
    return false;
  }
  boost::system::error_code code;
  const json::value pod = json::parse(answer.body, code);
  const json::object* object = code ? nullptr : pod.if_object();
  if (object == nullptr) {
    Fail("error: the server's answer for pod \"" + exec.pod + "\" is not a JSON object");
    return false;
  }
  std::string phase;
  if (const json::value* status = object->if_contains("status")) {
    if (const json::value* value =
            status->is_object() ? status->as_object().if_contains("phase") : nullptr) {
      if (value->is_string()) phase = value->as_string().c_str();
    }
  }
  if (phase == "Succeeded" || phase == "Failed") {
    Fail("error: cannot exec into a container in a completed pod; current phase is " + phase);
    return false;
  }
  if (phase != "Running") {
    Fail("error: unable to upgrade connection: pod " + exec.pod + " is not running (phase " +
         (phase.empty() ? std::string("unknown") : phase) + ")");
    return false;
  }
  if (!exec.container.empty()) {
    bool found = false;
    const json::value* spec = object->if_contains("spec");
    const json::value* containers = spec != nullptr && spec->is_object()
                                        ? spec->as_object().if_contains("containers")
                                        : nullptr;
    if (containers != nullptr && containers->is_array()) {
      for (const json::value& container : containers->as_array()) {
        const json::value* name =
            container.is_object() ? container.as_object().if_contains("name") : nullptr;
        if (name != nullptr && name->is_string() && name->as_string() == exec.container) {
          found = true;
        }
      }
    }
    if (!found) {
      Fail("error: container " + exec.container + " is not valid for pod " + exec.pod);
      return false;
    }
  }
  return true;
}

bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Runs the command as a process of the pod: in the pod's directory, which is also its HOME,
// with a fresh environment, so that nothing of the caller's environment reaches it.
int RunInPod(const std::string& podDir, const wqcli::ExecArgs& exec) {
  if (!MakeDirectories(podDir)) return Fail("error: cannot create " + podDir);
  std::vector<std::string> words;
  if (exec.command.size() == 1) {
    words = {"/bin/sh", "-c", exec.command.front()};
  } else {
    words = exec.command;
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  std::string home = "HOME=" + podDir;
  std::string host = "HOSTNAME=" + exec.pod;
  std::string path = "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  std::string nameSpace = "POD_NAMESPACE=" + exec.nameSpace;
  char* env[] = {&home[0], &host[0], &path[0], &nameSpace[0], nullptr};

  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return Fail(std::string("error: fork: ") + std::strerror(errno));
  if (child == 0) {
    if (chdir(podDir.c_str()) != 0) _exit(126);
    execvpe(argv[0], argv.data(), env);
    std::fprintf(stderr, "exec failed: %s: %s\n", argv[0], std::strerror(errno));
    _exit(errno == ENOENT ? 127 : 126);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Fail("error: waitpid failed");
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (code != 0) std::fprintf(stderr, "command terminated with exit code %d\n", code);
  return code;
}

int Exec(const std::string& baseDir, const std::vector<std::string>& args) {
  wqcli::ExecArgs exec;
  std::string error;
  if (!wqcli::ParseExec(args, exec, error)) return Fail(error);
  wqcli::State state;
  wqcli::ReadState(baseDir, state);
  int exitCode = 1;
  if (!CheckPod(baseDir, state, exec, exitCode)) return exitCode;
  return RunInPod(wqcli::PodDirectory(baseDir, state, exec.nameSpace, exec.pod), exec);
}

// Test-suite hook: with WQ_TEST_SWEEP_DIR set, the whole argument list (and the names, not
// the values, of the environment) goes to "<dir>/wqOpenShiftCLI.<pid>.lines", and the
// password or token the arguments carry to ".secrets" beside it, for the test that checks
// that no secret reaches a command line or a log. The client's interface takes the password
// and the token as arguments, which the shell of the library's command line fills in from
// the child's environment; in the recorded argument list they stand as "<given>", so that
// the sweep finds any other place they reach.
void RecordForSweep(const std::vector<std::string>& args, char** argv) {
  const char* dir = std::getenv("WQ_TEST_SWEEP_DIR");
  if (dir == nullptr || *dir == '\0') return;
  mkdir(dir, 0755);  // the first recording of the run makes the folder
  const std::string stem = std::string(dir) + "/wqOpenShiftCLI." + std::to_string(getpid());
  std::string lines = "argv: " + std::string(argv[0]);
  lines += "\nenv-names:";
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* eq = std::strchr(*entry, '=');
    lines += " " + (eq != nullptr ? std::string(*entry, static_cast<size_t>(eq - *entry))
                                  : std::string(*entry));
  }
  // Who ran the client (process names only): the library through /bin/sh, or a test itself.
  lines += "\nstarted-by:";
  for (pid_t pid = getppid(), hop = 0; pid > 1 && hop < 3; ++hop) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string name;
    pid_t parent = 0;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("Name:", 0) == 0) name = line.substr(line.find_first_not_of(" \t", 5));
      if (line.rfind("PPid:", 0) == 0) parent = static_cast<pid_t>(std::atol(line.c_str() + 5));
    }
    lines += " " + name;
    pid = parent;
  }
  lines += "\n";
  std::vector<std::string> secrets;
  std::string ignored;
  const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  if (!args.empty() && args[0] == "login") {
    wqcli::LoginArgs login;
    wqcli::ParseLogin(rest, login, ignored);
    // A password equal to the user name cannot be told apart from the name in a line.
    secrets = {login.password != login.user ? login.password : std::string(), login.token};
  } else if (!args.empty() && args[0] == "exec") {
    wqcli::ExecArgs exec;
    wqcli::ParseExec(rest, exec, ignored);
    secrets = {exec.token};
  }
  std::string secretLines;
  std::string shown;
  for (std::string arg : args) {
    for (const std::string& secret : secrets) {
      const std::string given = "<given>";
      for (size_t at = 0; !secret.empty() && (at = arg.find(secret, at)) != std::string::npos;
           at += given.size()) {
        arg.replace(at, secret.size(), given);
      }
    }
    shown += " " + arg;
  }
  lines.insert(lines.find('\n'), shown);
  for (const std::string& secret : secrets) {
    if (!secret.empty()) secretLines += secret + "\n";
  }
  const std::pair<std::string, std::string> files[] = {{stem + ".lines", lines},
                                                       {stem + ".secrets", secretLines}};
  for (const auto& [path, text] : files) {
    if (text.empty()) continue;
    const UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!file.IsOpen()) continue;
    (void)!::write(file.Get(), text.data(), text.size());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  RecordForSweep(args, argv);
  if (args.empty() || (args[0] != "login" && args[0] != "exec")) {
    std::fprintf(stderr,
                 "usage: wqOpenShiftCLI login URL [--insecure-skip-tls-verify=true] "
                 "(--username=U --password=P | --token=T)\n"
                 "       wqOpenShiftCLI exec POD --token=T -n NS [-c CONTAINER] [--] COMMAND...\n");
    return args.empty() ? 1 : Fail("error: unknown command \"" + args[0] + "\"");
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string baseDir = wqcli::BaseDirectory(argv[0]);
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const int code = args[0] == "login" ? Login(baseDir, rest) : Exec(baseDir, rest);
  curl_global_cleanup();
  return code;
}
