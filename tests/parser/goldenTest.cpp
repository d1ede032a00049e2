// Round trips over the real API documents of tests/data/fixtures.
//
// Each kind of document the codec reads is one row of kGoldenKinds: the fixture
// files it applies to and how a document goes through the codec. For every
// piece written (a whole document, a list item or a record found at a path) the
// harness checks that
//   - the document parses;
//   - writing what was read back gives the same text again (second write identical);
//   - the written piece invents nothing: each member it holds is in the document
//     with the same value, or is a false/0 the writing rules always add, or a
//     32-bit field's truncation of a wider number;
// and kGoldenExpectations names single members that must survive, change or vanish.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "parser/openshiftParser.h"
#include "parser/recordTables.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;
namespace fs = std::filesystem;

const fs::path kFixtures = WQ_FIXTURES_DIR;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

mValue ParseValue(const std::string& text) {
  mValue value;
  json_spirit::read_string(text, value);
  return value;
}

std::vector<std::string> FixtureNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(kFixtures, error)) {
    if (entry.path().extension() == ".json") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// ---- Table walks: a read-only record as JSON, and the member names of the tables ----------

template <class R, class Visit>
void ForEachRow(Visit&& visit) {
  std::apply([&](const auto&... row) { (visit(row), ...); }, codec::RecordTable<R>::Rows());
}

template <class R>
mObject Dump(const R& record);

// Every read row under its key, with no writing rule but presence flags.
template <class T>
mValue DumpValue(const T& value) {
  if constexpr (std::is_same_v<T, int64_t>) {
    return mValue(static_cast<long>(value));
  } else if constexpr (codec::kIsScalar<T>) {
    return mValue(value);
  } else if constexpr (std::is_same_v<T, SObjectInfoLib>) {
    mObject object;
    for (const auto& entry : value.keyValues) object[entry.key] = entry.value;
    return object;
  } else if constexpr (codec::IsVector<T>::value) {
    mArray array;
    for (const auto& element : value) array.push_back(DumpValue(element));
    return array;
  } else {
    return Dump(value);
  }
}

template <class R>
mObject Dump(const R& record) {
  mObject object;
  ForEachRow<R>([&](const auto& row) {
    using Traits = codec::RowTraits<std::decay_t<decltype(row)>>;
    if (Traits::reads && Traits::Present(record)) object[row.key] = DumpValue(record.*row.field);
  });
  return object;
}

// ---- Comparisons ---------------------------------------------------------------------

bool IsAddedDefault(const mValue& value) {
  switch (value.type()) {
    case json_spirit::bool_type:
      return !value.get_bool();
    case json_spirit::int_type:
      return value.get_int64() == 0;
    case json_spirit::obj_type:
      for (const auto& member : value.get_obj()) {
        if (!IsAddedDefault(member.second)) return false;
      }
      return true;
    default:
      return false;
  }
}

// Members of `written` that `document` does not account for.
void Invented(const mValue& written, const mValue& document, const std::string& path,
              std::vector<std::string>& problems) {
  if (written.type() == json_spirit::obj_type && document.type() == json_spirit::obj_type) {
    const mObject& original = document.get_obj();
    for (const auto& member : written.get_obj()) {
      const auto found = original.find(member.first);
      if (found != original.end())
        Invented(member.second, found->second, path + "/" + member.first, problems);
      else if (!IsAddedDefault(member.second))
        problems.push_back(path + "/" + member.first + " is not in the document");
    }
  } else if (written.type() == json_spirit::array_type &&
             document.type() == json_spirit::array_type) {
    const mArray& original = document.get_array();
    const mArray& array = written.get_array();
    if (array.size() > original.size())
      problems.push_back(path + " has more elements than the document");
    for (size_t i = 0; i < array.size() && i < original.size(); ++i)
      Invented(array[i], original[i], path + "/" + std::to_string(i), problems);
  } else if (written.type() == json_spirit::int_type && document.type() == json_spirit::int_type) {
    const int64_t value = written.get_int64();
    if (value != document.get_int64() && value != static_cast<int>(document.get_int64()))
      problems.push_back(path + " changed from " + json_spirit::write_string(document));
  } else if (written.type() != document.type() && IsAddedDefault(written)) {
    // a member of another type reads as absent: 0, false or an empty record
  } else if (written != document) {
    problems.push_back(path + " is " + json_spirit::write_string(written) + ", the document has " +
                       json_spirit::write_string(document));
  }
}

// ---- How each kind goes through the codec ------------------------------------------

struct Piece {
  std::string where;  // "" for the whole document, "items/1" or the path of a record
  mValue document;    // what the piece was read from
  mValue first;       // written from what was read
  mValue second;      // written from what `first` read back as
  std::vector<std::string> lost;
};

struct Outcome {
  bool parsed = false;
  std::vector<Piece> pieces;
};

using RoundTrip = Outcome (*)(const std::string& text, const std::string& path);

const WQOpenShiftParser kParser;

template <class R>
using ParseOne = bool (WQOpenShiftParser::*)(const std::string&, R&) const;
template <class R>
using ParseMany = bool (WQOpenShiftParser::*)(const std::string&, std::vector<R>&) const;
template <class R>
using Serialize = bool (WQOpenShiftParser::*)(R&, std::string&) const;

// A read-only kind is parsed through its list operation, the document as the only item.
template <class R, ParseMany<R> Parse>
bool ParseAsItem(const std::string& text, R& out) {
  std::vector<R> items;
  if (!(kParser.*Parse)("{\"items\":[" + text + "]}", items) || items.size() != 1) return false;
  out = items[0];
  return true;
}

template <class R, ParseOne<R> Parse>
bool ParseSingle(const std::string& text, R& out) {
  return (kParser.*Parse)(text, out);
}

// What a read-only record holds, as JSON without empty texts, lists and maps.
mValue Pruned(const mValue& value) {
  if (value.type() == json_spirit::obj_type) {
    mObject kept;
    for (const auto& member : value.get_obj()) {
      mValue inner = Pruned(member.second);
      const bool empty = (inner.type() == json_spirit::str_type && inner.get_str().empty()) ||
                         (inner.type() == json_spirit::array_type && inner.get_array().empty()) ||
                         (inner.type() == json_spirit::obj_type && inner.get_obj().empty());
      if (!empty) kept[member.first] = inner;
    }
    return kept;
  }
  if (value.type() == json_spirit::array_type) {
    mArray kept;
    for (const mValue& element : value.get_array()) kept.push_back(Pruned(element));
    return kept;
  }
  return value;
}

template <class R, Serialize<R> Write>
std::string SerializedBy(R& record) {
  std::string written;
  (kParser.*Write)(record, written);
  return written;
}

// A read-only record has no writer: what it holds is dumped through its table.
template <class R>
std::string Dumped(R& record) {
  return json_spirit::write_string(Pruned(Dump(record)));
}

template <class R, bool (*Parse)(const std::string&, R&), std::string (*Write)(R&)>
Outcome WholeDocument(const std::string& text, const std::string&) {
  Outcome outcome;
  R read{};
  outcome.parsed = Parse(text, read);
  if (!outcome.parsed) return outcome;
  Piece piece;
  piece.document = ParseValue(text);
  const std::string first = Write(read);
  R again{};
  Parse(first, again);
  piece.first = ParseValue(first);
  piece.second = ParseValue(Write(again));
  outcome.pieces.push_back(piece);
  return outcome;
}

template <class R, bool (*Parse)(const std::string&, R&), Serialize<R> Write>
Outcome Written(const std::string& text, const std::string& path) {
  return WholeDocument<R, Parse, &SerializedBy<R, Write>>(text, path);
}

template <class R, bool (*Parse)(const std::string&, R&)>
Outcome ReadOnlyDocument(const std::string& text, const std::string& path) {
  return WholeDocument<R, Parse, &Dumped<R>>(text, path);
}

// The values found at `path` ('/'-separated members, '*' for every array element).
void Locate(const mValue& value, const std::string& path, const std::string& where,
            std::vector<std::pair<std::string, const mValue*>>& found) {
  if (path.empty()) {
    found.emplace_back(where, &value);
    return;
  }
  const size_t slash = path.find('/');
  const std::string step = path.substr(0, slash);
  const std::string rest = slash == std::string::npos ? "" : path.substr(slash + 1);
  if (step == "*" && value.type() == json_spirit::array_type) {
    for (size_t i = 0; i < value.get_array().size(); ++i)
      Locate(value.get_array()[i], rest, where + "/" + std::to_string(i), found);
  } else if (value.type() == json_spirit::obj_type && value.get_obj().count(step) != 0) {
    Locate(value.get_obj().at(step), rest, where + "/" + step, found);
  }
}

// A record found inside a document, through the codec's reader and writer.
template <class R>
Outcome RecordsAt(const std::string& text, const std::string& path) {
  Outcome outcome;
  const mValue document = ParseValue(text);
  outcome.parsed = document.type() == json_spirit::obj_type;
  std::vector<std::pair<std::string, const mValue*>> found;
  Locate(document, path, "", found);
  for (const auto& [where, value] : found) {
    if (value->type() != json_spirit::obj_type) continue;
    Piece piece;
    piece.where = where;
    piece.document = *value;
    R read{};
    kParser.Convert(value->get_obj(), read);
    mObject first;
    kParser.Convert(read, first);
    R again{};
    kParser.Convert(first, again);
    mObject second;
    kParser.Convert(again, second);
    piece.first = first;
    piece.second = second;
    outcome.pieces.push_back(piece);
  }
  return outcome;
}

// Secrets and config maps are prepared as text: the metadata becomes the name
// in the target namespace, everything else stays.
template <bool (WQOpenShiftParser::*Prepare)(const std::string&, std::string&) const>
Outcome PreparedText(const std::string& text, const std::string&) {
  Outcome outcome;
  std::string first = text;
  outcome.parsed = (kParser.*Prepare)("restored", first);
  if (!outcome.parsed) return outcome;
  std::string second = first;
  (kParser.*Prepare)("restored", second);
  Piece piece;
  piece.document = ParseValue(text);
  piece.first = ParseValue(first);
  piece.second = ParseValue(second);
  mObject expected = piece.document.get_obj();
  const mObject& metadata = expected["metadata"].get_obj();
  const auto name = metadata.find("name");
  expected["metadata"] = mObject{{"name", name != metadata.end() ? name->second : mValue("")},
                                 {"namespace", mValue("restored")}};
  if (piece.first != mValue(expected))
    piece.lost.push_back("prepared text is " + first + ", expected " +
                         json_spirit::write_string(mValue(expected)));
  piece.document = expected;  // the reference for what may be written
  outcome.pieces.push_back(piece);
  return outcome;
}

// ---- The kinds ---------------------------------------------------------------------------

struct GoldenKind {
  const char* files;  // a regular expression over the fixture file names
  const char* path;   // "" for the whole document, else where the records sit
  RoundTrip roundTrip;
};

using P = WQOpenShiftParser;

const GoldenKind kGoldenKinds[] = {
    {R"(pod\..*)", "", &ReadOnlyDocument<SPodInfoLib, &ParseSingle<SPodInfoLib, &P::ParsePod>>},
    {R"(pod\..*)", "metadata", &RecordsAt<SObjectMetaInfoLib>},
    {R"(pod\..*)", "spec/volumes/*", &RecordsAt<SVolumeInfoLib>},
    {R"(pod\..*)", "spec/affinity", &RecordsAt<SAffinityInfoLib>},
    {R"(pod\..*)", "spec/securityContext", &RecordsAt<SPodSecurityContextInfoLib>},
    {R"(pod\..*)", "spec/tolerations/*", &RecordsAt<STolerationInfoLib>},
    {R"(pod\..*)", "spec/containers/*/securityContext", &RecordsAt<SSecurityContextInfoLib>},
    {R"(pod\..*)", "spec", &RecordsAt<SPodSpecInfoLib>},
    {R"(persistentvolume\.(full|glusterfs).*)", "",
     &Written<SPersistentVolumeInfoLib,
              &ParseSingle<SPersistentVolumeInfoLib, &P::ParsePersistentVolume>,
              &P::SerializePersistentVolume>},
    {R"(persistentvolumeclaim\.(full|bound).*)", "",
     &Written<SPersistentVolumeClaimInfoLib,
              &ParseSingle<SPersistentVolumeClaimInfoLib, &P::ParsePersistentVolumeClaim>,
              &P::SerializePersistentVolumeClaim>},
    {R"(persistentvolumeclaim\.(full|bound).*)", "spec/selector",
     &RecordsAt<SLabelSelectorInfoLib>},
    {R"(persistentvolumeclaim\.list\..*)", "items/*", &RecordsAt<SPersistentVolumeClaimInfoLib>},
    {R"(endpoints\..*)", "",
     &Written<SEndpointsInfoLib, &ParseSingle<SEndpointsInfoLib, &P::ParseEndpoints>,
              &P::SerializeEndpoints>},
    {R"(deploymentconfig\..*)", "",
     &Written<SDeploymentConfigInfoLib,
              &ParseSingle<SDeploymentConfigInfoLib, &P::ParseDeploymentConfig>,
              &P::SerializeDeploymentConfig>},
    {R"(deploymentconfig\..*)", "spec/template/spec/volumes/*", &RecordsAt<SVolumeInfoLib>},
    {R"((project|namespace)\..*)", "",
     &ReadOnlyDocument<SProjectInfoLib, &ParseAsItem<SProjectInfoLib, &P::ParseProjectList>>},
    {R"(storageclass\..*)", "",
     &ReadOnlyDocument<SStorageClassInfoLib,
                       &ParseAsItem<SStorageClassInfoLib, &P::ParseStorageClassList>>},
    {R"(secret\..*)", "", &PreparedText<&P::PrepareSecret>},
    {R"(configmap\..*)", "", &PreparedText<&P::PrepareConfigMap>},
};

// ---- Single members that must survive, change or vanish -----------------------------

struct GoldenExpectation {
  const char* file;
  const char* piece;    // the piece's `where`
  const char* pointer;  // '/'-separated path in the written piece
  const char* written;  // its JSON text, or nullptr when it must be absent
};

const GoldenExpectation kGoldenExpectations[] = {
    // What a plain round trip keeps of a deployment config, a claim and endpoints.
    {"deploymentconfig.oso.json", "", "/spec/replicas", "10"},
    {"deploymentconfig.oso.json", "", "/spec/triggers/0", R"({"type":"ConfigChange"})"},
    {"deploymentconfig.oso.json", "", "/spec/template/spec/containers/0/image", R"("notused")"},
    {"deploymentconfig.oso.json", "", "/metadata/labels",
     R"({"app":"oso-rhel7-ops-base","name":"oso-rhel7-zagg-web"})"},
    {"persistentvolumeclaim.bound.oso.json", "", "/spec",
     R"({"accessModes":["ReadWriteOnce"],"resources":{"requests":{"storage":"1Gi"}},
        "selector":{"matchLabels":{"abc":"a123","foo":"bar"}},"storageClassName":"myStorage",
        "volumeName":"pv-aws-ow5vl"})"},
    // A read-only document keeps what its reader fills.
    {"pod.full.v1.14.0.json", "", "/spec/nodeName", R"("251")"},
    {"pod.full.v1.14.0.json", "", "/status/containerStatuses/0/restartCount", "-1372876567"},
    {"pod.full.v1.14.0.json", "", "/status/containerStatuses/0/ready", "true"},
    {"pod.full.v1.14.0.json", "", "/status/containerStatuses/0/lastState/terminated/signal",
     "156368232"},
    {"pod.full.v1.14.0.json", "", "/status/containerStatuses/0/state/running/startedAt",
     R"("2912-12-15T17:53:00Z")"},
    {"endpoints.glusterfs.json", "", "/subsets/1",
     R"({"addresses":[{"ip":"10.240.79.157"}],"ports":[{"port":1}]})"},
    // glusterfs sources keep endpoints and path; "readOnly": false is added.
    {"pod.glusterfs-inline.json", "/spec/volumes/0", "/glusterfs",
     R"({"endpoints":"glusterfs-cluster","path":"kube_vol","readOnly":true})"},
    {"persistentvolume.glusterfs.static.json", "", "/spec/glusterfs",
     R"({"endpoints":"glusterfs-cluster","path":"myVol1","readOnly":false})"},
    {"deploymentconfig.heketi-glusterfs-volume.template.json", "/spec/template/spec/volumes/0",
     "/glusterfs/readOnly", "false"},
    // A member that is not part of the claim source is dropped.
    {"deploymentconfig.pvc-volume.oso.json", "",
     "/spec/template/spec/volumes/1/persistentVolumeClaim",
     R"({"claimName":"testclass","readOnly":false})"},
    // "rbd": null is no source.
    {"pod.deployer.restclient.json", "/spec/volumes/0", "/rbd", nullptr},
    // The claim reference and bound volume survive a plain round trip.
    {"persistentvolume.full.v1.14.0.json", "", "/spec/claimRef/name", R"("123")"},
    {"persistentvolumeclaim.bound.oso.json", "", "/spec/volumeName", R"("pv-aws-ow5vl")"},
    {"persistentvolumeclaim.bound.oso.json", "",
     "/metadata/annotations/pv.kubernetes.io~1bind-completed", R"("yes")"},
    // Modes are sent only when positive.
    {"pod.full.v1.14.0.json", "/spec/volumes/0", "/secret/defaultMode", nullptr},
    {"pod.full.v1.14.0.json", "/spec/volumes/0", "/secret/items/0", R"({"key":"34","path":"35"})"},
    // The misspelt not-ready list of this document is not the API's member.
    {"endpoints.router.restclient.json", "", "/subsets/0/notReadyAddresses", nullptr},
    // List metadata of a storage class: the name and nothing of its parameters.
    {"storageclass.glusterfs.full-parameters.json", "", "/metadata/name", R"("slow")"},
    {"storageclass.glusterfs.full-parameters.json", "", "/parameters", nullptr},
    // Project and namespace items carry no kind once read.
    {"project.oso.json", "", "/kind", nullptr},
    {"project.oso.json", "", "/status/phase", R"("Active")"},
    // Deployment config status numbers are read as 32 bits.
    {"deploymentconfig.restclient.json", "", "/status/latestVersion", "1"},
    {"deploymentconfig.oso.json", "", "/spec/strategy/recreateParams", R"({"timeoutSeconds":0})"},
};

