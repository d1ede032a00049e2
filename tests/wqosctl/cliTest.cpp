// wqOpenShiftCLI against the simulated cluster: its logins, and commands in pods with the
// cluster's checks, the pod's own directory and environment, and oc's messages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <boost/json.hpp>

#include "simulator/cli/cliSupport.h"
#include "tests/wqosctl/sampleClusterTest.h"

namespace {

using wqtooltest::Result;
using wqtooltest::TempDir;

class CliProgram : public wqtooltest::SampleClusterTest {
 protected:
  Result Cli(std::vector<std::string> args) {
    args.insert(args.begin(), WQ_CLI_PROGRAM);
    wqtooltest::Env env = wqtooltest::CleanEnv();
    env["dBASEHOME"] = base.path();
    env["WQOSCTL_PASSWORD"] = "must-not-reach-a-pod";
    return wqtooltest::Run(args, env);
  }
  Result Login() {
    return Cli({"login", simulator->BaseUrl(), "--insecure-skip-tls-verify=true",
                "--token=" + Token()});
  }
  // A running replica pod of the sample deployment config, and its deployer pod.
  std::string Pod(bool running) {
    wqsim::ApiAnswer answer;
    simulator->Api().Serve({"GET", "/api/v1/namespaces/demo/pods", "", false}, answer);
    const boost::json::value list = boost::json::parse(answer.body);
    for (const boost::json::value& item : list.at("items").as_array()) {
      const std::string name(item.at("metadata").at("name").as_string());
      const bool isRunning = item.at("status").at("phase").as_string() == "Running";
      if (name.rfind("web-", 0) == 0 && isRunning == running) return name;
    }
    return std::string();
  }

