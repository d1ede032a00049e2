// wqosctl's command line: what each command accepts and refuses, secrets never taken from
// arguments, --help everywhere, and the text helpers the commands print with.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"
#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/commands.h"

namespace {

using wqosctl::Invocation;

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct RefusedRow {
  const char* args;
  const char* error;  // a part of the message
};

class Refused : public testing::TestWithParam<RefusedRow> {};

TEST_P(Refused, NamesTheProblem) {
  Invocation invocation;
  std::string error;
  EXPECT_FALSE(wqosctl::ParseCommandLine(Words(GetParam().args), invocation, error));
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Refused,
    testing::Values(
        RefusedRow{"frobnicate", "unknown command"}, RefusedRow{"get pods", "needs -n NAMESPACE"},
        RefusedRow{"get widgets -n demo", "unknown kind \"widgets\""},
        RefusedRow{"get pods a b -n demo", "at most one name"},
        RefusedRow{"get pods -n demo -o yaml", "-o takes"},
        RefusedRow{"get pods -n demo --dir /tmp", "--dir is not an option of get"},
        RefusedRow{"backup web -n demo", "needs --dir DIR"},
        RefusedRow{"backup -n demo --dir /b", "name of one deployment config"},
        RefusedRow{"backup web --dir /b", "needs -n NAMESPACE"},
        RefusedRow{"backup web -n demo --dir /b --unquiesce-annotation u", "needs --quiesce"},
        RefusedRow{"backup web -n demo --dir /b --snapshot-name a;b", "--snapshot-name takes"},
        RefusedRow{"backup web -n demo --dir /b --reuse", "--reuse is not an option of backup"},
        RefusedRow{"backup web --all -n demo --dir /b", "--all takes no deployment config"},
        RefusedRow{"release --all --dir /b", "--all is not an option of release"},
        RefusedRow{"release -n demo", "needs --dir DIR"},
        RefusedRow{"release extra --dir /b", "takes no arguments"},
        RefusedRow{"restore web -n demo", "needs --from DIR"},
        RefusedRow{"restore web -n demo --from /b --copy-data", "not an option of restore"},
        RefusedRow{"restore web -n demo --from /b --parallel 0", "--parallel takes a number"},
        RefusedRow{"restore web -n demo --from /b --parallel -1", "--parallel takes a number"},
        RefusedRow{"restore web -n demo --from /b --parallel 2x", "--parallel takes a number"},
        RefusedRow{"restore web -n demo --from /b --parallel 65", "--parallel takes a number"},
        RefusedRow{"restore web -n demo --from /b --parallel 99999999999999999999",
                   "--parallel takes a number"},
        RefusedRow{"backup web -n demo --dir /b --parallel 2", "not an option of backup"},
        RefusedRow{"exec web -n demo", "either -- COMMAND... or --annotation"},
        RefusedRow{"exec web -n demo --annotation a -- ls", "either -- COMMAND"},
        RefusedRow{"get pods -n demo -- ls", "only taken by exec"},
        RefusedRow{"demo --server https://x --user a", "drop --server"},
        RefusedRow{"demo -n demo", "-n is not an option of demo"},
        RefusedRow{"get projects --server https://x", "needs --user or --service-account"},
        RefusedRow{"get projects --user a --service-account b", "not both"},
        RefusedRow{"get projects --password-file /p", "--password-file needs --user"},
        RefusedRow{"get projects --token-file /t", "--token-file needs --service-account"},
        RefusedRow{"get projects --node-key-passphrase-file /p", "needs --node-key-file"},
        RefusedRow{"get projects --node h --node-password-file /p --node-key-file /k",
                   "node h: give either"},
        RefusedRow{"get projects --bogus", "unknown option --bogus"},
        RefusedRow{"get projects --verbose=yes", "takes no value"},
        RefusedRow{"get pods -n", "needs a value"},
        RefusedRow{"get pods --namespace=", "non-empty value"}));

// Every way of putting a secret on the command line is refused before anything runs, and
// the message names where the secret belongs instead.
class SecretArgument : public testing::TestWithParam<RefusedRow> {};

TEST_P(SecretArgument, IsRefused) {
  Invocation invocation;
  std::string error;
  EXPECT_FALSE(wqosctl::ParseCommandLine(Words(GetParam().args), invocation, error));
  EXPECT_NE(error.find("never taken from the command line"), std::string::npos) << error;
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  EXPECT_EQ(error.find("hunter2"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SecretArgument,
    testing::Values(RefusedRow{"get projects --user a --password hunter2", "WQOSCTL_PASSWORD"},
                    RefusedRow{"get projects --user a --password=hunter2", "--password-file"},
                    RefusedRow{"get projects --user a -p hunter2", "WQOSCTL_PASSWORD"},
                    RefusedRow{"get projects --service-account a --token=hunter2", "WQOSCTL_TOKEN"},
                    RefusedRow{"get projects --node-password hunter2", "--node-password-file"},
                    RefusedRow{"get projects --node-key hunter2", "--node-key-file"},
                    RefusedRow{"get projects --node-key-passphrase hunter2",
                               "--node-key-passphrase-file"}));

TEST(CommandLine, ReadsEveryOptionOfABackup) {
  Invocation invocation;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseCommandLine(
      Words("--server https://m:8443 backup web -n demo --dir=/b --snapshot-name nightly "
            "--quiesce-annotation q --unquiesce-annotation u --copy-data --dry-run "
            "--user admin --password-file /p -v --log /tmp/l"),
      invocation, error))
      << error;
  EXPECT_EQ(invocation.command, "backup");
  EXPECT_EQ(invocation.positional, std::vector<std::string>{"web"});
  EXPECT_EQ(invocation.server, "https://m:8443");
  EXPECT_EQ(invocation.nameSpace, "demo");
  EXPECT_EQ(invocation.dir, "/b");
  EXPECT_EQ(invocation.snapshotName, "nightly");
  EXPECT_EQ(invocation.quiesce, "q");
  EXPECT_EQ(invocation.unquiesce, "u");
  EXPECT_TRUE(invocation.copyData && invocation.dryRun && invocation.verbose);
  EXPECT_EQ(invocation.user, "admin");
  EXPECT_EQ(invocation.passwordFile, "/p");
  EXPECT_EQ(invocation.logFile, "/tmp/l");
}

TEST(CommandLine, ParallelRestoreTakesACount) {
  for (const auto& [args, parallel] : {std::pair{"restore web -n demo --from /b", 0u},
                                       {"restore web -n demo --from /b --parallel 1", 1u},
                                       {"restore web -n demo --from /b --parallel=064", 64u}}) {
    Invocation invocation;
    std::string error;
    ASSERT_TRUE(wqosctl::ParseCommandLine(Words(args), invocation, error)) << args << ": " << error;
    EXPECT_EQ(invocation.parallel, parallel) << args;
  }
}

TEST(CommandLine, NodeOptionsBeforeAnyNodeAreTheDefault) {
  Invocation invocation;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseCommandLine(
      Words("release --dir /b --node-user root --node-key-file /k --node 10.0.0.1 "
            "--node-password-file /p1 --node 10.0.0.2 --node-user admin"),
      invocation, error))
      << error;
  EXPECT_EQ(invocation.nodeDefaults.user, "root");
  EXPECT_EQ(invocation.nodeDefaults.keyFile, "/k");
  ASSERT_EQ(invocation.nodes.size(), 2u);
  EXPECT_EQ(invocation.nodes[0].host, "10.0.0.1");
  EXPECT_EQ(invocation.nodes[0].passwordFile, "/p1");
  EXPECT_EQ(invocation.nodes[1].host, "10.0.0.2");
  EXPECT_EQ(invocation.nodes[1].user, "admin");
  EXPECT_TRUE(invocation.nodes[1].passwordFile.empty());
}

TEST(CommandLine, ExecKeepsTheWordsAfterTheSeparatorAsTheyAre) {
  Invocation invocation;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseCommandLine(
      {"exec", "web", "-n", "demo", "--", "sh", "-c", "echo --help -n x", "--"}, invocation, error))
      << error;
  EXPECT_FALSE(invocation.help);
  EXPECT_EQ(invocation.nameSpace, "demo");
  EXPECT_EQ(invocation.words, (std::vector<std::string>{"sh", "-c", "echo --help -n x", "--"}));
}

