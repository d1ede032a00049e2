#pragma once
// The files of the built-in sample application's volumes: what is written into them when
// the built-in cluster starts, and what a listing of them must show afterwards.
#include <sys/types.h>

#include <string>
#include <vector>

#include "tools/wqosctl/fileTree.h"

namespace wqosctl {

struct SampleFile {
  std::string claim;  // the claim whose volume holds it
  std::string path;   // relative to the volume's root
  char type;          // 'f', 'd' or 'l'
  mode_t mode;
  uid_t uid;
  gid_t gid;
  int64_t mtime;
  std::string content;  // the bytes of a file, the target of a link
};

// Namespace, deployment config and claims of the sample application.
extern const char* const kSampleNamespace;
extern const char* const kSampleDeploymentConfig;
extern const char* const kSampleQuiesceAnnotation;
extern const char* const kSampleUnquiesceAnnotation;
std::vector<std::string> SampleClaims();

const std::vector<SampleFile>& SampleFiles();

// Writes the sample files of `claim` below `root` (the mounted volume), parents first and
// directory times last. On false `error` names the file.
bool WriteSampleFiles(const std::string& claim, const std::string& root, std::string& error);

// What ListTree with digests must show for the volume of `claim`.
std::vector<FileEntry> ExpectedSampleEntries(const std::string& claim);

}  // namespace wqosctl
