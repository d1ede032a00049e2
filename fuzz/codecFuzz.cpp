// The codec's text operations over arbitrary documents. The first byte picks the operation
// (tags below). Besides not crashing, every operation must:
// - accept exactly the texts that are JSON objects (a list without "items" included);
// - give records whose written form survives reading back (CheckStable), before and after
//   the record is prepared for sending;
// - for secrets and config maps, keep every member but "metadata", which becomes the old
//   name and the target namespace, and give a text that prepares to itself.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzzTarget.h"
#include "json/json_spirit.h"
#include "parser/openshiftParser.h"

namespace {

using namespace OpenShiftSDKWrapper;

const WQOpenShiftParser codec;

bool IsObjectText(const std::string& text) {
  json_spirit::mValue value;
  return json_spirit::read_string(text, value) && value.type() == json_spirit::obj_type;
}

// True when every member of `part` is in `whole` with a value that contains it in turn;
// arrays must match element by element.
bool Contains(const json_spirit::mValue& whole, const json_spirit::mValue& part) {
  if (whole.type() != part.type()) return false;
  if (part.type() == json_spirit::obj_type) {
    const json_spirit::mObject& members = whole.get_obj();
    for (const auto& member : part.get_obj()) {
      const auto found = members.find(member.first);
      if (found == members.end() || !Contains(found->second, member.second)) return false;
    }
    return true;
  }
  if (part.type() == json_spirit::array_type) {
    const json_spirit::mArray& elements = whole.get_array();
    const json_spirit::mArray& wanted = part.get_array();
    if (elements.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      if (!Contains(elements[i], wanted[i])) return false;
    }
    return true;
  }
  return whole == part;
}

void Report(const char* broken, const std::string& first, const std::string& second) {
  std::fprintf(stderr, "%s\nfirst:  %s\nsecond: %s\n", broken, first.c_str(), second.c_str());
  std::abort();
}

// A record written, read back into a fresh record and written again loses nothing of its
// first form. The second form may add members: a value that a guard kept out (a negative
// delay) reads back as absent, and the default may pass the guard. From then on the form
// is fixed. `write` gives a record's JSON text and `read` a fresh record from one.
template <class R, class Write, class Read>
void CheckStable(const R& record, Write write, Read read) {
  const std::string first = write(record);
  const std::string second = write(read(first));
  const std::string third = write(read(second));
  json_spirit::mValue firstValue;
  json_spirit::mValue secondValue;
  WQ_FUZZ_CHECK(json_spirit::read_string(first, firstValue));
  WQ_FUZZ_CHECK(json_spirit::read_string(second, secondValue));
  if (!Contains(secondValue, firstValue))
    Report("a member was lost on reading back", first, second);
  if (third != second) Report("the written form keeps changing", second, third);
}

// Through the codec's record conversion. Only for records inside an object: a whole
// object's kind and version are read by the text operations alone.
template <class R>
void CheckRecordStable(const R& record) {
  const auto write = [](const R& in) {
    json_spirit::mObject object;
    codec.Convert(in, object);
    return json_spirit::write_string(json_spirit::mValue(std::move(object)));
  };
  const auto read = [](const std::string& text) {
    json_spirit::mValue value;
    WQ_FUZZ_CHECK(json_spirit::read_string(text, value));
    R out;
    WQ_FUZZ_CHECK(codec.Convert(value.get_obj(), out));
    return out;
  };
  CheckStable(record, write, read);
}

// Through a pair of text operations.
template <class R, class Parse, class Serialize>
void CheckTextStable(const R& record, Parse parse, Serialize serialize) {
  const auto write = [serialize](R in) {
    std::string text;
    WQ_FUZZ_CHECK((codec.*serialize)(in, text));
    return text;
  };
  const auto read = [parse](const std::string& text) {
    R out;
    WQ_FUZZ_CHECK((codec.*parse)(text, out));
    return out;
  };
  CheckStable(record, write, read);
}

// Reads `text` with `parse` and checks the result against what the text is.
template <class R, class Parse>
bool ParseChecked(const std::string& text, Parse parse, R& out) {
  const bool parsed = (codec.*parse)(text, out);
  WQ_FUZZ_CHECK(parsed == IsObjectText(text));
  return parsed;
}

// An operation that reads one record, or a list of them, and checks each record read.
template <class R, auto Parse, void (*Check)(const R&)>
void ReadOne(const std::string& text) {
  R record;
  if (ParseChecked(text, Parse, record)) Check(record);
}

template <class R, auto Parse, void (*Check)(const R&)>
void ReadList(const std::string& text) {
  std::vector<R> records;
  if (!ParseChecked(text, Parse, records)) return;
  for (const R& record : records) Check(record);
}

template <class R>
void NothingMore(const R&) {}

template <class R, auto Parse, auto Serialize>
void CheckText(const R& record) {
  CheckTextStable(record, Parse, Serialize);
}

// Stable as read, and again once prepared for sending.
template <class R, auto Parse, auto Serialize, auto Prepare>
void CheckPrepared(const R& record) {
  CheckTextStable(record, Parse, Serialize);
  R prepared = record;
  WQ_FUZZ_CHECK((codec.*Prepare)(prepared));
  CheckTextStable(prepared, Parse, Serialize);
}

void CheckPod(const SPodInfoLib& pod) { CheckRecordStable(pod.spec); }

void CheckDeploymentConfig(const SDeploymentConfigInfoLib& dc) {
  const auto parse = &WQOpenShiftParser::ParseDeploymentConfig;
  const auto serialize = &WQOpenShiftParser::SerializeDeploymentConfig;
  CheckTextStable(dc, parse, serialize);
  SDeploymentConfigInfoLib created = dc;
  WQ_FUZZ_CHECK(codec.PrepareDeploymentConfig(created));
  CheckTextStable(created, parse, serialize);
  SDeploymentConfigInfoLib updated = dc;
  WQ_FUZZ_CHECK(codec.PrepareDeploymentConfig(updated, dc));
  WQ_FUZZ_CHECK(updated.metadata.resourceVersion == dc.metadata.resourceVersion);
  CheckTextStable(updated, parse, serialize);
}

using P = WQOpenShiftParser;
using SPv = SPersistentVolumeInfoLib;
using SPvc = SPersistentVolumeClaimInfoLib;
constexpr auto CheckObjectInfo =
    CheckText<SObjectInfoLib, &P::ParseObjectInfo, &P::SerializeObjectInfo>;
constexpr auto CheckVolume =
    CheckPrepared<SPv, &P::ParsePersistentVolume, &P::SerializePersistentVolume,
                  &P::PreparePersistentVolume>;
constexpr auto CheckClaim =
    CheckPrepared<SPvc, &P::ParsePersistentVolumeClaim, &P::SerializePersistentVolumeClaim,
                  &P::PreparePersistentVolumeClaim>;
constexpr auto CheckEndpoints = CheckPrepared<SEndpointsInfoLib, &P::ParseEndpoints,
                                              &P::SerializeEndpoints, &P::PrepareEndpoints>;

// Secrets and config maps are prepared from their saved text alone.
template <class Prepare>
void SavedText(const std::string& text, Prepare prepare) {
  const std::string nameSpace = "restored-ns";
  json_spirit::mValue before;
  const json_spirit::mObject* oldMetadata = nullptr;
  if (json_spirit::read_string(text, before) && before.type() == json_spirit::obj_type) {
    const auto found = before.get_obj().find("metadata");
    if (found != before.get_obj().end() && found->second.type() == json_spirit::obj_type)
      oldMetadata = &found->second.get_obj();
  }

  std::string prepared = text;
  WQ_FUZZ_CHECK((codec.*prepare)(nameSpace, prepared) == (oldMetadata != nullptr));
  if (oldMetadata == nullptr) {
    WQ_FUZZ_CHECK(prepared == text);
    return;
  }

  json_spirit::mValue after;
  WQ_FUZZ_CHECK(json_spirit::read_string(prepared, after));
  json_spirit::mObject expected = before.get_obj();
  json_spirit::mObject metadata;
  const auto name = oldMetadata->find("name");
  const bool hasName = name != oldMetadata->end() && name->second.type() == json_spirit::str_type;
  metadata["name"] = hasName ? name->second.get_str() : std::string();
  metadata["namespace"] = nameSpace;
  expected["metadata"] = metadata;
  WQ_FUZZ_CHECK(after.get_obj() == expected);

  std::string twice = prepared;
  WQ_FUZZ_CHECK((codec.*prepare)(nameSpace, twice));
  WQ_FUZZ_CHECK(twice == prepared);
}

void Secret(const std::string& text) { SavedText(text, &WQOpenShiftParser::PrepareSecret); }
void ConfigMap(const std::string& text) { SavedText(text, &WQOpenShiftParser::PrepareConfigMap); }

using wqfuzz::Operation;

// Tags in the order of the operations below; the seed corpus is written with them.
constexpr char kTags[] = "opPdDjcvqQesk";
constexpr Operation kOperations[] = {
    ReadOne<SObjectInfoLib, &P::ParseObjectInfo, CheckObjectInfo>,
    ReadOne<SPodInfoLib, &P::ParsePod, CheckPod>,
    ReadList<SPodInfoLib, &P::ParsePodList, CheckPod>,
    ReadOne<SDeploymentConfigInfoLib, &P::ParseDeploymentConfig, CheckDeploymentConfig>,
    ReadList<SDeploymentConfigInfoLib, &P::ParseDeploymentConfigList, CheckDeploymentConfig>,
    ReadList<SProjectInfoLib, &P::ParseProjectList, NothingMore>,
    ReadList<SStorageClassInfoLib, &P::ParseStorageClassList, NothingMore>,
    ReadOne<SPv, &P::ParsePersistentVolume, CheckVolume>,
    ReadOne<SPvc, &P::ParsePersistentVolumeClaim, CheckClaim>,
    ReadList<SPvc, &P::ParsePersistentVolumeClaimList, CheckClaim>,
    ReadOne<SEndpointsInfoLib, &P::ParseEndpoints, CheckEndpoints>,
    Secret,
    ConfigMap,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wqfuzz::RunTagged(data, size, kTags, kOperations);
  return 0;
}