TEST(CommandLine, KindAliasesBecomeOneName) {
  struct Row {
    const char* alias;
    const char* kind;
  };
  for (const Row& row :
       {Row{"deploymentconfigs", "dc"}, Row{"sc", "storageclasses"}, Row{"po", "pods"},
        Row{"persistentvolumeclaim", "pvc"}, Row{"ep", "endpoints"}, Row{"project", "projects"}}) {
    Invocation invocation;
    std::string error;
    ASSERT_TRUE(wqosctl::ParseCommandLine({"get", row.alias, "-n", "demo"}, invocation, error))
        << row.alias << ": " << error;
    EXPECT_EQ(invocation.positional[0], row.kind);
  }
  Invocation named;
  std::string error;
  EXPECT_TRUE(wqosctl::ParseCommandLine({"get", "pv", "pvc-1"}, named, error))
      << "a volume is named without a namespace: " << error;
}

TEST(CommandLine, HelpOnEveryCommandWinsOverMissingArguments) {
  for (const char* command : {"get", "backup", "release", "restore", "exec", "demo"}) {
    for (const char* flag : {"--help", "-h"}) {
      Invocation invocation;
      std::string error;
      ASSERT_TRUE(wqosctl::ParseCommandLine({command, flag}, invocation, error)) << error;
      EXPECT_TRUE(invocation.help);
      const std::string text = wqosctl::HelpText(invocation.command);
      EXPECT_NE(text.find(std::string("usage: wqosctl ") + command), std::string::npos) << text;
      EXPECT_NE(text.find("WQOSCTL_PASSWORD"), std::string::npos);
    }
  }
  Invocation invocation;
  std::string error;
  ASSERT_TRUE(wqosctl::ParseCommandLine({"help", "restore"}, invocation, error));
  EXPECT_TRUE(invocation.help);
  EXPECT_EQ(invocation.command, "restore");
  Invocation none;
  ASSERT_TRUE(wqosctl::ParseCommandLine({}, none, error));
  EXPECT_TRUE(none.help);
  EXPECT_NE(wqosctl::HelpText("").find("Commands:"), std::string::npos);
}

TEST(CommandText, TableColumnsLineUpAndEmptyCellsShowADash) {
  EXPECT_EQ(wqosctl::FormatTable({{"NAME", "STATUS"}, {"web-data", ""}, {"x", "Bound"}}),
            "NAME       STATUS\n"
            "web-data   -\n"
            "x          Bound\n");
}

// The words reach the command-line client one argument each, whatever they hold.
TEST(CommandText, PodCommandLineKeepsEachWordWhole) {
  const std::vector<std::string> words = {"printf", "%s|", "a b", "it's", "$HOME", "\"q\"", ""};
  const std::string line = wqosctl::PodCommandLine(words);
  ASSERT_EQ(line.rfind("-- ", 0), 0u) << line;
  const wqtest::Result result = wqtest::Run({"/bin/sh", "-c", line.substr(3)}, wqtest::CleanEnv());
  EXPECT_EQ(result.out, "a b|it's|$HOME|\"q\"||") << line;
}

TEST(CommandText, SplitLinesAddsNoEmptyLastLine) {
  EXPECT_EQ(wqosctl::SplitLines("a\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(wqosctl::SplitLines("a"), std::vector<std::string>{"a"});
  EXPECT_TRUE(wqosctl::SplitLines("").empty());
}

}  // namespace
