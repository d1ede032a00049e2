#include "wrapper/readiness.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "host/luSleep.h"
#include "host/settings.h"
#include "host/uniqueFd.h"

namespace OpenShiftSDKWrapper {

namespace {

const unsigned long kPollMs = 1000;
const char* const kProbeName = ".wqosdk-mount-probe";

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// mountinfo writes blanks, tabs, line feeds and backslashes of paths as "\ooo".
std::string UnescapeMountPath(const std::string& text) {
  std::string path;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string octal = text.substr(i + 1, 3);
      if (octal.find_first_not_of("01234567") == std::string::npos) {
        path += static_cast<char>(std::strtol(octal.c_str(), nullptr, 8));
        i += 3;
        continue;
      }
    }
    path += text[i];
  }
  return path;
}

}  // namespace

ReadinessWait WaitUntilReady(unsigned long limitMs, const char* sourceFile,
                             const std::function<bool()>& ready) {
  const auto start = std::chrono::steady_clock::now();
  const double scale = Settings::GetNumber("WQOSDK_SLEEP_SCALE", 1.0);
  ReadinessWait wait;
  unsigned long slept = 0;
  for (;;) {
    ++wait.checks;
    const double realMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const unsigned long clockMs =
        scale > 0 ? static_cast<unsigned long>(std::min(realMs / scale, double(ULONG_MAX / 2))) : 0;
    wait.waitedMs = std::max(slept, clockMs);
    if (ready()) {
      wait.ready = true;
      return wait;
    }
    if (wait.waitedMs >= limitMs) break;
    const unsigned long step = std::min(kPollMs, limitMs - wait.waitedMs);
    LUSLEEP(step, sourceFile, __LINE__);
    slept += step;
  }
  return wait;
}

bool AllBricksOnline(const std::string& volumeStatus) {
  std::istringstream in(volumeStatus);
  std::vector<std::vector<std::string>> bricks;
  bool inBrick = false;
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words.front().find("---") == 0) {
      inBrick = false;
      continue;
    }
    if (words.front() == "Brick") {
      bricks.push_back(words);
      inBrick = words.size() < 6;  // name, then TCP port, RDMA port, Online, Pid
      continue;
    }
    if (inBrick) {
      // The columns of a brick whose name filled the line.
      bricks.back().insert(bricks.back().end(), words.begin(), words.end());
      inBrick = bricks.back().size() < 6;
      continue;
    }
    if (words.front() == "Task" || words.front() == "Self-heal" || words.front() == "NFS") {
      inBrick = false;
    }
  }
  if (bricks.empty()) return false;
  return std::all_of(bricks.begin(), bricks.end(), [](const std::vector<std::string>& brick) {
    return brick.size() >= 6 && brick[brick.size() - 2] == "Y";
  });
}

bool IsGlusterMountAt(const std::string& mountinfo, const std::string& directory) {
  std::istringstream in(mountinfo);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = Words(line);
    // id parent major:minor root mount-point options [optional fields] - type source ...
    const auto separator = std::find(words.begin(), words.end(), "-");
    if (words.size() < 5 || separator == words.end() || separator + 1 == words.end()) continue;
    if (*(separator + 1) == "fuse.glusterfs" && UnescapeMountPath(words[4]) == directory) {
      return true;
    }
  }
  return false;
}

bool GlusterMountAnswers(const std::string& directory) {
  char resolved[PATH_MAX];
  if (::realpath(directory.c_str(), resolved) == nullptr) return false;
  std::ifstream file("/proc/self/mountinfo");
  std::stringstream text;
  text << file.rdbuf();
  if (!IsGlusterMountAt(text.str(), resolved)) return false;
  const std::string probe = std::string(resolved) + "/" + kProbeName;
  UniqueFd fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.IsOpen()) return false;
  fd.Reset();  // closed before the name goes
  return ::unlink(probe.c_str()) == 0;
}

}  // namespace OpenShiftSDKWrapper
