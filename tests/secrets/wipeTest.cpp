// Does the library wipe a login password from the memory it frees? Every block handed back
// to operator delete while a login runs and the connection goes away is searched for the
// password; a block that still holds it is a copy nobody wiped.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"

namespace {

// Longer than a string's inline buffer, so that every copy lives in a block of its own.
const char kPassword[] = "wipe-probe-password-0123456789-abcdefghij";

std::atomic<bool> watching{false};
std::atomic<int> unwiped{0};

void Inspect(void* block) {
  if (block == nullptr || !watching.load()) return;
  const size_t size = malloc_usable_size(block);
  if (memmem(block, size, kPassword, sizeof kPassword - 1) != nullptr) ++unwiped;
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

TEST(PasswordWipe, NoFreedBlockHoldsTheLoginPassword) {
  setenv("dBASEHOME", "/nonexistent-base", 1);
  DebugLog::SetSink([](const LogLine&) {});
  // The command-line login only "runs": nothing of the request is copied here.
  WqProcess::SetRunner([](const ProcessRequest&, std::string&, std::string&) { return 0; });
  const std::string password(kPassword);
  const std::map<std::string, SSshLoginCreds> nodes;

  watching = true;
  {
    auto* connection = new WQOpenShiftConnection();
    // Nothing listens on port 9: the token request fails after the password was used.
    connection->connect("https://127.0.0.1:9", "developer", password, nodes);
    delete connection;
  }
  watching = false;

  WqProcess::SetRunner(nullptr);
  DebugLog::SetSink(nullptr);
  EXPECT_EQ(unwiped.load(), 0) << unwiped.load()
                               << " blocks were freed with the password still in them";
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
