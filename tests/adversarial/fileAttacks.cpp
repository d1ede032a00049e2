// Attacks through files. (a) A volume's content: dot entries, GlusterFS's .trashcan, special
// files, hard links, links pointing out of the volume and nested directories, backed up with
// --copy-data and restored into a reused claim pre-filled with entries and links to host
// paths; the volume, its copy and the restored claim must be alike, byte for byte and entry
// for entry, and nothing outside may change. (b) Links and non-regular files planted at every
// path wqosctl reads or writes: nothing outside may change, and the program ends in bounded
// time with a message, never hanging or aborting.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "tests/testing/builtInCluster.h"
#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/sampleApp.h"

namespace {

using wqosctl::Invocation;

// The campaign's own view of a tree, independent of the code it checks: one line per entry
// below `root` (GlusterFS's .trashcan at the top left out) with its type, mode, owner,
// group, bytes or link target or device number, the first name of its inode when it has
// several, and, `withTimes`, its modification time (directories' times aside).
using Tree = std::map<std::string, std::string>;

Tree Listing(const std::string& root, bool withTimes) {
  Tree tree;
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    DIR* dir = opendir((root + "/" + relative).c_str());
    if (dir == nullptr) {
      ADD_FAILURE() << "cannot list " << root << "/" << relative;
      continue;
    }
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || (relative.empty() && name == ".trashcan")) continue;
      const std::string path = relative.empty() ? name : relative + "/" + name;
      struct stat info {};
      if (lstat((root + "/" + path).c_str(), &info) != 0) {
        ADD_FAILURE() << "cannot stat " << path;
        continue;
      }
      std::ostringstream line;
      line << std::oct << info.st_mode << std::dec << " " << info.st_uid << ":" << info.st_gid;
      if (S_ISREG(info.st_mode)) {
        line << " bytes " << std::hash<std::string>()(wqtest::ReadFile(root + "/" + path)) << "/"
             << info.st_size;
      } else if (S_ISLNK(info.st_mode)) {
        char target[4096] = {0};
        line << " -> "
             << std::string(target, readlink((root + "/" + path).c_str(), target, sizeof target));
      } else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        line << " device " << major(info.st_rdev) << "," << minor(info.st_rdev);
      } else if (S_ISDIR(info.st_mode)) {
        pending.push_back(path);
      }
      if (!S_ISDIR(info.st_mode) && withTimes) {
        line << " mtime " << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec;
      }
      tree[path] = line.str();
    }
    closedir(dir);
  }
  // Hard links: every later name of an inode names the first of them in path order.
  std::map<std::pair<dev_t, ino_t>, std::string> first;
  for (auto& entry : tree) {
    struct stat info {};
    if (lstat((root + "/" + entry.first).c_str(), &info) != 0 || S_ISDIR(info.st_mode) ||
        info.st_nlink < 2) {
      continue;
    }
    const auto known = first.emplace(std::make_pair(info.st_dev, info.st_ino), entry.first);
    if (!known.second) entry.second += " inode of " + known.first->second;
  }
  return tree;
}

// A directory of files that no command may touch, with its listing taken when made.
struct Outside {
  explicit Outside(const std::string& root) : root(root) {
    std::filesystem::create_directories(root + "/dir");
    wqtest::WriteFile(file(), "host file\n");
    wqtest::WriteFile(root + "/dir/kept", "host dir file\n");
    before = Listing(root, true);
  }
  std::string file() const { return root + "/file"; }
  std::string dir() const { return root + "/dir"; }
  Tree Now() const { return Listing(root, true); }
  std::string root;
  Tree before;
};

class FileAttacks : public wqtest::BuiltInClusterSuite {
 protected:
  // Runs `change` on the live volume of `claim` mounted at a directory of its own.
  template <typename Change>
  static void OnVolume(const std::string& claim, Change change) {
    const std::string mount = cluster->WorkDir() + "/live-" + claim;
    std::string error;
    ASSERT_TRUE(cluster->MountVolume(VolumeOf(claim), mount, error)) << error;
    change(mount);
    ASSERT_TRUE(cluster->UnmountVolume(mount, error)) << error;
  }
};

// What a tenant may put into a volume. Kinds: 'd' directory, 'f' file (text), 'l' link
// (target), 'h' hard link (of), 'p' FIFO, 's' socket, 'c' character device.
struct Planted {
  const char* path;
  char kind;
  std::string text;
  mode_t mode;
  uid_t uid;
};