// Pieces whose second write differs from the first by a rule: a probe's negative
// "initialDelaySeconds" is not written, reads back as 0 and is then written.
bool SecondWriteMayDiffer(const std::string& file, const std::string& piece) {
  return file == "pod.full.v1.14.0.json" && piece == "/spec";
}

const mValue* AtPointer(const mValue& root, const std::string& pointer) {
  const mValue* value = &root;
  size_t start = 1;
  while (start <= pointer.size() && !pointer.empty()) {
    const size_t end = std::min(pointer.find('/', start), pointer.size());
    std::string step = pointer.substr(start, end - start);
    for (size_t at; (at = step.find("~1")) != std::string::npos;) step.replace(at, 2, "/");
    if (value->type() == json_spirit::obj_type) {
      const auto found = value->get_obj().find(step);
      if (found == value->get_obj().end()) return nullptr;
      value = &found->second;
    } else if (value->type() == json_spirit::array_type) {
      const size_t index = std::stoul(step);
      if (index >= value->get_array().size()) return nullptr;
      value = &value->get_array()[index];
    } else {
      return nullptr;
    }
    start = end + 1;
  }
  return value;
}

std::vector<Piece> PiecesOf(const std::string& file) {
  std::vector<Piece> pieces;
  const std::string text = ReadFile(kFixtures / file);
  for (const GoldenKind& kind : kGoldenKinds) {
    if (!std::regex_match(file, std::regex(kind.files))) continue;
    Outcome outcome = kind.roundTrip(text, kind.path);
    EXPECT_TRUE(outcome.parsed) << file << " as " << kind.files << " " << kind.path;
    for (Piece& piece : outcome.pieces) pieces.push_back(std::move(piece));
  }
  return pieces;
}