  TempDir base;
};

TEST_F(CliProgram, PasswordLoginRemembersTheServer) {
  const Result ok = Cli({"login", simulator->BaseUrl(), "--insecure-skip-tls-verify=true",
                         "--username=alice", "--password=" + Password()});
  EXPECT_EQ(ok.code, 0) << ok.err;
  EXPECT_EQ(ok.out, "Login successful.\n");
  wqcli::State state;
  ASSERT_TRUE(wqcli::ReadState(base.path(), state));
  EXPECT_EQ(state["server"], simulator->BaseUrl());
  EXPECT_EQ(state["insecure"], "true");

  const Result wrong = Cli({"login", simulator->BaseUrl(), "--insecure-skip-tls-verify=true",
                            "--username=alice", "--password=not-it"});
  EXPECT_EQ(wrong.code, 1);
  EXPECT_EQ(wrong.err,
            "error: Login failed (401 Unauthorized)\nVerify you have provided correct "
            "credentials.\n");
}

TEST_F(CliProgram, TokenLoginIsCheckedByTheApi) {
  const Result ok = Login();
  EXPECT_EQ(ok.code, 0) << ok.err;
  const Result wrong = Cli({"login", simulator->BaseUrl(), "--insecure-skip-tls-verify=true",
                            "--token=not-a-token"});
  EXPECT_EQ(wrong.code, 1);
  EXPECT_NE(wrong.err.find("The token provided is invalid or expired."), std::string::npos);
}

TEST_F(CliProgram, LoginFailsOnAServerThatIsNotThereOrNotTrusted) {
  const Result away = Cli({"login", "https://127.0.0.1:1", "--insecure-skip-tls-verify=true",
                           "--token=" + Token()});
  EXPECT_EQ(away.code, 1);
  EXPECT_NE(away.err.find("verify you have provided the correct host and port"),
            std::string::npos)
      << away.err;
  // Without the insecure flag the server's certificate must be trusted.
  const Result untrusted = Cli({"login", simulator->BaseUrl(), "--token=" + Token()});
  EXPECT_EQ(untrusted.code, 1) << untrusted.out;
}

TEST_F(CliProgram, ExecNeedsALoginAndARunningPod) {
  const Result unconfigured = Cli({"exec", Pod(true), "--token=" + Token(), "-n",
                                   "demo", "true"});
  EXPECT_EQ(unconfigured.code, 1);
  EXPECT_NE(unconfigured.err.find("Missing or incomplete configuration info"), std::string::npos);
  ASSERT_EQ(Login().code, 0);
  const Result missing =
      Cli({"exec", "nosuch", "--token=" + Token(), "-n", "demo", "true"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "Error from server (NotFound): pods \"nosuch\" not found\n");
  const Result deployer =
      Cli({"exec", Pod(false), "--token=" + Token(), "-n", "demo", "true"});
  EXPECT_EQ(deployer.code, 1);
  EXPECT_NE(deployer.err.find("cannot exec into a container in a completed pod; current phase "
                              "is Succeeded"),
            std::string::npos)
      << deployer.err;
  const Result unauthorized = Cli({"exec", Pod(true), "--token=wrong", "-n", "demo", "true"});
  EXPECT_EQ(unauthorized.code, 1);
  EXPECT_NE(unauthorized.err.find("(Unauthorized)"), std::string::npos);
  const Result container = Cli({"exec", Pod(true), "--token=" + Token(), "-n", "demo",
                                "-c", "sidecar", "true"});
  EXPECT_EQ(container.code, 1);
  EXPECT_NE(container.err.find("container sidecar is not valid for pod"), std::string::npos);
}

TEST_F(CliProgram, ExecRunsInThePodsDirectoryAndPassesItsOutcomeThrough) {
  ASSERT_EQ(Login().code, 0);
  const std::string pod = Pod(true);
  const Result result =
      Cli({"exec", pod, "--token=" + Token(), "-n", "demo", "-c", "web",
           "pwd; echo \"home=$HOME host=$HOSTNAME\"; echo oops >&2; exit 3"});
  const std::string podDir = base.path() + "/pods/demo/" + pod;
  EXPECT_EQ(result.code, 3);
  EXPECT_EQ(result.out, podDir + "\nhome=" + podDir + " host=" + pod + "\n");
  EXPECT_EQ(result.err, "oops\ncommand terminated with exit code 3\n");

  // A file left by one command is there for the next one in the same pod only.
  ASSERT_EQ(Cli({"exec", pod, "--token=" + Token(), "-n", "demo", "--", "touch",
                 "marker"})
                .code,
            0);
  struct stat info {};
  EXPECT_EQ(stat((podDir + "/marker").c_str(), &info), 0);
}

TEST_F(CliProgram, SeveralWordsAreOneCommandWithItsArgumentsAndTheEnvironmentIsThePods) {
  ASSERT_EQ(Login().code, 0);
  const Result words = Cli({"exec", Pod(true), "--token=" + Token(), "-n", "demo",
                            "--", "printf", "%s|", "a b", "$HOME"});
  EXPECT_EQ(words.code, 0) << words.err;
  EXPECT_EQ(words.out, "a b|$HOME|");
  const Result env =
      Cli({"exec", Pod(true), "--token=" + Token(), "-n", "demo", "env"});
  EXPECT_EQ(env.out.find("WQOSCTL_PASSWORD"), std::string::npos) << env.out;
  EXPECT_EQ(env.out.find("dBASEHOME"), std::string::npos) << env.out;
  EXPECT_NE(env.out.find("POD_NAMESPACE=demo"), std::string::npos) << env.out;
}

struct ExecRow {
  std::vector<std::string> args;
  const char* pod;
  const char* nameSpace;
  const char* container;
  std::vector<std::string> command;
  const char* error;
};

class ExecArguments : public testing::TestWithParam<ExecRow> {};

TEST_P(ExecArguments, AreReadAsOcReadsThem) {
  const ExecRow& row = GetParam();
  wqcli::ExecArgs exec;
  std::string error;
  const bool ok = wqcli::ParseExec(row.args, exec, error);
  if (*row.error != '\0') {
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
    return;
  }
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(exec.pod, row.pod);
  EXPECT_EQ(exec.nameSpace, row.nameSpace);
  EXPECT_EQ(exec.container, row.container);
  EXPECT_EQ(exec.command, row.command);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExecArguments,
    testing::Values(
        ExecRow{{"p", "--token=t", "-n", "ns", "ls", "-l"}, "p", "ns", "", {"ls", "-l"}, ""},
        ExecRow{{"p", "--token", "t", "--namespace=ns", "-c", "c", "--", "-x"},
                "p", "ns", "c", {"-x"}, ""},
        ExecRow{{"p", "--token=t", "echo"}, "p", "default", "", {"echo"}, ""},
        ExecRow{{"p", "--token=t"}, "", "", "", {}, "at least one command"},
        ExecRow{{"--token=t", "-n", "ns"}, "", "", "", {}, "POD_NAME and COMMAND are required"},
        ExecRow{{"p", "--bogus", "ls"}, "", "", "", {}, "unknown flag: --bogus"},
        ExecRow{{"p", "-n"}, "", "", "", {}, "flag needs an argument: -n"}));

TEST(LoginArguments, NeedAServerAndOneKindOfCredential) {
  wqcli::LoginArgs login;
  std::string error;
  ASSERT_TRUE(wqcli::ParseLogin({"https://m:8443", "--insecure-skip-tls-verify=true",
                                 "--username='bob'", "--password=p w"},
                                login, error))
      << error;
  EXPECT_EQ(login.server, "https://m:8443");
  EXPECT_TRUE(login.insecure);
  EXPECT_EQ(login.user, "'bob'") << "the shell, not the client, removes quotes";
  EXPECT_EQ(login.password, "p w");
  wqcli::LoginArgs none;
  EXPECT_FALSE(wqcli::ParseLogin({"https://m:8443"}, none, error));
  EXPECT_FALSE(wqcli::ParseLogin({"--token=t"}, none, error));
  EXPECT_FALSE(wqcli::ParseLogin({"a", "b", "--token=t"}, none, error));
  EXPECT_FALSE(wqcli::ParseLogin({"a", "--insecure-skip-tls-verify=yes", "--token=t"}, none, error));
}

TEST(CliState, KeepsKeysItDoesNotKnowAndFindsPodsBelowTheConfiguredDirectory) {
  TempDir base;
  wqcli::State state{{"podsDir", "/srv/pods"}, {"custom", "x=y"}};
  std::string error;
  ASSERT_TRUE(wqcli::WriteState(base.path(), state, error)) << error;
  wqcli::State read;
  ASSERT_TRUE(wqcli::ReadState(base.path(), read));
  EXPECT_EQ(read, state);
  EXPECT_EQ(wqcli::PodDirectory(base.path(), read, "ns", "p"), "/srv/pods/ns/p");
  EXPECT_EQ(wqcli::PodDirectory(base.path(), wqcli::State(), "ns", "p"),
            base.path() + "/pods/ns/p");
  setenv("dBASEHOME", "/opt/agent", 1);
  EXPECT_EQ(wqcli::BaseDirectory("/usr/bin/wqOpenShiftCLI"), "/opt/agent");
  unsetenv("dBASEHOME");
  EXPECT_EQ(wqcli::BaseDirectory("/usr/bin/wqOpenShiftCLI"), "/usr/bin");
}

}  // namespace