// Makes the entry; false when this host cannot (a device node without the right to make
// one), so that the row is left out of the comparison rather than failing it.
bool Plant(const std::string& root, const Planted& entry) {
  const std::string path = root + "/" + entry.path;
  const std::string other = entry.kind == 'h' ? root + "/" + entry.text : entry.text;
  const mode_t special = entry.kind == 'p' ? S_IFIFO : entry.kind == 's' ? S_IFSOCK : S_IFCHR;
  if (entry.kind == 'f') wqtest::WriteFile(path, entry.text);
  const int rc = entry.kind == 'f'   ? 0
                 : entry.kind == 'd' ? mkdir(path.c_str(), entry.mode)
                 : entry.kind == 'l' ? symlink(other.c_str(), path.c_str())
                 : entry.kind == 'h' ? link(other.c_str(), path.c_str())
                                     : mknod(path.c_str(), special | entry.mode, makedev(1, 3));
  if (rc != 0) return false;
  if (entry.kind != 'l' && entry.kind != 'h') chmod(path.c_str(), entry.mode);
  return lchown(path.c_str(), entry.uid, entry.uid) == 0;
}

TEST_F(FileAttacks, VolumeContentIsCopiedWholeAndNoLinkSteersAWrite) {
  Outside outside(cluster->WorkDir() + "/outside-a");
  const std::vector<Planted> content = {
      {".env", 'f', "SECRET=1\n", 0600, 1001},
      {".git", 'd', "", 0750, 1001},
      {".git/config", 'f', "[core]\n", 0644, 1001},
      {".trashcan/old", 'f', "GlusterFS's own\n", 0644, 0},
      {"nested", 'd', "", 0755, 1002},
      {"nested/deeper", 'd', "", 0700, 1002},
      {"nested/deeper/.hidden", 'f', "deep\n", 04755, 1002},
      {"pipe", 'p', "", 0640, 1001},
      {"socket", 's', "", 0660, 1001},
      {"null", 'c', "", 0666, 0},
      {"first", 'f', "one inode, two names\n", 0640, 1001},
      {"nested/second", 'h', "first", 0640, 1001},
      {".abs", 'l', outside.file(), 0777, 1001},
      {"nested/up", 'l', "../../../../../../" + outside.dir(), 0777, 1002},
  };
  std::vector<std::string> notMade;
  Tree volume;
  OnVolume("web-data", [&](const std::string& root) {
    mkdir((root + "/.trashcan").c_str(), 0755);
    for (const Planted& entry : content) {
      if (!Plant(root, entry)) notMade.push_back(entry.path);
    }
    volume = Listing(root, false);
  });
  EXPECT_LE(notMade.size(), 1u) << "only a device node may be beyond this host: "
                                << testing::PrintToString(notMade);

  const std::string dir = cluster->WorkDir() + "/backup-a";
  Invocation backup;
  backup.command = "backup";
  backup.positional = {wqosctl::kSampleDeploymentConfig};
  backup.dir = dir;
  backup.copyData = true;
  ASSERT_EQ(RunTool(backup), wqosctl::kExitOk);
  // The snapshot as mounted and the copy both hold the volume whole, .trashcan left out.
  // (The sandbox's snapshots take the brick's times, which differ from the client's in the
  // nanoseconds; from the snapshot on, times are compared too.)
  const Tree copy = Listing(dir + "/data/web-data", true);
  EXPECT_EQ(volume, Listing(dir + "/web-data", false));
  EXPECT_EQ(Listing(dir + "/web-data", true), copy);
  EXPECT_FALSE(std::filesystem::exists(dir + "/data/web-data/.trashcan"));
  Invocation release;
  release.command = "release";
  release.dir = dir;
  ASSERT_EQ(RunTool(release), wqosctl::kExitOk);

  // The claim is then reused: whatever it holds (dot entries, links to the host where the
  // backup has a file or a directory of the same name) must go, and nothing through them.
  const std::vector<Planted> spoil = {
      {".env", 'l', outside.file(), 0777, 0},          {".git", 'l', outside.dir(), 0777, 0},
      {".extra", 'f', "not in the backup\n", 0644, 0}, {".cache", 'd', "", 0755, 0},
      {".cache/up", 'l', outside.root, 0777, 0},
  };
  OnVolume("web-data", [&](const std::string& root) {
    for (const Planted& entry : spoil) {
      std::filesystem::remove_all(root + "/" + entry.path);
      EXPECT_TRUE(Plant(root, entry)) << entry.path;
    }
  });
  Invocation restore;
  restore.command = "restore";
  restore.positional = {wqosctl::kSampleDeploymentConfig};
  restore.from = dir;
  restore.reuse = true;
  EXPECT_EQ(RunTool(restore), wqosctl::kExitOk);
  OnVolume("web-data", [&](const std::string& root) { EXPECT_EQ(copy, Listing(root, true)); });
  EXPECT_EQ(outside.Now(), outside.before);
}

