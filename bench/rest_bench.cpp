// GetPersistentVolumeClaimInfo through the facade against a bare libcurl loop
// GETting the same URL, both over one kept-alive HTTPS connection to the
// scripted test server. The gap between the two is what the library adds per
// query: headers, logging and the parse of the reply into a record.
//
// Usage: rest_bench [calls, default 1000]. Prints both rates and their ratio.
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "connection/curlHandles.h"
#include "host/process.h"
#include "simulator/testServer.h"
#include "wrapper/openshiftWrapper.h"

namespace {

using OpenShiftSDKWrapper::AppendCurlHeader;
using OpenShiftSDKWrapper::CurlEasy;
using OpenShiftSDKWrapper::CurlHeaderList;
using OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib;
using OpenShiftSDKWrapper::WQOpenShiftSDKWrapper;

const char* const kToken = "bench-token-0123456789";
const char* const kPath = "/api/v1/namespaces/bench/persistentvolumeclaims/mypvc";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t Append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// Seconds taken by one call; a failed call ends the run.
template <typename Call>
double Time(Call& call) {
  const auto start = std::chrono::steady_clock::now();
  if (!call()) {
    std::fprintf(stderr, "a call failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  char scratch[] = "/tmp/restbench.XXXXXX";
  if (mkdtemp(scratch) == nullptr) return 1;
  const std::string trust = std::string(scratch) + "/trust.pem";
  // The library's log goes nowhere, but every line is still formatted and written.
  setenv("WQOSDK_LOG_FILE", "/dev/null", 1);
  setenv("WQOSDK_CA_FILE", trust.c_str(), 1);
  // The command-line client login of Connect is not what is measured.
  OpenShiftSDKWrapper::WqProcess::SetRunner(
      [](const OpenShiftSDKWrapper::ProcessRequest&, std::string&, std::string&) { return 0; });

  wqsim::TestServer server;
  server.AddServiceAccountToken(kToken);
  if (!server.Start() || !server.WriteTrustPem(trust)) return 1;
  const std::string claim =
      ReadFile(std::string(WQ_BENCH_FIXTURE_DIR) + "/persistentvolumeclaim.bound.oso.json");
  server.Script("GET", kPath, wqsim::ScriptedAnswer::Json(200, claim));

  WQOpenShiftSDKWrapper sdk;
  if (!sdk.Connect(server.BaseUrl(), std::string("@@wqdelim@@bench"), kToken,
                   std::map<std::string, OpenShiftSDKWrapper::SSshLoginCreds>())) {
    std::fprintf(stderr, "login failed\n");
    return 1;
  }
  auto facadeCall = [&sdk] {
    SPersistentVolumeClaimInfoLib record;
    return sdk.GetPersistentVolumeClaimInfo("bench", "mypvc", record, 0) &&
           record.metadata.name == "mypvc";
  };

  // The bare loop sends what the library sends: the same URL, headers and TLS checks.
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CurlEasy handle(curl_easy_init());
  CURL* const curl = handle.get();
  const std::string url = server.BaseUrl() + kPath;
  CurlHeaderList headers;
  AppendCurlHeader(headers, (std::string("Authorization: Bearer ") + kToken).c_str());
  AppendCurlHeader(headers, "Accept: application/json");
  AppendCurlHeader(headers, "content-type: application/json;charset=UTF-8");
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_CAINFO, trust.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  auto bareCall = [&] {
    body.clear();
    long status = 0;
    return curl_easy_perform(curl) == CURLE_OK &&
           curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200 &&
           body == claim;
  };

  // Warm both connections up. Then the two alternate call by call, so that a
  // machine shared with other work slows both alike.
  for (int i = 0; i < 50; ++i) {
    Time(facadeCall);
    Time(bareCall);
  }
  std::vector<double> facade;
  std::vector<double> bare;
  for (int i = 0; i < calls; ++i) {
    facade.push_back(Time(facadeCall));
    bare.push_back(Time(bareCall));
  }
  const double facadeTotal = std::accumulate(facade.begin(), facade.end(), 0.0);
  const double bareTotal = std::accumulate(bare.begin(), bare.end(), 0.0);
  std::printf("%d calls each, interleaved; rates from the total time and from the median call\n",
              calls);
  std::printf(
      "GetPersistentVolumeClaimInfo through the facade: %7.0f calls/s, median %7.0f calls/s\n",
      calls / facadeTotal, 1 / Median(facade));
  std::printf(
      "bare libcurl GET, same URL, one connection:      %7.0f calls/s, median %7.0f calls/s\n",
      calls / bareTotal, 1 / Median(bare));
  std::printf("facade / bare: %.2f (total), %.2f (median)\n", bareTotal / facadeTotal,
              Median(bare) / Median(facade));

  // The handles go before the global state they use.
  handle.reset();
  headers.reset();
  curl_global_cleanup();
  unlink(trust.c_str());
  rmdir(scratch);
  return 0;
}
