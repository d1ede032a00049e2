#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "host/luFile.h"
#include "host/luIPAddr.h"
#include "tests/testing/testSupport.h"

namespace OpenShiftSDKWrapper {
namespace {

// The flags the export code passes: read-write, create, truncate.
constexpr int kExportFlags = 578;
static_assert(kExportFlags == (O_RDWR | O_CREAT | O_TRUNC), "flag value of the export code");

TEST(CLuFileTest, ExportOpenCreatesPrivateFileAndTruncates) {
  wqtest::TempDir dir;
  const std::string path = dir.File("secret_db", "an older and longer definition");
  chmod(path.c_str(), 0644);
  const std::string fresh = dir.path() + "/pvc_data";
  for (const std::string& target : {path, fresh}) {
    CLuFile file;
    ASSERT_FALSE(file.Open(target, kExportFlags, 0).IsError());
    size_t written = 0;
    ASSERT_FALSE(file.Write("{}\0x", 4, &written).IsError());
    EXPECT_EQ(written, 4u);
    EXPECT_FALSE(file.Close().IsError());
    std::string content;
    ASSERT_FALSE(CLuFile::ReadWholeFile(target, &content).IsError());
    EXPECT_EQ(content, std::string("{}\0x", 4));
  }
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

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

struct ResolveCase {
  const char* host;
  int family;
  const char* text;  // null: resolution fails
};

class CLuIPAddrTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(CLuIPAddrTest, ResolvesToText) {
  CLuIPAddr address;
  const CLuError error = CLuIPAddr::GetByName(GetParam().host, &address, GetParam().family);
  CLuString text;
  if (GetParam().text == nullptr) {
    EXPECT_TRUE(error.IsError());
    EXPECT_NE(error.AsString().str().find(GetParam().host), std::string::npos);
    EXPECT_TRUE(address.GetAddressString(&text).IsError());
    return;
  }
  ASSERT_FALSE(error.IsError()) << error.AsString().c_str();
  ASSERT_FALSE(address.GetAddressString(&text).IsError());
  EXPECT_EQ(text.str(), GetParam().text);
  sockaddr_storage socket_address{};
  EXPECT_GT(address.SocketAddress(22, &socket_address), 0u);
  EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in*>(&socket_address)->sin_port), 22);
}

INSTANTIATE_TEST_SUITE_P(Hosts, CLuIPAddrTest,
                         ::testing::Values(ResolveCase{"127.0.0.1", AF_INET, "127.0.0.1"},
                                           ResolveCase{"localhost", AF_UNSPEC, "127.0.0.1"},
                                           ResolveCase{"localhost", AF_INET, "127.0.0.1"},
                                           ResolveCase{"10.1.2.3", 0, "10.1.2.3"},
                                           ResolveCase{"no-such-host.invalid", AF_UNSPEC, nullptr},
                                           ResolveCase{"", AF_INET, nullptr}));

}  // namespace
}  // namespace OpenShiftSDKWrapper