// (b) The program itself, run with the built-in cluster of this sandbox.
struct PlantRow {
  const char* label;
  const char* command;  // backup, copy (backup --copy-data), release, restore, login
  const char* path;     // relative to the backup directory
  char kind;            // 'l' link, 'p' FIFO, 'd' directory, 'o' backup directory mode 0777
  const char* target;   // of a link: below the outside directory, or absolute
  bool mustFail;        // false: the planted entry may simply be replaced
};

const PlantRow kPlantRows[] = {
    {"secret export through a link", "backup", "secret_web-secret", 'l', "file", false},
    {"deployment config export through a link", "backup", "deploymentconfig_web", 'l', "file",
     false},
    {"manifest temporary through a link", "backup", "manifest.json.tmp", 'l', "file", false},
    {"manifest through a link", "backup", "manifest.json", 'l', "file", false},
    {"data directory a link", "copy", "data", 'l', "dir", true},
    {"claim copy directory a link", "copy", "data/web-data", 'l', "dir", true},
    {"backup directory open to others", "backup", "", 'o', "", true},
    {"release: manifest a FIFO", "release", "manifest.json", 'p', "", true},
    {"release: manifest a directory", "release", "manifest.json", 'd', "", true},
    {"release: manifest /dev/zero", "release", "manifest.json", 'l', "/dev/zero", true},
    {"restore: manifest a FIFO", "restore", "manifest.json", 'p', "", true},
    {"restore: manifest a directory", "restore", "manifest.json", 'd', "", true},
    {"restore: manifest /dev/zero", "restore", "manifest.json", 'l', "/dev/zero", true},
    {"restore: manifest a link", "restore", "manifest.json", 'l', "file", true},
    {"password file a FIFO", "login", "password", 'p', "", true},
    {"password file a directory", "login", "password", 'd', "", true},
    {"password file /dev/zero", "login", "password", 'l', "/dev/zero", true},
    {"password file a link", "login", "password", 'l', "file", true},
};

// Seconds a command may take; a read that blocks on a FIFO or floods memory ends there.
const char* const kDeadlineSeconds = "60";

TEST_F(FileAttacks, PlantedLinksAndSpecialFilesNeitherHangNorLeak) {
  wqtest::Environment env = wqtest::CleanEnv();
  env["WQOSCTL_SANDBOXED"] = "1";
  env["WQOSCTL_PASSWORD"] = "a-password-of-the-campaign";
  int row = 0;
  for (const PlantRow& plant : kPlantRows) {
    SCOPED_TRACE(plant.label);
    const std::string base = cluster->WorkDir() + "/planted-" + std::to_string(row++);
    const std::string dir = base + "/backup";
    std::filesystem::create_directories(dir);
    chmod(dir.c_str(), 0700);
    Outside outside(base + "/outside");
    const std::string path = dir + "/" + plant.path;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string target =
        plant.target[0] == '/' ? plant.target : outside.root + "/" + plant.target;
    if (plant.kind == 'o') {
      ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    } else {
      ASSERT_TRUE(Plant(dir, Planted{plant.path, plant.kind, target, 0700, 0}));
    }
    const std::string command = plant.command;
    if (command == "backup" || command == "copy") {
      // In this process, so that a backup that goes through is released again.
      Invocation backup;
      backup.command = "backup";
      backup.positional = {wqosctl::kSampleDeploymentConfig};
      backup.dir = dir;
      backup.copyData = command == "copy";
      const int code = RunTool(backup);
      EXPECT_TRUE(code == wqosctl::kExitFailed || (!plant.mustFail && code == 0)) << code;
      Invocation release;
      release.command = "release";
      release.dir = dir;
      if (code == 0) {
        EXPECT_EQ(RunTool(release), wqosctl::kExitOk);
      }
      EXPECT_EQ(outside.Now(), outside.before);
      continue;
    }
    std::vector<std::string> args = {"get",       "projects",        "--user",
                                     "developer", "--password-file", path};
    if (command == "release") args = {"release", "--dir", dir};
    if (command == "restore") args = {"restore", "web", "-n", "demo", "--from", dir};
    // A bounded run with bounded memory: a read of /dev/zero fails instead of taking the host.
    std::vector<std::string> run = {"/usr/bin/timeout",
                                    "-s",
                                    "KILL",
                                    kDeadlineSeconds,
                                    "/bin/sh",
                                    "-c",
                                    "ulimit -v 3000000; exec \"$@\"",
                                    "sh",
                                    WQOSCTL_PROGRAM};
    run.insert(run.end(), args.begin(), args.end());
    const wqtest::Result result = wqtest::Run(run, env);
    EXPECT_EQ(result.code, wqosctl::kExitFailed) << result.all();
    EXPECT_EQ(result.all().find("terminate called"), std::string::npos) << result.all();
    EXPECT_EQ(outside.Now(), outside.before);
  }
}

}  // namespace
