#include "simulator/cluster/storageProvisioner.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace wqsim {

namespace {

const char* const kGlusterProvisioner = "kubernetes.io/glusterfs";
const char* const kEndpointsPrefix = "glusterfs-dynamic-";
const char* const kBetaClassAnnotation = "volume.beta.kubernetes.io/storage-class";
const long long kDefaultGidMin = 2000;

std::string RequestedStorage(const json::object& claim) {
  const json::object* spec = ObjectAt(claim, "spec");
  const json::object* resources = spec != nullptr ? ObjectAt(*spec, "resources") : nullptr;
  const json::object* requests = resources != nullptr ? ObjectAt(*resources, "requests") : nullptr;
  return requests != nullptr ? StringAt(*requests, "storage") : std::string();
}

json::array AccessModes(const json::object& object) {
  const json::object* spec = ObjectAt(object, "spec");
  const json::array* modes = spec != nullptr ? ArrayAt(*spec, "accessModes") : nullptr;
  return modes != nullptr ? *modes : json::array();
}

bool CoversModes(const json::array& offered, const json::array& wanted) {
  return std::all_of(wanted.begin(), wanted.end(), [&](const json::value& mode) {
    return std::find(offered.begin(), offered.end(), mode) != offered.end();
  });
}

std::string Phase(const json::object& object) {
  const json::object* status = ObjectAt(object, "status");
  return status != nullptr ? StringAt(*status, "phase") : std::string();
}

void SetPhase(json::object& object, const char* phase) {
  json::object& status = EnsureObject(object, "status");
  status["phase"] = phase;
}

bool ClaimRefNames(const json::object& volume, const json::object& claim) {
  const json::object* spec = ObjectAt(volume, "spec");
  const json::object* ref = spec != nullptr ? ObjectAt(*spec, "claimRef") : nullptr;
  if (ref == nullptr) return false;
  const std::string uid = StringAt(*ref, "uid");
  return StringAt(*ref, "name") == NameOf(claim) &&
         StringAt(*ref, "namespace") == NamespaceOf(claim) && (uid.empty() || uid == UidOf(claim));
}

bool HasClaimRef(const json::object& volume) {
  const json::object* spec = ObjectAt(volume, "spec");
  return spec != nullptr && ObjectAt(*spec, "claimRef") != nullptr;
}

void Annotate(json::object& object, const char* key, const std::string& value) {
  EnsureObject(EnsureObject(object, "metadata"), "annotations")[key] = value;
  SortMembers(*ObjectAt(*ObjectAt(object, "metadata"), "annotations"));
}

std::string ParameterOf(const json::object& storageClass, const char* key) {
  const json::object* parameters = ObjectAt(storageClass, "parameters");
  return parameters != nullptr ? StringAt(*parameters, key) : std::string();
}

int RunShell(const std::string& commandLine) {
  const char* argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

StorageHook DirectoryStorageHook(const std::string& dataDir) {
  return [dataDir](const std::string& action, const std::string& volume, std::string& error) {
    std::error_code code;
    const std::filesystem::path path = std::filesystem::path(dataDir) / volume;
    if (action == "create") {
      std::filesystem::create_directories(path, code);
    } else {
      std::filesystem::remove_all(path, code);
    }
    if (code) error = path.string() + ": " + code.message();
    return !code;
  };
}

StorageHook CommandStorageHook(const std::string& command) {
  return [command](const std::string& action, const std::string& volume, std::string& error) {
    const std::string line = command + " " + action + " " + volume;
    const int status = RunShell(line);
    if (status != 0) error = "\"" + line + "\" ended with status " + std::to_string(status);
    return status == 0;
  };
}

std::string ClaimStorageClass(const json::object& claim) {
  const json::object* spec = ObjectAt(claim, "spec");
  if (spec != nullptr && spec->contains("storageClassName")) {
    return StringAt(*spec, "storageClassName");
  }
  const json::object* metadata = ObjectAt(claim, "metadata");
  const json::object* annotations =
      metadata != nullptr ? ObjectAt(*metadata, "annotations") : nullptr;
  return annotations != nullptr ? StringAt(*annotations, kBetaClassAnnotation) : std::string();
}

long double QuantityBytes(const std::string& quantity) {
  struct Suffix {
    const char* text;
    long double factor;
  };
  static const Suffix suffixes[] = {{"Ki", 1024.0L},
                                    {"Mi", 1048576.0L},
                                    {"Gi", 1073741824.0L},
                                    {"Ti", 1099511627776.0L},
                                    {"Pi", 1125899906842624.0L},
                                    {"Ei", 1152921504606846976.0L},
                                    {"k", 1e3L},
                                    {"M", 1e6L},
                                    {"G", 1e9L},
                                    {"T", 1e12L},
                                    {"P", 1e15L},
                                    {"E", 1e18L},
                                    {"m", 1e-3L}};
  size_t digits = 0;
  while (digits < quantity.size() &&
         (std::isdigit(static_cast<unsigned char>(quantity[digits])) || quantity[digits] == '.')) {
    ++digits;
  }
  if (digits == 0) return -1;
  const long double number = std::strtold(quantity.substr(0, digits).c_str(), nullptr);
  const std::string suffix = quantity.substr(digits);
  if (suffix.empty()) return number;
  for (const Suffix& entry : suffixes) {
    if (suffix == entry.text) return number * entry.factor;
  }
  return -1;
}

StorageProvisioner::StorageProvisioner(ClusterStore& store, ProvisionerSettings settings)
    : store_(store), settings_(std::move(settings)) {}

void StorageProvisioner::ClaimCreated(json::object& claim) {
  claim["status"] = json::object{{"phase", "Pending"}};
  const json::object* storageClass = store_.Find(kStorageClasses, "", ClaimStorageClass(claim));
  if (storageClass != nullptr && StringAt(*storageClass, "provisioner") == kGlusterProvisioner) {
    Annotate(claim, "volume.beta.kubernetes.io/storage-provisioner", kGlusterProvisioner);
  }
  readsLeft_[UidOf(claim)] = settings_.bindReads;
}

void StorageProvisioner::ClaimRead(json::object& claim) {
  if (Phase(claim) == "Bound") return;
  int& left = readsLeft_[UidOf(claim)];
  if (left > 0) {
    --left;
    return;
  }
  TryBind(claim);
}

void StorageProvisioner::Settle() {
  for (json::object* claim : store_.List(kClaims, "")) {
    if (Phase(*claim) != "Bound") TryBind(*claim);
  }
}

bool StorageProvisioner::TryBind(json::object& claim) {
  json::object* volume = nullptr;
  const json::object* spec = ObjectAt(claim, "spec");
  const std::string wantedVolume = spec != nullptr ? StringAt(*spec, "volumeName") : std::string();
  if (!wantedVolume.empty()) {
    volume = store_.Find(kVolumes, "", wantedVolume);
    if (volume == nullptr || (HasClaimRef(*volume) && !ClaimRefNames(*volume, claim))) return false;
    Bind(claim, *volume, false);
    return true;
  }
  volume = MatchingVolume(claim);
  if (volume == nullptr) {
    const json::object* storageClass = store_.Find(kStorageClasses, "", ClaimStorageClass(claim));
    if (storageClass == nullptr || StringAt(*storageClass, "provisioner") != kGlusterProvisioner) {
      return false;
    }
    volume = Provision(claim, *storageClass);
    if (volume == nullptr) return false;
  }
  Bind(claim, *volume, true);
  return true;
}

json::object* StorageProvisioner::MatchingVolume(const json::object& claim) {
  const std::string storageClass = ClaimStorageClass(claim);
  const long double wanted = QuantityBytes(RequestedStorage(claim));
  const json::array modes = AccessModes(claim);
  json::object* best = nullptr;
  long double bestSize = 0;
  for (json::object* volume : store_.List(kVolumes, "")) {
    const json::object* spec = ObjectAt(*volume, "spec");
    if (spec == nullptr || Phase(*volume) != "Available") continue;
    if (StringAt(*spec, "storageClassName") != storageClass) continue;
    if (HasClaimRef(*volume) && !ClaimRefNames(*volume, claim)) continue;
    const json::object* capacity = ObjectAt(*spec, "capacity");
    const long double size =
        QuantityBytes(capacity != nullptr ? StringAt(*capacity, "storage") : "");
    if (size < wanted || !CoversModes(AccessModes(*volume), modes)) continue;
    if (best == nullptr || size < bestSize) {
      best = volume;
      bestSize = size;
    }
  }
  return best;
}

json::object* StorageProvisioner::Provision(json::object& claim, const json::object& storageClass) {
  const std::string volumeName = "vol_" + RandomHex(32);
  std::string error;
  if (settings_.hook && !settings_.hook("create", volumeName, error)) return nullptr;
  liveVolumes_.push_back(volumeName);

  const std::string ns = NamespaceOf(claim);
  const std::string claimName = NameOf(claim);
  const std::string endpointsName = kEndpointsPrefix + claimName;
  json::array addresses;
  for (const std::string& node : settings_.storageNodes)
    addresses.push_back(json::object{{"ip", node}});
  json::object endpoints{
      {"metadata",
       json::object{
           {"name", endpointsName},
           {"labels", json::object{{"gluster.kubernetes.io/provisioned-for-pvc", claimName}}}}},
      {"subsets", json::array{json::object{
                      {"addresses", std::move(addresses)},
                      {"ports", json::array{json::object{{"port", 1}, {"protocol", "TCP"}}}}}}}};
  json::object removed;
  store_.Remove(kEndpoints, ns, endpointsName, removed);
  store_.Insert(kEndpoints, ns, std::move(endpoints));

  if (nextGid_ == 0) {
    const std::string gidMin = ParameterOf(storageClass, "gidMin");
    nextGid_ = gidMin.empty() ? kDefaultGidMin : std::atoll(gidMin.c_str());
  }
  std::string reclaimPolicy = StringAt(storageClass, "reclaimPolicy");
  if (reclaimPolicy.empty()) reclaimPolicy = "Delete";
  json::object volume{
      {"metadata",
       json::object{{"name", "pvc-" + UidOf(claim)},
                    {"annotations",
                     json::object{{"Description", "Gluster-Internal: Dynamically provisioned PV"},
                                  {"gluster.kubernetes.io/heketi-volume-id", volumeName.substr(4)},
                                  {"gluster.org/type", "file"},
                                  {"kubernetes.io/createdby", "heketi-dynamic-provisioner"},
                                  {"pv.beta.kubernetes.io/gid", std::to_string(nextGid_++)},
                                  {"pv.kubernetes.io/provisioned-by", kGlusterProvisioner}}},
                    {"finalizers", json::array{"kubernetes.io/pv-protection"}}}},
      {"spec",
       json::object{{"capacity", json::object{{"storage", RequestedStorage(claim)}}},
                    {"glusterfs", json::object{{"endpoints", endpointsName}, {"path", volumeName}}},
                    {"accessModes", AccessModes(claim)},
                    {"persistentVolumeReclaimPolicy", reclaimPolicy},
                    {"storageClassName", NameOf(storageClass)}}},
      {"status", json::object{{"phase", "Available"}}}};
  return &store_.Insert(kVolumes, "", std::move(volume));
}

void StorageProvisioner::Bind(json::object& claim, json::object& volume,
                              bool volumeChosenByController) {
  json::object& volumeSpec = EnsureObject(volume, "spec");
  json::object ref{{"kind", "PersistentVolumeClaim"},
                   {"namespace", NamespaceOf(claim)},
                   {"name", NameOf(claim)},
                   {"uid", UidOf(claim)},
                   {"apiVersion", "v1"},
                   {"resourceVersion", ResourceVersionOf(claim)}};
  // The claim reference sits after the access modes, where the server writes it.
  json::object reordered;
  for (auto& member : volumeSpec) {
    if (member.key() == "claimRef") continue;
    reordered.emplace(member.key(), std::move(member.value()));
    if (member.key() == "accessModes") reordered.emplace("claimRef", ref);
  }
  if (!reordered.contains("claimRef")) reordered.emplace("claimRef", ref);
  volumeSpec = std::move(reordered);
  const json::object* capacity = ObjectAt(volumeSpec, "capacity");
  json::object claimStatus{{"phase", "Bound"},
                           {"accessModes", AccessModes(volume)},
                           {"capacity", capacity != nullptr ? *capacity : json::object()}};
  Annotate(volume, "pv.kubernetes.io/bound-by-controller", "yes");
  SetPhase(volume, "Bound");
  store_.Touch(volume);

  EnsureObject(claim, "spec")["volumeName"] = NameOf(volume);
  Annotate(claim, "pv.kubernetes.io/bind-completed", "yes");
  if (volumeChosenByController) Annotate(claim, "pv.kubernetes.io/bound-by-controller", "yes");
  claim["status"] = std::move(claimStatus);
  store_.Touch(claim);
  readsLeft_.erase(UidOf(claim));
}

void StorageProvisioner::ClaimDeleted(const json::object& claim) {
  readsLeft_.erase(UidOf(claim));
  const json::object* spec = ObjectAt(claim, "spec");
  const std::string volumeName = spec != nullptr ? StringAt(*spec, "volumeName") : std::string();
  json::object* volume = volumeName.empty() ? nullptr : store_.Find(kVolumes, "", volumeName);
  if (volume == nullptr || !ClaimRefNames(*volume, claim)) return;
  const json::object& volumeSpec = *ObjectAt(*volume, "spec");
  if (StringAt(volumeSpec, "persistentVolumeReclaimPolicy") != "Delete") {
    SetPhase(*volume, "Released");
    store_.Touch(*volume);
    return;
  }
  const json::object* gluster = ObjectAt(volumeSpec, "glusterfs");
  if (gluster != nullptr) {
    const std::string glusterVolume = StringAt(*gluster, "path");
    auto live = std::find(liveVolumes_.begin(), liveVolumes_.end(), glusterVolume);
    if (live != liveVolumes_.end()) {
      std::string error;
      if (settings_.hook) settings_.hook("delete", glusterVolume, error);
      liveVolumes_.erase(live);
      // The provisioner created these endpoints for the volume and removes them with it.
      json::object removed;
      store_.Remove(kEndpoints, NamespaceOf(claim), StringAt(*gluster, "endpoints"), removed);
    }
  }
  json::object removed;
  store_.Remove(kVolumes, "", volumeName, removed);
}

void StorageProvisioner::VolumeCreated(json::object& volume) {
  json::object& spec = EnsureObject(volume, "spec");
  if (!spec.contains("persistentVolumeReclaimPolicy"))
    spec["persistentVolumeReclaimPolicy"] = "Retain";
  const json::object* ref = ObjectAt(spec, "claimRef");
  const json::object* claim =
      ref != nullptr ? store_.Find(kClaims, StringAt(*ref, "namespace"), StringAt(*ref, "name"))
                     : nullptr;
  const json::object* claimSpec = claim != nullptr ? ObjectAt(*claim, "spec") : nullptr;
  const bool bound = claimSpec != nullptr && StringAt(*claimSpec, "volumeName") == NameOf(volume) &&
                     Phase(*claim) == "Bound";
  volume["status"] = json::object{{"phase", bound ? "Bound" : "Available"}};
}

}  // namespace wqsim
