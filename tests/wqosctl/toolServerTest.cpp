// wqosctl as a program against a simulated cluster given with --server: reads, commands in
// pods, dry runs that change nothing, exit codes, and secrets that never show.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <boost/json.hpp>

#include "tests/wqosctl/sampleClusterTest.h"

namespace {

using wqtest::Result;
using wqtest::TempDir;

class ToolProgram : public wqtest::SampleClusterTest {
 protected:
  void SetUp() override {
    // The command-line client in the agent's base directory, as an installation has it.
    const std::string client = base.path() + "/wqOpenShiftCLI";
    ASSERT_EQ(std::system(("cp '" WQ_CLI_PROGRAM "' '" + client + "'").c_str()), 0);
    wqtest::WriteFile(base.path() + "/wqOpenShiftCLI.state", "podsDir=" + base.path() + "/pods\n");
    env = wqtest::CleanEnv();
    env["dBASEHOME"] = base.path();
    env["WQOSDK_SLEEP_SCALE"] = "0.001";
    env["WQOSCTL_PASSWORD"] = Password();
  }

  Result Tool(std::vector<std::string> args, bool asUser = true) {
    // Login options go before the arguments, which may end with "-- COMMAND...".
    if (asUser) {
      args.insert(args.begin() + 1, {"--server", simulator->BaseUrl(), "--user", "alice"});
    }
    args.insert(args.begin(), WQOSCTL_PROGRAM);
    const Result result = wqtest::Run(args, env);
    EXPECT_EQ(result.all().find(Password()), std::string::npos) << result.all();
    EXPECT_EQ(result.all().find(Token()), std::string::npos) << result.all();
    return result;
  }