// ---- Tests ---------------------------------------------------------------------------------

TEST(GoldenRoundTrip, EveryPieceOfEveryDocument) {
  ASSERT_TRUE(fs::is_directory(kFixtures)) << kFixtures;
  size_t pieces = 0;
  for (const std::string& file : FixtureNames()) {
    for (const Piece& piece : PiecesOf(file)) {
      ++pieces;
      SCOPED_TRACE(file + " " + piece.where);
      EXPECT_TRUE(piece.first == piece.second || SecondWriteMayDiffer(file, piece.where))
          << "second write differs:\n"
          << json_spirit::write_string(piece.first) << "\n"
          << json_spirit::write_string(piece.second);
      std::vector<std::string> invented;
      Invented(piece.first, piece.document, "", invented);
      for (const std::string& problem : invented) ADD_FAILURE() << problem;
      for (const std::string& problem : piece.lost) ADD_FAILURE() << "lost: " << problem;
    }
  }
  EXPECT_GT(pieces, 60u);
}

TEST(GoldenRoundTrip, NamedMembersSurviveChangeOrVanish) {
  ASSERT_TRUE(fs::is_directory(kFixtures)) << kFixtures;
  for (const GoldenExpectation& expectation : kGoldenExpectations) {
    SCOPED_TRACE(std::string(expectation.file) + " " + expectation.piece + expectation.pointer);
    bool seen = false;
    for (const Piece& piece : PiecesOf(expectation.file)) {
      if (piece.where != expectation.piece) continue;
      seen = true;
      const mValue* value = AtPointer(piece.first, expectation.pointer);
      if (expectation.written == nullptr) {
        EXPECT_EQ(nullptr, value) << json_spirit::write_string(*value);
      } else {
        ASSERT_NE(nullptr, value) << json_spirit::write_string(piece.first);
        EXPECT_EQ(ParseValue(expectation.written), *value);
      }
    }
    EXPECT_TRUE(seen) << "no such piece";
  }
}

