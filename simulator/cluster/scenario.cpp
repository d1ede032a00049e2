#include "simulator/cluster/scenario.h"

#include <fstream>
#include <set>
#include <sstream>

namespace wqsim {

namespace {

struct ObjectSection {
  const char* key;
  const ResourceType* type;
};

// Creation order: what an object refers to exists before it.
const ObjectSection kSections[] = {{"projects", &kProjects},
                                   {"storageClasses", &kStorageClasses},
                                   {"persistentVolumes", &kVolumes},
                                   {"endpoints", &kEndpoints},
                                   {"secrets", &kSecrets},
                                   {"configMaps", &kConfigMaps},
                                   {"persistentVolumeClaims", &kClaims},
                                   {"deploymentConfigs", &kDeploymentConfigs},
                                   {"pods", &kPods}};

const char* const kSettingKeys[] = {"users",          "serviceAccountTokens", "storageNodes",
                                    "claimBindReads", "scaleReads",           "storageCommand",
                                    "dataDir"};

bool Fail(std::string& error, const std::string& why) {
  error = why;
  return false;
}

bool ReadStrings(const json::object& root, const char* key, std::vector<std::string>& out,
                 std::string& error) {
  const json::value* value = root.if_contains(key);
  if (value == nullptr) return true;
  if (!value->is_array())
    return Fail(error, std::string("\"") + key + "\" must be a list of strings");
  out.clear();
  for (const json::value& entry : value->get_array()) {
    if (!entry.is_string())
      return Fail(error, std::string("\"") + key + "\" must be a list of strings");
    out.emplace_back(entry.get_string().c_str());
  }
  return true;
}

bool ReadCount(const json::object& root, const char* key, int& out, std::string& error) {
  const json::value* value = root.if_contains(key);
  if (value == nullptr) return true;
  if (!value->is_int64() || value->get_int64() < 0) {
    return Fail(error, std::string("\"") + key + "\" must be a number of reads, 0 or more");
  }
  out = static_cast<int>(value->get_int64());
  return true;
}

bool ReadUsers(const json::object& root, Scenario& scenario, std::string& error) {
  const json::value* value = root.if_contains("users");
  if (value == nullptr) return true;
  const json::array* users = value->if_array();
  if (users == nullptr) return Fail(error, "\"users\" must be a list of {\"name\", \"password\"}");
  for (const json::value& entry : *users) {
    const json::object* user = entry.if_object();
    if (user == nullptr || StringAt(*user, "name").empty()) {
      return Fail(error, "every user needs a \"name\" (and a \"password\")");
    }
    scenario.users.emplace_back(StringAt(*user, "name"), StringAt(*user, "password"));
  }
  return true;
}

bool ReadObjects(const json::object& root, const ObjectSection& section, Scenario& scenario,
                 std::set<std::string>& namespaces, std::string& error) {
  const json::value* value = root.if_contains(section.key);
  if (value == nullptr) return true;
  if (!value->is_array()) return Fail(error, std::string("\"") + section.key + "\" must be a list");
  for (const json::value& entry : value->get_array()) {
    SeedObject seed{section.type, json::object()};
    if (section.type == &kProjects && entry.is_string()) {
      seed.object["metadata"] = json::object{{"name", entry.get_string()}};
    } else if (entry.is_object()) {
      seed.object = entry.get_object();
    } else {
      return Fail(error, std::string("every entry of \"") + section.key + "\" must be an object");
    }
    if (section.type == &kProjects) namespaces.insert(NameOf(seed.object));
    if (section.type->namespaced) {
      const std::string ns = NamespaceOf(seed.object);
      if (ns.empty()) {
        return Fail(error, std::string(section.type->kind) + " \"" + NameOf(seed.object) +
                               "\" names no metadata.namespace");
      }
      // A namespace used but not listed becomes a project of its own.
      if (namespaces.insert(ns).second) {
        scenario.objects.push_back(
            SeedObject{&kProjects, json::object{{"metadata", json::object{{"name", ns}}}}});
      }
    }
    scenario.objects.push_back(std::move(seed));
  }
  return true;
}

}  // namespace

bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error) {
  json::object root;
  std::string why;
  if (!ParseObject(text, root, why)) return Fail(error, "not a JSON object: " + why);
  for (const auto& member : root) {
    bool known = false;
    for (const char* key : kSettingKeys) known = known || member.key() == key;
    for (const ObjectSection& section : kSections) known = known || member.key() == section.key;
    if (!known) return Fail(error, "unknown member \"" + std::string(member.key()) + "\"");
  }
  Scenario parsed;
  parsed.storageCommand = StringAt(root, "storageCommand");
  parsed.dataDir = StringAt(root, "dataDir");
  if (!ReadUsers(root, parsed, error) ||
      !ReadStrings(root, "serviceAccountTokens", parsed.serviceAccountTokens, error) ||
      !ReadStrings(root, "storageNodes", parsed.settings.storageNodes, error) ||
      !ReadCount(root, "claimBindReads", parsed.settings.claimBindReads, error) ||
      !ReadCount(root, "scaleReads", parsed.settings.scaleReads, error)) {
    return false;
  }
  std::set<std::string> namespaces;
  for (const ObjectSection& section : kSections) {
    if (!ReadObjects(root, section, parsed, namespaces, error)) return false;
  }
  scenario = std::move(parsed);
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario& scenario, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return Fail(error, "cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  if (!ParseScenario(text.str(), scenario, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace wqsim