  TempDir base;
  TempDir work;
  wqtest::Environment env;
};

TEST_F(ToolProgram, GetShowsTablesAndJson) {
  const Result projects = Tool({"get", "projects"});
  EXPECT_EQ(projects.code, 0) << projects.err;
  EXPECT_EQ(projects.out.rfind("NAME", 0), 0u) << projects.out;
  EXPECT_NE(projects.out.find("\ndemo "), std::string::npos) << projects.out;

  const Result pods = Tool({"get", "pods", "-n", "demo"});
  EXPECT_EQ(pods.code, 0) << pods.err;
  EXPECT_NE(pods.out.find("1/1     Running"), std::string::npos) << pods.out;
  EXPECT_NE(pods.out.find("Succeeded"), std::string::npos) << "the deployer pod is listed";

  const Result list = Tool({"get", "dc", "-n", "demo", "-o", "json"});
  ASSERT_EQ(list.code, 0) << list.err;
  const boost::json::value items = boost::json::parse(list.out).at("items");
  ASSERT_EQ(items.as_array().size(), 1u);
  EXPECT_EQ(items.at(0).at("metadata").at("name"), "web");

  const Result one = Tool({"get", "pvc", "web-data", "-n", "demo", "-o", "json"});
  ASSERT_EQ(one.code, 0) << one.err;
  const boost::json::value claim = boost::json::parse(one.out);
  EXPECT_EQ(claim.at("spec").at("storageClassName"), "glusterfs-storage");

  // Volumes and endpoints of the namespace's claims.
  const Result volumes = Tool({"get", "pv", "-n", "demo"});
  EXPECT_EQ(volumes.code, 0) << volumes.err;
  EXPECT_NE(volumes.out.find("demo/web-data"), std::string::npos) << volumes.out;
  EXPECT_NE(volumes.out.find("demo/web-logs"), std::string::npos) << volumes.out;
  const Result endpoints = Tool({"get", "endpoints", "-n", "demo"});
  EXPECT_NE(endpoints.out.find("glusterfs-dynamic-web-data"), std::string::npos) << endpoints.out;
  EXPECT_TRUE(Mutations().empty());
}

TEST_F(ToolProgram, LoginsFromFilesAndTheEnvironmentAndTheirFailures) {
  wqtest::WriteFile(work.path() + "/token", Token() + "\n");
  const Result byFile =
      Tool({"get", "projects", "--server", simulator->BaseUrl(), "--service-account", "backup",
            "--token-file", work.path() + "/token", "-v"},
           false);
  EXPECT_EQ(byFile.code, 0) << byFile.err;
  env["WQOSCTL_TOKEN"] = Token();
  const Result byEnv = Tool(
      {"get", "projects", "--server", simulator->BaseUrl(), "--service-account", "backup", "-v"},
      false);
  EXPECT_EQ(byEnv.code, 0) << byEnv.err;

  env["WQOSCTL_TOKEN"] = "wrong-token-that-is-long";
  const Result badToken = Tool(
      {"get", "projects", "--server", simulator->BaseUrl(), "--service-account", "backup"}, false);
  EXPECT_EQ(badToken.code, 1);
  EXPECT_NE(badToken.err.find("refused the token"), std::string::npos) << badToken.err;

  env["WQOSCTL_PASSWORD"] = "wrong-password";
  const Result badPassword = Tool({"get", "projects"});
  EXPECT_EQ(badPassword.code, 1);
  EXPECT_NE(badPassword.err.find("login to " + simulator->BaseUrl() + " as alice failed"),
            std::string::npos)
      << badPassword.err;

  env.erase("WQOSCTL_PASSWORD");
  const Result none = Tool({"get", "projects"});
  EXPECT_EQ(none.code, 2);
  EXPECT_NE(none.err.find("no password for alice"), std::string::npos);

  const Result argument = Tool({"get", "projects", "--password", Password()});
  EXPECT_EQ(argument.code, 2);
}

// With -v every line of the library is shown, which is where a secret would slip out.
TEST_F(ToolProgram, VerboseOutputHoldsNoSecret) {
  const Result result = Tool({"exec", "web", "-n", "demo", "-v", "--", "env"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.err.find("| "), std::string::npos) << "library lines are shown";
  EXPECT_EQ(result.out.find("WQOSCTL_PASSWORD"), std::string::npos)
      << "the tool's environment does not reach the pods";
}

TEST_F(ToolProgram, ExecRunsInEveryRunningPodAndReportsFailures) {
  const Result result =
      Tool({"exec", "web", "-n", "demo", "--", "sh", "-c", "echo \"$HOSTNAME in $PWD\""});
  ASSERT_EQ(result.code, 0) << result.err;
  size_t pods = 0;
  for (size_t at = result.out.find("web-1-"); at != std::string::npos;
       at = result.out.find("web-1-", at + 1)) {
    ++pods;
  }
  EXPECT_EQ(pods, 6u) << "two pods, each named three times:\n" << result.out;
  EXPECT_NE(result.out.find(base.path() + "/pods/demo/web-1-"), std::string::npos);
  EXPECT_EQ(result.out.find("deploy"), std::string::npos);

  EXPECT_EQ(Tool({"exec", "web", "-n", "demo", "--", "false"}).code, 1);
  EXPECT_EQ(Tool({"exec", "nosuch", "-n", "demo", "--", "true"}).code, 1);
  const Result annotation = Tool({"exec", "web", "-n", "demo", "--annotation", "wq.quiesce"});
  EXPECT_EQ(annotation.code, 0) << annotation.err;
  EXPECT_NE(annotation.out.find(":quiesced"), std::string::npos) << annotation.out;
  EXPECT_EQ(Tool({"exec", "web", "-n", "demo", "--annotation", "nosuch"}).code, 1);
}

TEST_F(ToolProgram, BackupDryRunPrintsThePlanAndChangesNothing) {
  Mutations();
  const std::string dir = work.path() + "/backup";
  const Result plan =
      Tool({"backup", "web", "-n", "demo", "--dir", dir, "--dry-run", "--quiesce-annotation",
            "wq.quiesce", "--unquiesce-annotation", "wq.unquiesce", "--copy-data"});
  EXPECT_EQ(plan.code, 0) << plan.err;
  for (const std::string& line : std::vector<std::string>{
           "dry run: backup of demo/web into " + dir + " (nothing is changed)",
           "file     " + dir + "/pvc_web-data (claim)", "file     " + dir + "/secret_web-secret",
           "file     " + dir + "/configmap_web-config", "file     " + dir + "/deploymentconfig_web",
           "file     " + dir + "/manifest.json",
           "command  quiesce (annotation wq.quiesce): [-- sh -c 'sync && echo quiesced'] in pods",
           "mount it on " + dir + "/web-logs", "snapshot vol_"}) {
    EXPECT_NE(plan.out.find(line), std::string::npos) << line << "\n" << plan.out;
  }
  EXPECT_EQ(plan.out.find("deploy,"), std::string::npos);
  struct stat info {};
  EXPECT_NE(stat(dir.c_str(), &info), 0) << "the dry run made the backup directory";
  EXPECT_EQ(Mutations(), std::vector<std::string>());

  const Result missing = Tool(
      {"backup", "web", "-n", "demo", "--dir", dir, "--dry-run", "--quiesce-annotation", "nosuch"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("no annotation nosuch"), std::string::npos) << missing.err;
}

TEST_F(ToolProgram, RestoreDryRunReadsTheBackupAndChangesNothing) {
  const std::string dir = work.path() + "/backup";
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "/data/web-data/sub'").c_str()), 0);
  wqtest::WriteFile(dir + "/data/web-data/sub/file", "12345");
  wqtest::WriteFile(dir + "/deploymentconfig_web", "{}");
  wqtest::WriteFile(dir + "/secret_web-secret", "{}");
  wqtest::WriteFile(dir + "/manifest.json", R"({"version": 1, "namespace": "demo",
    "deploymentConfig": "web", "complete": true, "volumes": [
      {"name": "web-data", "capacity": "2Gi", "storageClassName": "glusterfs-storage",
       "accessModes": ["ReadWriteOnce"], "dataCopy": "data/web-data"},
      {"name": "web-gone", "capacity": "1Gi", "storageClassName": "glusterfs-storage"}]})");
  Mutations();
  const Result plan = Tool({"restore", "web", "-n", "demo", "--from", dir, "--dry-run"});
  EXPECT_EQ(plan.code, 1) << "web-gone has no saved files";
  for (const char* line : {"claim web-data exists: create claim web-data-<random number>",
                           "copy 2 entries (5 bytes) from", "create claim web-gone (1Gi",
                           "create or update secret web-secret", "update deployment config web",
                           "problem  claim web-gone: no saved files in"}) {
    EXPECT_NE(plan.out.find(line), std::string::npos) << line << "\n" << plan.out;
  }
  const Result reuse =
      Tool({"restore", "web", "-n", "demo", "--from", dir, "--dry-run", "--reuse"});
  EXPECT_NE(reuse.out.find("reuse claim web-data (capacity 2Gi >= 2Gi)"), std::string::npos)
      << reuse.out;
  EXPECT_EQ(Mutations(), std::vector<std::string>());
}

TEST_F(ToolProgram, ReleaseAndRestoreNeedAManifest) {
  const Result release = Tool({"release", "--dir", work.path()});
  EXPECT_EQ(release.code, 1);
  EXPECT_NE(release.err.find("cannot read " + work.path() + "/manifest.json"), std::string::npos);
  EXPECT_EQ(Tool({"restore", "web", "-n", "demo", "--from", work.path()}).code, 1);
}

TEST_F(ToolProgram, UsageErrorsAndHelp) {
  const Result usage = Tool({"backup", "web"}, false);
  EXPECT_EQ(usage.code, 2);
  EXPECT_NE(usage.err.find("Run \"wqosctl backup --help\""), std::string::npos) << usage.err;
  const Result help = Tool({"restore", "--help"}, false);
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: wqosctl restore"), std::string::npos);
}

}  // namespace