// ---- Name coverage ----------------------------------------------------------------------

template <class... Rs>
struct TypeList {};

#define WQ_RECORD(R, Direction) , R
using AllRecords = TypeList<void
#include "parser/recordsCore.def"
#include "parser/recordsWorkload.def"
                            >;
#undef WQ_RECORD

template <class... Rs>
std::set<std::string> TableNames(TypeList<void, Rs...>) {
  std::set<std::string> names;
  (ForEachRow<Rs>([&](const auto& row) { names.insert(row.key); }), ...);
  return names;
}

void DocumentNames(const mValue& value, std::set<std::string>& names) {
  if (value.type() == json_spirit::obj_type) {
    for (const auto& member : value.get_obj()) {
      names.insert(member.first);
      DocumentNames(member.second, names);
    }
  } else if (value.type() == json_spirit::array_type) {
    for (const mValue& element : value.get_array()) DocumentNames(element, names);
  }
}

// Members no fixture holds, checked by hand against the API's names: the
// deployment config fixtures are templates and early samples without most of
// the status and strategy members, and no fixture is a scale or delete body.
const std::set<std::string> kNamesNotInFixtures = {
    // deployment config spec, strategy and hooks
    "customParams",
    "environment",
    "mid",
    "minReadySeconds",
    "paused",
    "revisionHistoryLimit",
    "tagImages",
    "to",
    // deployment config status
    "availableReplicas",
    "imageTrigger",
    "lastUpdateTime",
    "readyReplicas",
    "unavailableReplicas",
    "updatedReplicas",
    // scale and delete options bodies
    "targetSelector",
    "gracePeriodSeconds",
    "propagationPolicy",
};

TEST(GoldenNameCoverage, EveryTableMemberOccursInSomeDocument) {
  ASSERT_TRUE(fs::is_directory(kFixtures)) << kFixtures;
  std::set<std::string> documentNames;
  for (const std::string& file : FixtureNames())
    DocumentNames(ParseValue(ReadFile(kFixtures / file)), documentNames);
  for (const std::string& name : TableNames(AllRecords{})) {
    EXPECT_TRUE(documentNames.count(name) != 0 || kNamesNotInFixtures.count(name) != 0)
        << "\"" << name << "\" is in no fixture: misspelt, or add it to kNamesNotInFixtures";
  }
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
