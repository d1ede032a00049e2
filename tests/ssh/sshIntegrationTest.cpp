// Commands on real sshd nodes of the sandbox: every kind of credential, how the captured
// output decides the result, both streams read together, host keys and time-outs.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "connection/logContexts.h"
#include "tests/testing/sandbox.h"

namespace wqtest {
namespace {

const char* const kOpenContext = OpenShiftSDKWrapper::ConnectionContexts::kOpenSshSession;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class SshTest : public SandboxTest {
 protected:
  // Runs `command` on `node` with the password login registered for every node.
  bool Run(const std::string& node, const std::string& command) {
    out_.clear();
    err_.clear();
    return connection_.executeRemoteCommand(node, command, out_, err_);
  }

  std::string FirstNode() const { return Nodes().front(); }

  std::string out_;
  std::string err_;
};

// ---- credentials ---------------------------------------------------------------------------

struct CredentialRow {
  const char* label;
  std::function<SSshLoginCreds()> creds;
  bool onRsaNode;  // the node that still accepts ssh-rsa (SHA-1) signatures
};
void PrintTo(const CredentialRow& row, std::ostream* os) { *os << row.label; }

class SshCredentialTest : public SshTest, public ::testing::WithParamInterface<CredentialRow> {};

TEST_P(SshCredentialTest, LogsInAndRunsTheCommand) {
  const std::string node = GetParam().onRsaNode ? Env("WQSANDBOX_RSA_NODE") : FirstNode();
  Login({{node, GetParam().creds()}});
  ASSERT_TRUE(Run(node, "echo hello from $(hostname -I 2>/dev/null | wc -w) && whoami"));
  EXPECT_EQ(out_.substr(0, 11), "hello from ");
  EXPECT_NE(out_.find("\n"), std::string::npos);
  EXPECT_TRUE(err_.empty()) << err_;
  EXPECT_TRUE(Logged("DEBUG0", "SSH session opened"));
  EXPECT_TRUE(Logged("DEBUG0", "SSH session closed"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SshCredentialTest,
    ::testing::Values(
        CredentialRow{"password", [] { return PasswordLogin(); }, false},
        CredentialRow{"ed25519", [] { return KeyLogin("WQSANDBOX_KEY_ED25519"); }, false},
        CredentialRow{
            "ed25519_passphrase",
            [] { return KeyLogin("WQSANDBOX_KEY_ED25519_PASS", Env("WQSANDBOX_KEY_PASSPHRASE")); },
            false},
        CredentialRow{"ecdsa", [] { return KeyLogin("WQSANDBOX_KEY_ECDSA"); }, false},
        CredentialRow{"rsa_on_sha1_node", [] { return KeyLogin("WQSANDBOX_KEY_RSA"); }, true}),
    [](const auto& info) { return std::string(info.param.label); });

struct RefusedRow {
  const char* label;
  std::function<SSshLoginCreds()> creds;
  const char* hint;  // a further line that must be logged, or null
};
void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.label; }

class SshRefusedTest : public SshTest, public ::testing::WithParamInterface<RefusedRow> {};

// A refused login fails with the one authentication message, and the session is gone.
TEST_P(SshRefusedTest, FailsWithTheAuthenticationMessage) {
  Login({{FirstNode(), GetParam().creds()}});
  EXPECT_FALSE(Run(FirstNode(), "echo never"));
  EXPECT_TRUE(Logged("ERROR", "Authentication by password failed"));
  EXPECT_TRUE(Logged("ERROR", "Failed to set up ssh session for host [" + FirstNode() + "]"));
  EXPECT_FALSE(Logged("DEBUG0", "Command[echo never]"));
  if (GetParam().hint != nullptr) {
    EXPECT_EQ(MessagesWith(GetParam().hint).size(), 1u) << GetParam().hint;
  }
  EXPECT_TRUE(out_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SshRefusedTest,
    ::testing::Values(
        // libssh2 1.10 signs RSA with SHA-1 only; a node with OpenSSH's defaults refuses it.
        RefusedRow{"rsa_on_default_node", [] { return KeyLogin("WQSANDBOX_KEY_RSA"); },
                   "this SSH library signs with ssh-rsa (SHA-1) only"},
        RefusedRow{"wrong_password",
                   [] {
                     SSshLoginCreds creds = PasswordLogin();
                     creds.password += "x";
                     return creds;
                   },
                   nullptr},
        RefusedRow{"wrong_passphrase",
                   [] { return KeyLogin("WQSANDBOX_KEY_ED25519_PASS", "not-the-passphrase"); },
                   nullptr},
        // No password and no key: public-key login with an empty key, no fallback.
        RefusedRow{"nothing",
                   [] {
                     return SSshLoginCreds{Env("WQSANDBOX_USER"), "", "", ""};
                   },
                   nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SshTest, HostWithoutCredentialsOpensNoConnection) {
  Login({{FirstNode(), PasswordLogin()}});
  // The same node under another name: the map is keyed by the exact text.
  const std::string other = Nodes().back();
  EXPECT_FALSE(Run(other, "echo never"));
  EXPECT_EQ(lines_.size(), 2u);
  EXPECT_TRUE(Logged("ERROR", "Failed to find ssh credentials for [" + other + "]"));
  EXPECT_TRUE(Logged("ERROR", "Failed to set up ssh session for host [" + other + "]"));
  EXPECT_TRUE(MessagesWith("Hostname[").empty());
}

TEST_F(SshTest, PasswordRefusedByTheNodeWhileKeysStillWork) {
  const std::string node = FirstNode();
  Fault("refuse-password " + node);
  Login({{node, PasswordLogin()}});
  EXPECT_FALSE(Run(node, "echo never"));
  EXPECT_TRUE(Logged("ERROR", "Authentication by password failed"));
  Login({{node, KeyLogin("WQSANDBOX_KEY_ED25519")}});
  EXPECT_TRUE(Run(node, "echo yes"));
}

// ---- what decides the result ----------------------------------------------------------------

struct OutcomeRow {
  const char* label;
  const char* command;
  bool result;
  const char* out;
  const char* err;
  const char* errorLine;  // an error line that must be logged, or null
};
void PrintTo(const OutcomeRow& row, std::ostream* os) { *os << row.label; }

class SshOutcomeTest : public SshTest, public ::testing::WithParamInterface<OutcomeRow> {};

TEST_P(SshOutcomeTest, CapturedTextDecides) {
  Login(AllNodes(PasswordLogin()));
  const OutcomeRow& row = GetParam();
  EXPECT_EQ(Run(FirstNode(), row.command), row.result);
  EXPECT_EQ(out_, row.out);
  EXPECT_EQ(err_, row.err);
  if (row.errorLine != nullptr) {
    EXPECT_TRUE(Logged("ERROR", row.errorLine)) << row.errorLine;
  }
  EXPECT_TRUE(Logged("DEBUG0", std::string("Command[") + row.command + "]"));
  EXPECT_TRUE(Logged("DEBUG0", "stdout[" + out_ + "] stderr[" + err_ + "]"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SshOutcomeTest,
    ::testing::Values(OutcomeRow{"stdout_only", "printf 'a\\nb\\n'", true, "a\nb\n", "", nullptr},
                      OutcomeRow{"stderr_only_exit_0", "echo oops >&2; exit 0", false, "", "oops\n",
                                 "command return error [oops\n]"},
                      OutcomeRow{"both_streams", "echo out; echo err >&2", false, "out\n", "err\n",
                                 "command return error [err\n]"},
                      OutcomeRow{"nothing_exit_0", "true", false, "", "", "command return nothing"},
                      OutcomeRow{"output_and_exit_3", "echo partial; exit 3", true, "partial\n", "",
                                 "EXIT: 3"},
                      OutcomeRow{"nothing_exit_1", "exit 1", false, "", "", "EXIT: 1"},
                      OutcomeRow{"no_final_line_feed", "printf 'x'", true, "x", "", nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SshTest, SignalIsLoggedAndOutputStillDecides) {
  Login(AllNodes(PasswordLogin()));
  EXPECT_TRUE(Run(FirstNode(), "echo before; kill -TERM $$"));
  EXPECT_EQ(out_, "before\n");
  EXPECT_TRUE(Logged("DEBUG0", "Got signal: TERM"));
  EXPECT_TRUE(MessagesWith("EXIT:").empty());
}

TEST_F(SshTest, OutputIsAppendedToWhatTheCallerHeld) {
  Login(AllNodes(PasswordLogin()));
  std::string out = "kept:";
  std::string err;
  ASSERT_TRUE(connection_.executeRemoteCommand(FirstNode(), "echo more", out, err));
  EXPECT_EQ(out, "kept:more\n");
}

// ---- both streams together ----------------------------------------------------------------

TEST_F(SshTest, MegabytesOnStandardErrorBeforeStandardOutputDoNotStall) {
  wqtest::ScopedEnv timeout("WQOSDK_SSH_COMMAND_TIMEOUT", "60");  // a stall fails, not hangs
  Login(AllNodes(PasswordLogin()));
  const auto start = std::chrono::steady_clock::now();
  // 3 MB on standard error, more than the channel's 2 MB window, while standard output
  // stays open, then one line on it: reading standard output alone would wait for ever.
  EXPECT_FALSE(Run(FirstNode(), "head -c 3000000 /dev/zero | tr '\\0' e >&2; echo done"));
  EXPECT_EQ(err_.size(), 3000000u);
  EXPECT_EQ(err_.find_first_not_of('e'), std::string::npos);
  EXPECT_EQ(out_, "done\n");
  EXPECT_LT(SecondsSince(start), 30.0);
}

TEST_F(SshTest, InterleavedStreamsArriveWholeAndInOrderPerStream) {
  Login(AllNodes(PasswordLogin()));
  // 150 rounds of 8000 bytes on each stream, alternating, each tagged with its round.
  const std::string command =
      "perl -e '$| = 1; for my $i (1 .. 150) { printf STDOUT \"%08d%s\", $i, \"o\" x 7992; "
      "printf STDERR \"%08d%s\", $i, \"e\" x 7992 }'";
  EXPECT_FALSE(Run(FirstNode(), command));
  ASSERT_EQ(out_.size(), 1200000u);
  ASSERT_EQ(err_.size(), 1200000u);
  for (int round = 1; round <= 150; ++round) {
    char tag[9];
    snprintf(tag, sizeof tag, "%08d", round);
    ASSERT_EQ(out_.substr((round - 1) * 8000, 8), tag);
    ASSERT_EQ(err_.substr((round - 1) * 8000, 8), tag);
  }
}

// ---- host keys ---------------------------------------------------------------------------

class SshHostKeyTest : public SshTest {
 protected:
  void SetUp() override {
    SshTest::SetUp();
    if (IsSkipped()) return;
    knownHosts_ = wqtest::ReadFile(Env("WQSANDBOX_DIR") + "/keys/known_hosts");
    ASSERT_FALSE(knownHosts_.empty());
    Login(AllNodes(KeyLogin("WQSANDBOX_KEY_ED25519")));
  }

  // The known_hosts line of `node` from the sandbox's file.
  std::string LineOf(const std::string& node) const {
    std::istringstream in(knownHosts_);
    for (std::string line; std::getline(in, line);) {
      if (line.compare(0, node.size() + 1, node + " ") == 0) return line;
    }
    return "";
  }

  // OpenSSH's fingerprint of the key on `line`.
  std::string FingerprintOf(const std::string& line) {
    const std::string file = scratch_.File("one_key", line + "\n");
    std::string out;
    EXPECT_EQ(Shell("ssh-keygen -l -E sha256 -f '" + file + "'", &out), 0);
    std::istringstream words(out);
    std::string bits;
    std::string fingerprint;
    words >> bits >> fingerprint;
    return fingerprint;
  }

  std::string knownHosts_;
  wqtest::TempDir scratch_;
};

TEST_F(SshHostKeyTest, WithoutAFileTheFingerprintIsLoggedAtLevelTwo) {
  const std::string node = FirstNode();
  ASSERT_TRUE(Run(node, "echo ok"));
  const std::string expected = FingerprintOf(LineOf(node));
  ASSERT_EQ(expected.compare(0, 7, "SHA256:"), 0) << expected;
  bool found = false;
  for (const LogLine& line : lines_) {
    if (line.level == "DEBUG2" &&
        line.context == OpenShiftSDKWrapper::ConnectionContexts::kOpenSshSessionTrace &&
        line.message == "Host key of [" + node + "]: ssh-ed25519 " + expected) {
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

struct KnownHostsRow {
  const char* label;
  bool hashed;
  bool viaBaseDirectory;
};
void PrintTo(const KnownHostsRow& row, std::ostream* os) { *os << row.label; }

class SshKnownHostsTest : public SshHostKeyTest,
                          public ::testing::WithParamInterface<KnownHostsRow> {};

TEST_P(SshKnownHostsTest, ListedKeyIsAcceptedWrongOrMissingKeyIsRefused) {
  const std::vector<std::string> nodes = Nodes();
  ASSERT_GE(nodes.size(), 3u);
  // Node 1 listed with its own key; node 2 listed with node 3's key; node 3 not listed.
  const std::string line1 = LineOf(nodes[0]);
  const std::string line3 = LineOf(nodes[2]);
  const std::string forged = nodes[1] + line3.substr(nodes[2].size());
  const std::string file =
      scratch_.File("known_hosts", "# comment\n" + line1 + "\n" + forged + "\n");
  if (GetParam().hashed) {
    ASSERT_EQ(Shell("ssh-keygen -H -f '" + file + "' >/dev/null 2>&1"), 0);
    ASSERT_EQ(wqtest::ReadFile(file).find(nodes[0]), std::string::npos);
  }
  std::unique_ptr<wqtest::ScopedEnv> setting;
  if (GetParam().viaBaseDirectory) {
    setting = std::make_unique<wqtest::ScopedEnv>("dBASEHOME", scratch_.path().c_str());
  } else {
    setting = std::make_unique<wqtest::ScopedEnv>("WQOSDK_KNOWN_HOSTS", file.c_str());
  }

  EXPECT_TRUE(Run(nodes[0], "echo ok"));

  lines_.clear();
  EXPECT_FALSE(Run(nodes[1], "echo never"));
  const std::string fingerprint2 = FingerprintOf(LineOf(nodes[1]));
  EXPECT_TRUE(Logged("ERROR", "Refusing [" + nodes[1] + "]: its host key ssh-ed25519 " +
                                  fingerprint2 + " does not match the known hosts file [" + file +
                                  "]"));
  EXPECT_FALSE(Logged("ERROR", "Authentication by password failed"));
  EXPECT_FALSE(Logged("DEBUG0", "Command[echo never]"));

  lines_.clear();
  EXPECT_FALSE(Run(nodes[2], "echo never"));
  EXPECT_TRUE(Logged("ERROR", "Refusing [" + nodes[2] + "]: its host key ssh-ed25519 " +
                                  FingerprintOf(line3) +
                                  " is not listed in the known hosts file [" + file + "]"));
}

INSTANTIATE_TEST_SUITE_P(Files, SshKnownHostsTest,
                         ::testing::Values(KnownHostsRow{"plain_setting", false, false},
                                           KnownHostsRow{"hashed_setting", true, false},
                                           KnownHostsRow{"plain_base_directory", false, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SshHostKeyTest, ConfiguredFileThatCannotBeReadRefusesEveryNode) {
  wqtest::ScopedEnv setting("WQOSDK_KNOWN_HOSTS", "/nonexistent/known_hosts");
  EXPECT_FALSE(Run(FirstNode(), "echo never"));
  EXPECT_EQ(MessagesWith("cannot be checked: cannot read the known hosts file "
                         "[/nonexistent/known_hosts]")
                .size(),
            1u);
}

// ---- nodes that fail ------------------------------------------------------------------------

TEST_F(SshTest, CommandTimeOutEndsALongCommand) {
  wqtest::ScopedEnv timeout("WQOSDK_SSH_COMMAND_TIMEOUT", "2");
  Login(AllNodes(PasswordLogin()));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Run(FirstNode(), "echo started; sleep 60"));
  EXPECT_LT(SecondsSince(start), 15.0);
  EXPECT_EQ(out_, "started\n");
  EXPECT_EQ(MessagesWith("timed out after 2 seconds (reading its output)").size(), 1u);
  EXPECT_TRUE(Logged("DEBUG0", "SSH session closed"));
}

// A peer that accepts the connection but never speaks SSH holds the login at most for the
// connect time-out.
TEST_F(SshTest, SilentPeerTimesOutDuringTheHandshake) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  const int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(22);
  address.sin_addr.s_addr = htonl(0x7f000001);  // 127.0.0.1, no sshd there
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  wqtest::ScopedEnv timeout("WQOSDK_SSH_CONNECT_TIMEOUT", "2");
  Login({{"127.0.0.1", PasswordLogin()}});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Run("127.0.0.1", "echo never"));
  EXPECT_LT(SecondsSince(start), 10.0);
  EXPECT_EQ(MessagesWith("Failure establishing SSH session: -9").size(), 1u);
  ::close(listener);
}

}  // namespace
}  // namespace wqtest
