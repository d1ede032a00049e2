// Does the library wipe a login password from the memory it frees? Every block handed back
// to operator delete while a login runs and the connection goes away is searched for the
// password; a block that still holds it is a copy nobody wiped.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <string>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "tests/testing/secretsSweep.h"

namespace {

// Longer than a string's inline buffer, so that every copy lives in a block of its own.
const char kPassword[] = "wipe-probe-password-0123456789-abcdefghij";
const char kToken[] = "wipe-probe-token-0123456789-abcdefghijklmn";

std::atomic<const char*> watched{nullptr};  // the secret looked for while set
std::atomic<int> unwiped{0};

void Inspect(void* block) {
  const char* secret = watched.load();
  if (block == nullptr || secret == nullptr) return;
  const size_t size = malloc_usable_size(block);
  if (memmem(block, size, secret, std::strlen(secret)) != nullptr) ++unwiped;
}

}  // namespace

// Replaced for this program only: the same malloc and free as the defaults, with a look at
// each block on its way back.
void* operator new(size_t size) {
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  Inspect(block);
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  Inspect(block);
  std::free(block);
}

namespace OpenShiftSDKWrapper {
namespace {

// Blocks freed with `secret` still in them while `use` runs on a connection and the
// connection is deleted.
int UnwipedBlocks(const char* secret, const std::function<void(WQOpenShiftConnection&)>& use) {
  unwiped = 0;
  watched = secret;
  auto* connection = new WQOpenShiftConnection();
  use(*connection);
  delete connection;
  watched = nullptr;
  return unwiped.load();
}

TEST(PasswordWipe, NoFreedBlockHoldsTheLoginPassword) {
  setenv("dBASEHOME", "/nonexistent-base", 1);
  DebugLog::SetSink([](const LogLine&) {});
  // The command-line login only "runs": nothing of the request is copied here.
  WqProcess::SetRunner([](const ProcessRequest&, std::string&, std::string&) { return 0; });
  const std::string password(kPassword);
  // Nothing listens on port 9: the token request fails after the password was used.
  const int blocks = UnwipedBlocks(kPassword, [&password](WQOpenShiftConnection& connection) {
    connection.connect("https://127.0.0.1:9", "developer", password, {});
  });
  WqProcess::SetRunner(wqtest::SweepRunner(nullptr));
  DebugLog::SetSink(wqtest::SweepSink(nullptr));
  EXPECT_EQ(blocks, 0) << blocks << " blocks were freed with the password still in them";
}

// The token goes to the command-line client through the environment of a real child, for
// the service-account login and for a command in a pod.
TEST(TokenWipe, NoFreedBlockHoldsTheTokenAfterRealChildren) {
  char base[] = "/tmp/wqwipe.XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const std::string client = std::string(base) + "/wqOpenShiftCLI";
  {
    FILE* file = std::fopen(client.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("#!/bin/sh\n[ \"$OCTOKEN\" = \"$WQ_EXPECTED\" ] || exit 3\n", file);
    std::fclose(file);
  }
  ASSERT_EQ(chmod(client.c_str(), 0700), 0);
  setenv("dBASEHOME", base, 1);
  setenv("WQ_EXPECTED", kToken, 1);
  int failures = 0;
  DebugLog::SetSink([&failures](const LogLine& line) { failures += line.level == "ERROR"; });
  WqProcess::SetRunner(nullptr);
  const std::string token(kToken);
  const int blocks = UnwipedBlocks(kToken, [&token](WQOpenShiftConnection& connection) {
    connection.connectServiceAccount("https://127.0.0.1:9", "builder", token, {});
    std::string out;
    std::string err;
    EXPECT_TRUE(connection.executeCommandInPod("ns", "pod", "", "-- true", out, err));
  });

  WqProcess::SetRunner(wqtest::SweepRunner(nullptr));
  DebugLog::SetSink(wqtest::SweepSink(nullptr));
  unsetenv("WQ_EXPECTED");
  std::remove(client.c_str());
  rmdir(base);
  EXPECT_EQ(failures, 0) << "the stand-in did not get the token through its environment";
  EXPECT_EQ(blocks, 0) << blocks << " blocks were freed with the token still in them";
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
