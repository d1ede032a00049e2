#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "host/luFile.h"
#include "tests/testing/testSupport.h"

namespace OpenShiftSDKWrapper {
namespace {

TEST(CLuFileTest, ErrorsCarryErrnoAndText) {
  CLuFile full;
  ASSERT_FALSE(full.Open("/dev/full", O_WRONLY, 0).IsError());
  size_t written = 99;
  const CLuError error = full.Write("abc", 3, &written);
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.Code(), ENOSPC);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(error.AsString().str(), "write /dev/full: No space left on device");

  CLuFile closed;
  EXPECT_EQ(closed.Write("a", 1, nullptr).Code(), EBADF);
  std::string content = "kept";
  EXPECT_EQ(CLuFile::ReadWholeFile("/nonexistent/file", &content).Code(), ENOENT);
  EXPECT_EQ(content, "kept");
  EXPECT_EQ(CLuError::Success().AsString().str(), "Success");
  EXPECT_FALSE(CLuError::Success().IsError());
  EXPECT_EQ(CLuError::Message("resolve x: failed").AsString().str(), "resolve x: failed");
  EXPECT_EQ(CLuError::FromErrno(EACCES).AsString().str(), "Permission denied");
}

TEST(CLuDirectoryTest, CreateMakesParentsAndAcceptsExisting) {
  wqtest::TempDir dir;
  const std::string deep = dir.path() + "//backup/pvc_a/mnt/";
  ASSERT_FALSE(CLuDirectory::Create(deep, true).IsError());
  ASSERT_FALSE(CLuDirectory::Create(deep, true).IsError());
  struct stat st {};
  ASSERT_EQ(stat(deep.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(CLuDirectory::Create(dir.path() + "/x/y", false).Code(), ENOENT);
  const std::string file = dir.File("plain", "");
  EXPECT_EQ(CLuDirectory::Create(file, true).Code(), ENOTDIR);
  EXPECT_EQ(CLuDirectory::Create(file + "/sub", true).Code(), ENOTDIR);
}

TEST(CLuDirectoryTest, ListsMatchingEntriesInNameOrder) {
  wqtest::TempDir dir;
  for (const char* name : {"secret_b", "configmap_x", "secret_a", "pvc_secret_c"})
    dir.File(name, "");
  ASSERT_FALSE(CLuDirectory::Create(dir.path() + "/secret_dir", false).IsError());
  CLuDirectory listing;
  SLuDirEntry entry;
  bool done = false;
  EXPECT_TRUE(listing.GetEntry(&entry, &done).IsError());  // not opened yet
  ASSERT_FALSE(listing.Open(dir.path(), "secret_*", true).IsError());
  std::vector<std::string> names;
  std::vector<bool> dirs;
  while (!listing.GetEntry(&entry, &done).IsError() && !done) {
    names.push_back(entry.name.str());
    dirs.push_back(entry.isDirectory);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"secret_a", "secret_b", "secret_dir"}));
  EXPECT_EQ(dirs, (std::vector<bool>{false, false, true}));
  EXPECT_FALSE(listing.GetEntry(&entry, &done).IsError());
  EXPECT_TRUE(done);
  EXPECT_EQ(entry.name.str(), "secret_dir");
  EXPECT_EQ(listing.Open(dir.path() + "/none", "*", true).Code(), ENOENT);
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
