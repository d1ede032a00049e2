#pragma once
// Shared helpers of the simulator tests: a small libcurl client that trusts the simulator's
// certificate, and a fixture that runs a simulated cluster with two projects and two
// storage classes.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <memory>
#include <string>

#include "simulator/cluster/clusterSimulator.h"

namespace wqsim {
namespace testing {

const char* const kToken = "simulator-test-token-0123456789abcdefghijklm";

struct HttpResult {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
};

inline size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// One request over HTTPS with the bearer token; the certificate is checked against `trustPem`.
inline HttpResult Send(const std::string& baseUrl, const std::string& trustPem,
                       const std::string& method, const std::string& path,
                       const std::string& body = std::string(), const std::string& token = kToken) {
  HttpResult result;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    result.code = CURLE_FAILED_INIT;
    return result;
  }
  const std::string url = baseUrl + path;
  curl_blob trust{const_cast<char*>(trustPem.data()), trustPem.size(), CURL_BLOB_COPY};
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, ("Authorization: Bearer " + token).c_str());
  headers = curl_slist_append(headers, "Content-Type: application/json");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &trust);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  if (!body.empty() || method == "POST" || method == "PUT") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  result.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return result;
}

inline boost::json::object ParsedObject(const std::string& text) {
  boost::json::error_code code;
  boost::json::value value = boost::json::parse(text, code);
  return !code && value.is_object() ? value.get_object() : boost::json::object();
}

// Text of the member at a '/'-separated path of object members ("metadata/name"); empty
// when any step is missing or the value is not a string.
inline std::string At(const boost::json::object& object, const std::string& path) {
  const boost::json::object* current = &object;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const boost::json::value* value = current->if_contains(path.substr(start, slash - start));
    if (value == nullptr) return std::string();
    if (slash == std::string::npos) {
      return value->is_string() ? std::string(value->get_string().c_str())
                                : boost::json::serialize(*value);
    }
    current = value->if_object();
    if (current == nullptr) return std::string();
    start = slash + 1;
  }
}

// Text of one member whose name may itself hold '/' (annotation keys).
inline std::string Annotation(const boost::json::object& object, const std::string& key) {
  const boost::json::value* metadata = object.if_contains("metadata");
  const boost::json::value* annotations = metadata != nullptr && metadata->is_object()
                                              ? metadata->as_object().if_contains("annotations")
                                              : nullptr;
  const boost::json::value* value = annotations != nullptr && annotations->is_object()
                                        ? annotations->as_object().if_contains(key)
                                        : nullptr;
  return value != nullptr && value->is_string() ? std::string(value->get_string().c_str())
                                                : std::string();
}

// Fixture scenario: projects "demo" and "other", a GlusterFS storage class
// "glusterfs-storage" and a class "manual" that provisions nothing.
inline Scenario BaseScenario() {
  Scenario scenario;
  std::string error;
  const bool parsed = ParseScenario(
      R"({"users": [{"name": "developer", "password": "secret"}],
          "serviceAccountTokens": [")" +
          std::string(kToken) + R"("],
          "storageNodes": ["10.0.0.11", "10.0.0.12"],
          "projects": ["demo", "other"],
          "storageClasses": [
            {"metadata": {"name": "glusterfs-storage"}, "provisioner": "kubernetes.io/glusterfs",
             "parameters": {"resturl": "http://heketi:8080", "gidMin": "40000"}},
            {"metadata": {"name": "manual"}, "provisioner": "kubernetes.io/no-provisioner",
             "reclaimPolicy": "Retain"}]})",
      scenario, error);
  EXPECT_TRUE(parsed) << error;
  return scenario;
}

class SimulatorTest : public ::testing::Test {
 protected:
  // Tests that need other settings adjust `scenario_` before calling StartCluster().
  void SetUp() override { scenario_ = BaseScenario(); }

  void StartCluster() {
    simulator_.reset(new ClusterSimulator(scenario_));
    std::string error;
    ASSERT_TRUE(simulator_->Start(error)) << error;
  }

  HttpResult Call(const std::string& method, const std::string& path,
                  const std::string& body = std::string()) {
    return Send(simulator_->BaseUrl(), simulator_->Server().TrustPem(), method, path, body);
  }
  boost::json::object GetObject(const std::string& path) {
    HttpResult result = Call("GET", path);
    EXPECT_EQ(200, result.status) << path << ": " << result.body;
    return ParsedObject(result.body);
  }
  HttpResult Post(const std::string& path, const std::string& body) {
    return Call("POST", path, body);
  }

  Scenario scenario_;
  std::unique_ptr<ClusterSimulator> simulator_;
};

}  // namespace testing
}  // namespace wqsim
