// Export of object definitions to files: the bytes of the GET body, and every way
// writing them can fail.
#include <sys/stat.h>
#include <unistd.h>

#include "host/luFile.h"
#include "operations/logContexts.h"
#include "tests/rest/restTestUtil.h"

namespace resttest {
namespace {

using OpenShiftSDKWrapper::CLuFile;
using OpenShiftSDKWrapper::WQOpenShiftOperations;
using wqsim::ScriptedAnswer;

const char* const kWriteContext = OpenShiftSDKWrapper::OperationContexts::kWriteToFile;

struct ExportRow {
  const char* label;
  const char* path;
  const char* fixture;
  bool (WQOpenShiftOperations::*run)(const std::string&, const std::string&, const std::string&);
};
void PrintTo(const ExportRow& row, std::ostream* os) { *os << row.label; }

class ExportTest : public RestTest, public ::testing::WithParamInterface<ExportRow> {
 protected:
  bool Export(const std::string& file) { return (operations_.*GetParam().run)("ops", "obj", file); }
};

TEST_P(ExportTest, FileHoldsTheReplyByteForByte) {
  const ExportRow& row = GetParam();
  const std::string body = Fixture(row.fixture);
  server_.Script("GET", row.path, ScriptedAnswer::Json(200, body));
  Login();
  const std::string file = scratch_.path() + "/" + row.label + "_obj";
  ASSERT_TRUE(Export(file));
  EXPECT_EQ(wqtest::ReadFile(file), body);
  EXPECT_EQ(Sent(), std::vector<std::string>{std::string("GET ") + row.path});
  // Definitions may hold secrets: the file is readable by its owner only.
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A missing object writes nothing: an older file of that name survives.
TEST_P(ExportTest, MissingObjectLeavesExistingFileUntouched) {
  const ExportRow& row = GetParam();
  server_.Script("GET", row.path, ScriptedAnswer::Json(404, Fixture("status.notfound.json")));
  Login();
  const std::string file = scratch_.File("older", "{\"kind\":\"older\"}");
  EXPECT_FALSE(Export(file));
  EXPECT_EQ(wqtest::ReadFile(file), "{\"kind\":\"older\"}");
  EXPECT_EQ(LinesOf(kWriteContext), std::vector<std::string>{});
}

// A 200 answer that is not one JSON object is no definition: nothing is written, the
// older file survives, and the export fails.
TEST_P(ExportTest, AnswerThatIsNoObjectIsRefused) {
  const ExportRow& row = GetParam();
  server_.Script("GET", row.path, ScriptedAnswer::Text(200, "<html>proxy error</html>").Times(1));
  server_.Script("GET", row.path, ScriptedAnswer::Json(200, "[1,2]"));
  Login();
  const std::string file = scratch_.File("older", "{\"kind\":\"older\"}");
  EXPECT_FALSE(Export(file));
  EXPECT_FALSE(Export(file));
  EXPECT_EQ(wqtest::ReadFile(file), "{\"kind\":\"older\"}");
  const std::string refused =
      "ERROR Failed to write config to file [" + file + "] err [the answer is not a JSON object]";
  EXPECT_EQ(LinesOf(kWriteContext), (std::vector<std::string>{refused, refused}));
}

INSTANTIATE_TEST_SUITE_P(
    Exports, ExportTest,
    ::testing::Values(ExportRow{"deploymentconfig", "/oapi/v1/namespaces/ops/deploymentconfigs/obj",
                                "deploymentconfig.oso.json",
                                &WQOpenShiftOperations::WriteDeploymentConfigInfoToFile},
                      ExportRow{"pvc", "/api/v1/namespaces/ops/persistentvolumeclaims/obj",
                                "persistentvolumeclaim.bound.oso.json",
                                &WQOpenShiftOperations::WritePVCInfoToFile},
                      ExportRow{"secret", "/api/v1/namespaces/ops/secrets/obj",
                                "secret.glusterfs-heketi.json",
                                &WQOpenShiftOperations::WriteSecretInfoToFile},
                      ExportRow{"configmap", "/api/v1/namespaces/ops/configmaps/obj",
                                "configmap.oso.json",
                                &WQOpenShiftOperations::WriteConfigMapToFile}),
    [](const ::testing::TestParamInfo<ExportRow>& info) { return info.param.label; });

using WriteToFileTest = RestTest;

TEST_F(WriteToFileTest, EmptyTextCreatesOrEmptiesTheFile) {
  const std::string fresh = scratch_.path() + "/fresh";
  const std::string old = scratch_.File("old", "previous content");
  EXPECT_TRUE(operations_.WriteToFile("", fresh));
  EXPECT_TRUE(operations_.WriteToFile("", old));
  EXPECT_TRUE(std::filesystem::exists(fresh));
  EXPECT_EQ(std::filesystem::file_size(fresh), 0u);
  EXPECT_EQ(std::filesystem::file_size(old), 0u);
  EXPECT_TRUE(lines_.empty());
}

// Bytes are written as they are, NULs and invalid UTF-8 included.
TEST_F(WriteToFileTest, BinaryTextIsKept) {
  const std::string text("a\0b\xff\n", 5);
  const std::string file = scratch_.path() + "/binary";
  EXPECT_TRUE(operations_.WriteToFile(text, file));
  EXPECT_EQ(wqtest::ReadFile(file), text);
}

TEST_F(WriteToFileTest, MissingDirectoryFailsToOpen) {
  const std::string file = scratch_.path() + "/no/such/dir/pvc_x";
  EXPECT_FALSE(operations_.WriteToFile("{}", file));
  EXPECT_FALSE(std::filesystem::exists(file));
  const std::vector<std::string> lines = LinesOf(kWriteContext);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("ERROR Failed to open [" + file + "] err [", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("No such file or directory"), std::string::npos) << lines[0];
}

// A link planted at the file's name (or its temporary name) is replaced, not written
// through; a device there is refused and stays; a replaced file is owner-only like a new one.
TEST_F(WriteToFileTest, PlantedEntriesAreNeverWrittenThrough) {
  const std::string outside = scratch_.File("outside", "outside text");
  const std::string viaLink = scratch_.path() + "/secret_s";
  const std::string viaTemporary = scratch_.path() + "/pvc_p";
  ASSERT_EQ(symlink(outside.c_str(), viaLink.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (viaTemporary + ".tmp").c_str()), 0);
  const std::string old = scratch_.File("configmap_c", "old");
  chmod(old.c_str(), 0644);
  for (const std::string& file : {viaLink, viaTemporary, old}) {
    EXPECT_TRUE(operations_.WriteToFile("{\"kind\":\"Secret\"}", file)) << file;
    struct stat info {};
    ASSERT_EQ(lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode)) << file;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    EXPECT_EQ(wqtest::ReadFile(file), "{\"kind\":\"Secret\"}");
  }
  EXPECT_EQ(wqtest::ReadFile(outside), "outside text");
  if (!std::filesystem::exists("/dev/full")) return;
  EXPECT_FALSE(operations_.WriteToFile("{}", "/dev/full"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
  EXPECT_FALSE(std::filesystem::exists("/dev/full.tmp"));
}

}  // namespace
}  // namespace resttest
