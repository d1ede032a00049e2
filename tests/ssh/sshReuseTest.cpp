// Connection reuse against the sandbox's real sshd nodes: the connections each node accepts
// (counted in its sshd log), a kept connection the node drops, and the idle limit.
#include <chrono>
#include <regex>
#include <thread>

#include "tests/testing/sandbox.h"

namespace wqtest {
namespace {

// Logins the node's sshd has accepted so far.
int AcceptedLogins(const std::string& node) {
  const std::string log = wqtest::ReadFile(Env("WQSANDBOX_DIR") + "/log/sshd-" + node + ".log");
  int count = 0;
  for (size_t at = log.find("Accepted "); at != std::string::npos;
       at = log.find("Accepted ", at + 1)) {
    ++count;
  }
  return count;
}

// Kills the sshd processes that serve the connections open on the node's port 22.
void KillSessionsOf(const std::string& node) {
  std::string listing;
  ASSERT_EQ(0, Shell("ss -Htnp state established '( sport = :22 )' src " + node, &listing));
  const std::regex pid("pid=([0-9]+)");
  int killed = 0;
  for (std::sregex_iterator it(listing.begin(), listing.end(), pid), end; it != end; ++it) {
    killed += Shell("kill -9 " + (*it)[1].str()) == 0;
  }
  ASSERT_GT(killed, 0) << listing;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

class SshReuseTest : public SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) return;
    Login(AllNodes(PasswordLogin()));
    node_ = Nodes().front();
  }

  // Runs `commands` echo commands on the node and checks each answer; the logins the node
  // accepted meanwhile.
  int LoginsFor(int commands) {
    const int before = AcceptedLogins(node_);
    for (int i = 0; i < commands; ++i) {
      std::string out;
      std::string err;
      EXPECT_TRUE(connection_.executeRemoteCommand(node_, "echo run" + std::to_string(i), out, err))
          << err;
      EXPECT_EQ("run" + std::to_string(i) + "\n", out);
    }
    return AcceptedLogins(node_) - before;
  }

  std::string node_;
};

TEST_F(SshReuseTest, LoginsPerCommandFollowTheIdleSetting) {
  struct Row {
    const char* idleSetting;  // WQOSDK_SSH_IDLE_SECONDS, or null
    int expectedLogins;       // for four commands
    size_t keptAfter;
  };
  for (const Row& row : {Row{nullptr, 4, 0}, Row{"0", 4, 0}, Row{"30", 1, 1}}) {
    wqtest::ScopedEnv idle("WQOSDK_SSH_IDLE_SECONDS", row.idleSetting);
    EXPECT_EQ(row.expectedLogins, LoginsFor(4)) << (row.idleSetting ? row.idleSetting : "unset");
    EXPECT_EQ(row.keptAfter, connection_.keptNodeSessions());
  }
  // Reuse off again: the next command closes what was kept and opens its own connection.
  EXPECT_EQ(1, LoginsFor(1));
  EXPECT_EQ(0u, connection_.keptNodeSessions());
}

TEST_F(SshReuseTest, AKeptConnectionTheNodeDroppedCostsOneReconnectAndNoFailure) {
  connection_.setSshIdleSeconds(30);
  ASSERT_EQ(1, LoginsFor(2));
  KillSessionsOf(node_);
  EXPECT_EQ(1, LoginsFor(3));
  EXPECT_EQ(1u, connection_.keptNodeSessions());
  EXPECT_EQ(1u, MessagesWith("closed by the node").size() +
                    MessagesWith("failed before the command was sent").size());
}

TEST_F(SshReuseTest, AFailedCommandKeepsTheSessionAndIsNotRunAgain) {
  connection_.setSshIdleSeconds(30);
  const std::string marker = "/tmp/wq-reuse-runs";
  Shell("rm -f " + marker);
  std::string out;
  std::string err;
  EXPECT_FALSE(
      connection_.executeRemoteCommand(node_, "echo x >> " + marker + "; echo oops >&2", out, err));
  EXPECT_EQ("oops\n", err);
  EXPECT_EQ("x\n", wqtest::ReadFile(marker));
  EXPECT_EQ(1u, connection_.keptNodeSessions());
  // A command cut by its time-out was sent: it is never run again, and its session goes.
  wqtest::ScopedEnv shortCommands("WQOSDK_SSH_COMMAND_TIMEOUT", "1");
  EXPECT_FALSE(
      connection_.executeRemoteCommand(node_, "echo y >> " + marker + "; sleep 5", out, err));
  EXPECT_EQ("x\ny\n", wqtest::ReadFile(marker));
  EXPECT_EQ(0u, connection_.keptNodeSessions());
  Shell("rm -f " + marker);
}

TEST_F(SshReuseTest, AContainerPrefixIsRememberedWithItsSessionOnly) {
  const std::string prefix = "docker exec 4f2a9c1d7e3b ";
  std::string kept;
  connection_.keepContainerPrefix(node_, prefix);  // reuse off: no session to keep it with
  EXPECT_FALSE(connection_.keptContainerPrefix(node_, kept));
  connection_.setSshIdleSeconds(30);
  ASSERT_TRUE(connection_.openNodeSession(node_));
  connection_.keepContainerPrefix(node_, prefix);
  ASSERT_TRUE(connection_.keptContainerPrefix(node_, kept));
  EXPECT_EQ(prefix, kept);
  EXPECT_FALSE(connection_.forgetGoneContainerPrefix(node_, "gluster: command failed\n"));
  EXPECT_TRUE(connection_.forgetGoneContainerPrefix(
      node_, "Error response from daemon: No such container: 4f2a9c1d7e3b\n"));
  EXPECT_FALSE(connection_.keptContainerPrefix(node_, kept));
  // A new connection looks the prefix up again.
  connection_.keepContainerPrefix(node_, prefix);
  KillSessionsOf(node_);
  EXPECT_EQ(1, LoginsFor(1));
  EXPECT_FALSE(connection_.keptContainerPrefix(node_, kept));
}

TEST_F(SshReuseTest, AnIdleConnectionIsClosedByTheNextCommandAndTheRestByClose) {
  connection_.setSshIdleSeconds(1);
  const std::string other = Nodes().at(1);
  std::string out;
  std::string err;
  ASSERT_TRUE(connection_.executeRemoteCommand(other, "echo other", out, err));
  EXPECT_EQ(1, LoginsFor(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  // Both sessions are past the limit: the next command closes them and logs in afresh.
  EXPECT_EQ(1, LoginsFor(1));
  EXPECT_EQ(1u, connection_.keptNodeSessions());
  EXPECT_EQ(2u, MessagesWith(" seconds, closed").size());
  connection_.closeNodeSessions();
  EXPECT_EQ(0u, connection_.keptNodeSessions());
}

}  // namespace
}  // namespace wqtest
