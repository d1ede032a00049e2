// Fault campaign over the facade's workflows inside sandbox/wq-sandbox. Each workflow runs
// once clean, which records its steps: every distinct REST request (method and path), every
// remote command (by the SSH log lines), every local mount and unmount (through a runner
// that records and passes on) and every export file it writes. Then every fault that fits a
// step is injected at that step, one case at a time, and the case is judged: the call ends
// without an exception, within the configured time-outs, either with false and an error
// line of the facade naming the step, or with exactly the clean run's result (a fault the
// workflow recovers from); and it leaves no snapshot, mount, descriptor or fault behind that
// the workflow undoes or does not document as kept. A workflow that repeats its steps for
// several objects of one kind (a deployment's claims) takes faults at the first object's
// steps only; the others are counted as folded. A table of the cases, with the time they
// took per workflow and per fault, is printed and written beside the test program.
// WQ_CAMPAIGN_ONLY (a regex of workflow names) runs only some workflows; WQ_CAMPAIGN_VERBOSE
// prints each case's time and the clean runs' log lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iomanip>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "connection/logContexts.h"
#include "tests/testing/sandbox.h"
#include "tests/workflows/workflowTestUtil.h"

namespace wftest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using OpenShiftSDKWrapper::ProcessRequest;
using OpenShiftSDKWrapper::WqProcess;
using wqtest::Env;
using wqtest::IsMountPoint;
using wqtest::MountPointsBelow;
using wqtest::Shell;

// Time-outs of the campaign: short, so that a time-out case costs half a second; the
// injected delay is just above the request time-out. Each request of a clean run takes
// milliseconds, so the time-out leaves room for a busy machine.
constexpr double kRequestTimeoutSeconds = 0.5;
constexpr long kSshTimeoutSeconds = 2;
constexpr std::chrono::milliseconds kInjectedDelay{700};
// A call that runs this long is taken as hung and ends the campaign.
constexpr std::chrono::seconds kHardLimit{90};

const char* const kFacadeContext = "bool OpenShiftSDKWrapper::WQOpenShiftSDKWrapper::";

enum class Fault {
  Status500, Status404, Status409, Timeout, Drop, Truncated, NonJson, Unauthorized,
  NodeDown, WrongPassword, GlusterError, MountFailure, UnmountBusy, DiskFull
};
const Fault kHttpFaults[] = {Fault::Status500, Fault::Status404, Fault::Status409,
                             Fault::Timeout,   Fault::Drop,      Fault::Truncated,
                             Fault::NonJson,   Fault::Unauthorized};

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::Status500: return "http 500";
    case Fault::Status404: return "http 404";
    case Fault::Status409: return "http 409";
    case Fault::Timeout: return "time-out";
    case Fault::Drop: return "dropped connection";
    case Fault::Truncated: return "truncated body";
    case Fault::NonJson: return "non-JSON body";
    case Fault::Unauthorized: return "Unauthorized body";
    case Fault::NodeDown: return "node down";
    case Fault::WrongPassword: return "wrong SSH password";
    case Fault::GlusterError: return "gluster error";
    case Fault::MountFailure: return "mount failure";
    case Fault::UnmountBusy: return "unmount busy";
    case Fault::DiskFull: return "disk full";
  }
  return "?";
}

enum class StepKind { Rest, Node, Mount, Unmount, Export };

struct Step {
  StepKind kind = StepKind::Rest;
  std::string method, path;    // Rest
  std::string command;         // Node: the command with created snapshot names generalised
  size_t session = 0;          // Node: the 1-based SSH session of its first run
  std::string glusterArgs;     // Node: regex of the gluster arguments; empty for other commands
  std::string source, dir;     // Mount: source and directory; Unmount: directory
  std::string file;            // Export: path of the file
  std::string triggerUrl;      // Export: the request whose answer the file holds,
  int triggerOccurrence = 0;   //   and which of its occurrences

  std::string Label() const {
    switch (kind) {
      case StepKind::Rest: return method + " " + path;
      case StepKind::Node: return "ssh" + command;
      case StepKind::Mount: return "mount " + source;
      case StepKind::Unmount: return "umount " + dir;
      case StepKind::Export: return "write " + fs::path(file).filename().string();
    }
    return "?";
  }
  // What the step does, without the object it does it to: a workflow that repeats the
  // same request, command, mount or export for another object of the same kind (the
  // second claim of a deployment) shows the same kind again.
  std::string Kind() const {
    switch (kind) {
      case StepKind::Rest: {
        // After /api/v1 kinds and names alternate: every name but the namespace's stands
        // for any (/api/v1/namespaces/demo/persistentvolumeclaims/*).
        std::vector<std::string> segments;
        std::istringstream in(path);
        for (std::string segment; std::getline(in, segment, '/');) segments.push_back(segment);
        std::string generalised;
        for (size_t i = 0; i < segments.size(); ++i) {
          const bool name = i >= 4 && i % 2 == 0 && segments[i - 1] != "namespaces";
          generalised += (i > 0 ? "/" : "") + (name ? std::string("*") : segments[i]);
        }
        return method + " " + generalised;
      }
      case StepKind::Node: return "ssh" + std::regex_replace(command, std::regex("vol_[0-9a-f]+"), "vol_*");
      case StepKind::Mount: return "mount " + std::regex_replace(source, std::regex("vol_[0-9a-f]+"), "vol_*");
      case StepKind::Unmount: return "umount " + fs::path(dir).parent_path().string();
      case StepKind::Export: {
        const std::string name = fs::path(file).filename().string();
        return "write " + name.substr(0, name.find('_'));
      }
    }
    return "?";
  }
  // Texts of which an error line naming this step holds one.
  std::vector<std::string> Subjects() const {
    switch (kind) {
      case StepKind::Rest: {
        // The object's name, or the kind of object the request reads or writes.
        std::vector<std::string> subjects{fs::path(path).filename().string()};
        for (const char* kind : {"persistentvolumeclaim", "persistentvolume", "endpoints", "pod",
                                 "deploymentconfig", "secret", "configmap"}) {
          if (path.find(std::string("/") + kind) != std::string::npos) {
            subjects.push_back(kind);
            break;
          }
        }
        return subjects;
      }
      case StepKind::Node: {
        std::vector<std::string> words;
        std::istringstream in(command);
        for (std::string word; in >> word;) {
          if (word.compare(0, 4, "vol_") == 0 || word.find("_GMT-") != std::string::npos) {
            words.push_back(word.substr(0, word.find("_GMT-")));
          }
        }
        words.push_back("ssh session for host");
        words.push_back(command);
        return words;
      }
      case StepKind::Mount: return {source.substr(source.rfind('/') + 1), dir};
      case StepKind::Unmount: return {dir};
      case StepKind::Export: return {file};
    }
    return {};
  }
};

// Created snapshot names carry the creation time; a step names them by their stem.
std::string Generalised(const std::string& command) {
  return std::regex_replace(command, std::regex("_GMT-[0-9.-]+"), "_GMT-*");
}

std::string RegexEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) out += '\\';
    out += c;
  }
  return out;
}

// A generalised text as a regex: a created snapshot name stands for any.
std::string PatternOf(const std::string& generalised) {
  std::string pattern = RegexEscaped(generalised);
  const std::string wildcard = RegexEscaped("_GMT-*");
  for (size_t pos; (pos = pattern.find(wildcard)) != std::string::npos;) {
    pattern.replace(pos, wildcard.size(), "_GMT-\\S+");
  }
  return pattern;
}

// The arguments given to gluster in a node command line, as a regex; empty when the line
// runs no gluster command.
std::string GlusterArgsPattern(const std::string& command) {
  const size_t at = command.find("gluster ");
  if (at == std::string::npos) return "";
  std::string args = command.substr(at + 8);
  for (const char* end : {" |", " <<<", "'"}) {
    const size_t cut = args.find(end);
    if (cut != std::string::npos) args = args.substr(0, cut);
  }
  return "^" + PatternOf(args) + "$";
}

// What one run of a workflow did.
struct Trace {
  bool result = false;
  bool threw = false;
  bool finished = true;
  double seconds = 0;
  std::string signature;                 // the workflow's visible result
  std::vector<std::string> requests;     // "METHOD path"
  std::vector<std::string> sessionCommands;  // per SSH session, the command ("" if none ran)
  std::vector<std::string> local;        // local command lines
  std::vector<LogLine> lines;
  std::map<std::string, std::pair<std::string, int>> exportTriggers;
};

struct Row {
  int injected = 0, handled = 0, recovered = 0, hung = 0, leaked = 0;
  double seconds = 0;  // the cases' calls, set-up and clean-up included
};

struct Workflow {
  Workflow(std::string name_, std::function<void()> before_, std::function<bool(std::string&)> call_,
           std::function<std::vector<std::string>(const Trace&)> leftovers_,
           std::string exportDir_ = "", std::function<bool(const Step&)> covers_ = nullptr)
      : name(std::move(name_)), before(std::move(before_)), call(std::move(call_)),
        leftovers(std::move(leftovers_)), exportDir(std::move(exportDir_)), covers(std::move(covers_)) {}
  std::string name;
  std::function<void()> before;                  // brings the clean state for a run
  std::function<bool(std::string&)> call;        // the workflow; sets the signature
  std::function<std::vector<std::string>(const Trace&)> leftovers;  // leaks; also cleans up
  std::string exportDir;                         // where export files go (none: empty)
  std::function<bool(const Step&)> covers;       // steps this workflow's cases take (all: null)
  // Faults go only to the first step of each kind: the workflow repeats its steps for
  // several objects of one kind (every claim of a deployment) through the same code.
  bool foldRepeats = false;
};

// Time and size of one workflow's campaign.
struct Summary {
  double clean = 0;      // the clean run
  size_t steps = 0;      // steps that got faults
  size_t folded = 0;     // steps of a kind seen before, and the cases they would have had
  size_t foldedCases = 0;
  int cases = 0;
  double seconds = 0;    // the cases, set-up and clean-up included
};

size_t OpenDescriptors() {
  size_t count = 0;
  std::error_code code;
  for (fs::directory_iterator it("/proc/self/fd", code), end; !code && it != end;
       it.increment(code)) {
    ++count;
  }
  return count;
}

// Every GlusterFS snapshot the sandbox holds: the records `gluster snapshot list` prints,
// read from the sandbox's file (it is replaced whole on each change). Running the command
// costs a tenth of a second, and a case looks several times.
std::set<std::string> SnapshotsOnNodes() {
  std::set<std::string> names;
  const std::string text = wqtest::ReadFile(Env("WQSANDBOX_DIR") + "/gluster/snapshots.json");
  if (text.empty()) return names;  // none made yet
  const boost::json::value records = At(Parsed(text), "snapshots");
  if (!records.is_array()) {
    ADD_FAILURE() << "the sandbox's snapshot records do not read: " << text;
    return names;
  }
  for (const boost::json::value& record : records.get_array()) {
    if (record.is_object()) names.insert(Text(At(record.get_object(), "name")));
  }
  return names;
}

class FaultCampaign : public WorkflowTest {
 protected:
  void SetUp() override {
    if (!wqtest::InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    WorkflowTest::SetUp();
    OpenShiftSDKWrapper::DebugLog::SetSink(wqtest::SweepSink([this](const LogLine& line) { OnLine(line); }));
    WqProcess::SetRunner(wqtest::SweepRunner([this](const ProcessRequest& request, std::string& out, std::string& err) {
      local_.push_back(request.command);
      return WqProcess::RunReal(request, out, err);
    }));
    // The agent's base directory with the command-line client, for commands in pods.
    base_ = scratch_.path() + "/base";
    fs::create_directories(base_);
    fs::copy_file(WQ_CLI_PROGRAM, base_ + "/wqOpenShiftCLI");
    baseEnv_.reset(new wqtest::ScopedEnv("dBASEHOME", base_.c_str()));
    // A small file system for the export files, which a case can fill.
    exportRoot_ = scratch_.path() + "/exports";
    fs::create_directories(exportRoot_);
    ASSERT_EQ(0, Shell("mount -t tmpfs -o size=1m wqcampaign \"" + exportRoot_ + "\""));
    StartCluster(wqtest::Nodes(), LiveVolumes(&fakeVolumes_),
                 wqtest::AllNodes(wqtest::PasswordLogin()));
    for (const char* claim : {"web-data", "web-logs"}) {
      std::string err;
      ASSERT_EQ(0, Shell(Env("WQSANDBOX_VOLUME") + " write " + GlusterVolumeOf(claim) +
                             " index.html 'hello from " + std::string(claim) + "'",
                         nullptr, &err))
          << err;
    }
    Forget();
  }

  void TearDown() override {
    if (wqtest::InSandbox()) Shell(Env("WQSANDBOX_FAULT") + " clear");
    // The export file system and every mount of the cases go before the scratch directory.
    wqtest::UnmountBelow(scratch_.path());
    baseEnv_.reset();
    WorkflowTest::TearDown();
  }

  // ---- Recording -------------------------------------------------------------------------

  void OnLine(const LogLine& line) {
    lines_.push_back(line);
    if (line.context == OpenShiftSDKWrapper::ConnectionContexts::kOpenSshSessionTrace &&
        line.message.compare(0, 9, "Hostname[") == 0) {
      sessionCommands_.push_back("");
      if (onSession_) onSession_(sessionCommands_.size());
    } else if (line.context ==
                   OpenShiftSDKWrapper::ConnectionContexts::kExecuteRemoteCommandTrace &&
               line.message.compare(0, 8, "Command[") == 0 && !sessionCommands_.empty()) {
      sessionCommands_.back() = Generalised(line.message.substr(8, line.message.size() - 9));
    } else if (line.context == OpenShiftSDKWrapper::ConnectionContexts::kSendReqTrace &&
               line.message.compare(0, 18, "Http request URL [") == 0) {
      // The file an export wrote after the previous answer is there now.
      NoteExports();
      const size_t open = line.message.find("] [", 17);
      const size_t close = line.message.find("], body", open);
      if (open != std::string::npos && close != std::string::npos) {
        lastUrl_ = line.message.substr(open + 3, close - open - 3);
        lastOccurrence_ = ++urlOccurrences_[lastUrl_];
        if (onAnswer_) onAnswer_(lastUrl_, lastOccurrence_);
      }
    }
    if (onLine_) onLine_(line);
  }

  void NoteExports() {
    if (exportDir_.empty()) return;
    std::error_code code;
    for (fs::directory_iterator it(exportDir_, code), end; !code && it != end; it.increment(code)) {
      const std::string path = it->path().string();
      if (it->is_regular_file() && !lastUrl_.empty() && exports_.count(path) == 0) {
        exports_[path] = {lastUrl_, lastOccurrence_};
      }
    }
  }

  Trace Execute(Workflow& workflow, const std::function<void()>& arm = nullptr) {
    workflow.before();
    Forget();
    triggered_ = false;
    if (arm) arm();
    local_.clear();
    sessionCommands_.clear();
    urlOccurrences_.clear();
    exports_.clear();
    lastUrl_.clear();
    lastOccurrence_ = 0;
    exportDir_ = workflow.exportDir;
    Trace run;
    const Clock::time_point start = Clock::now();
    auto done = std::async(std::launch::async, [&workflow, &run]() {
      try {
        run.result = workflow.call(run.signature);
      } catch (...) {
        run.threw = true;
      }
    });
    if (done.wait_for(kHardLimit) != std::future_status::ready) {
      run.finished = false;
      std::cout << "fault campaign: a call of " << workflow.name << " ran over "
                << kHardLimit.count() << " s; giving up" << std::endl;
      std::_Exit(1);
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (onLine_) onLine_(LogLine{"", "END", 0, "", ""});
    NoteExports();
    exportDir_.clear();
    for (const std::string& request : Sent()) run.requests.push_back(request);
    run.sessionCommands = sessionCommands_;
    run.local = local_;
    run.lines = lines_;
    run.exportTriggers = exports_;
    return run;
  }

  // ---- Steps -----------------------------------------------------------------------------

  static std::vector<Step> StepsOf(const Trace& clean, const std::string& baseUrl) {
    std::vector<Step> steps;
    std::set<std::string> seen;
    for (const std::string& request : clean.requests) {
      if (!seen.insert(request).second) continue;
      Step step;
      step.kind = StepKind::Rest;
      step.method = request.substr(0, request.find(' '));
      step.path = request.substr(request.find(' ') + 1);
      steps.push_back(step);
    }
    for (size_t i = 0; i < clean.sessionCommands.size(); ++i) {
      const std::string& command = clean.sessionCommands[i];
      if (command.empty() || !seen.insert("ssh" + command).second) continue;
      Step step;
      step.kind = StepKind::Node;
      step.command = command;
      step.session = i + 1;
      step.glusterArgs = GlusterArgsPattern(command);
      steps.push_back(step);
    }
    const std::regex mount("^mount -t glusterfs (?:-o \\S+ )?(\\S+) \"(.*)\"$");
    const std::regex umount("^umount \"(.*)\"$");
    for (const std::string& command : clean.local) {
      std::smatch match;
      Step step;
      if (std::regex_match(command, match, mount)) {
        step.kind = StepKind::Mount;
        // The node is drawn at random each run: a step is the source without it.
        const std::string source = match[1];
        step.source = Generalised(source.substr(source.find(':') + 1));
        step.dir = match[2];
      } else if (std::regex_match(command, match, umount)) {
        step.kind = StepKind::Unmount;
        step.dir = match[1];
      } else {
        continue;
      }
      if (seen.insert(command).second) steps.push_back(step);
    }
    for (const auto& entry : clean.exportTriggers) {
      Step step;
      step.kind = StepKind::Export;
      step.file = entry.first;
      step.triggerUrl = entry.second.first;
      step.triggerOccurrence = entry.second.second;
      steps.push_back(step);
    }
    (void)baseUrl;
    return steps;
  }

  static std::vector<Fault> FaultsFor(const Step& step, bool podExecStep) {
    switch (step.kind) {
      case StepKind::Rest: {
        std::vector<Fault> faults(std::begin(kHttpFaults), std::end(kHttpFaults));
        // The client in the pod has its own (minute-long) time-out: the library sets none there.
        if (podExecStep) faults.erase(std::find(faults.begin(), faults.end(), Fault::Timeout));
        return faults;
      }
      case StepKind::Node: {
        std::vector<Fault> faults{Fault::NodeDown, Fault::WrongPassword};
        if (!step.glusterArgs.empty()) faults.push_back(Fault::GlusterError);
        return faults;
      }
      case StepKind::Mount: return {Fault::MountFailure};
      case StepKind::Unmount: return {Fault::UnmountBusy};
      case StepKind::Export: return {Fault::DiskFull};
    }
    return {};
  }

  // ---- Injection -------------------------------------------------------------------------

  void SetNodes(const char* flag, bool on) {
    const std::string ctl = Env("WQSANDBOX_CTL");
    for (const std::string& node : wqtest::Nodes()) {
      const std::string path = ctl + "/node/" + node + "/" + flag;
      if (on) {
        std::ofstream(path).flush();
      } else {
        ::unlink(path.c_str());
      }
    }
    const std::string want = !on ? "up" : std::string(flag) == "down" ? "down" : "up refuse-password";
    const Clock::time_point until = Clock::now() + std::chrono::seconds(15);
    for (const std::string& node : wqtest::Nodes()) {
      while (Clock::now() < until) {
        std::string status = wqtest::ReadFile(ctl + "/node/" + node + "/status");
        while (!status.empty() && std::isspace(static_cast<unsigned char>(status.back()))) status.pop_back();
        if (status == want) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  }

  void WriteRule(const std::string& kind, const std::vector<std::string>& lines) {
    const std::string path = Env("WQSANDBOX_CTL") + "/" + kind + "/campaign";
    {
      std::ofstream out(path + ".tmp");
      for (const std::string& line : lines) out << line << "\n";
    }
    fs::rename(path + ".tmp", path);
  }

  void FillDisk() {
    const int fd = ::open((exportRoot_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::string chunk(65536, 'x');
    for (size_t size = chunk.size(); size > 0 && fd >= 0; size /= 2) {
      while (::write(fd, chunk.data(), size) == static_cast<ssize_t>(size)) {
      }
    }
    if (fd >= 0) ::close(fd);
  }

  // Arms the fault at the step; the hooks act during the run. Undone by Disarm.
  void Arm(const Step& step, Fault fault) {
    outage_ = nullptr;
    switch (fault) {
      case Fault::Status500: simulator_->InjectStatus(step.method, step.path, 500, -1); break;
      case Fault::Status404: simulator_->InjectStatus(step.method, step.path, 404, -1); break;
      case Fault::Status409: simulator_->InjectStatus(step.method, step.path, 409, -1); break;
      case Fault::Timeout: simulator_->InjectDelay(step.method, step.path, kInjectedDelay, 1); break;
      case Fault::Drop: simulator_->InjectDrop(step.method, step.path, -1); break;
      case Fault::Truncated: simulator_->InjectTruncatedBody(step.method, step.path, 1); break;
      case Fault::NonJson: simulator_->InjectNonJsonBody(step.method, step.path, -1); break;
      case Fault::Unauthorized: simulator_->InjectUnauthorizedBody(step.method, step.path, -1); break;
      case Fault::NodeDown:
      case Fault::WrongPassword: {
        // Every node is out from the step's first session on, until the workflow starts to
        // undo what it did (so that it can) or returns.
        outage_ = fault == Fault::NodeDown ? "down" : "refuse-password";
        const size_t session = step.session;
        onSession_ = [this, session](size_t count) {
          if (count == session && !outageOn_) {
            SetNodes(outage_, true);
            outageOn_ = true;
          }
        };
        onLine_ = [this](const LogLine& line) {
          const bool undo = line.message.find("will deelte snapshot") != std::string::npos ||
                            line.message.find("will deactivate and delete") != std::string::npos ||
                            line.level == "END";
          if (undo && outageOn_) {
            SetNodes(outage_, false);
            outageOn_ = false;
          }
        };
        break;
      }
      case Fault::GlusterError:
        WriteRule("gluster", {"match=" + step.glusterArgs, "rc=1",
                              "stderr=Another transaction is in progress. Please try again after some time."});
        break;
      case Fault::MountFailure:
        WriteRule("mount", {"match=^\\S+:" + PatternOf(step.source) + " ", "rc=1",
                            "stderr=Mounting glusterfs on " + step.dir + " failed."});
        break;
      case Fault::UnmountBusy: {
        // A reader inside the mount keeps it busy for the call.
        busyFd_ = ::open(step.dir.c_str(), O_RDONLY | O_DIRECTORY);
        break;
      }
      case Fault::DiskFull: {
        const Step target = step;
        onAnswer_ = [this, target](const std::string& answered, int occurrence) {
          if (answered == target.triggerUrl && occurrence == target.triggerOccurrence) {
            FillDisk();
            triggered_ = true;
          }
        };
        break;
      }
    }
  }

  void Disarm() {
    if (outageOn_) SetNodes(outage_, false);
    outageOn_ = false;
    onSession_ = nullptr;
    onLine_ = nullptr;
    onAnswer_ = nullptr;
    simulator_->Server().ClearScripts();
    const std::string ctl = Env("WQSANDBOX_CTL");
    ::unlink((ctl + "/gluster/campaign").c_str());
    ::unlink((ctl + "/mount/campaign").c_str());
    if (busyFd_ >= 0) ::close(busyFd_);
    busyFd_ = -1;
    ::unlink((exportRoot_ + "/filler").c_str());
  }

  // True when the faulty run reached the step.
  static bool Reached(const Step& step, const Trace& run, bool triggered) {
    switch (step.kind) {
      case StepKind::Rest:
        return std::find(run.requests.begin(), run.requests.end(), step.method + " " + step.path) !=
               run.requests.end();
      case StepKind::Node: return run.sessionCommands.size() >= step.session;
      case StepKind::Mount:
      case StepKind::Unmount:
        return std::any_of(run.local.begin(), run.local.end(), [&](const std::string& command) {
          return step.kind == StepKind::Mount ? Generalised(command).find(step.source) != std::string::npos
                                              : command.find(step.dir) != std::string::npos;
        });
      case StepKind::Export: return triggered;
    }
    return false;
  }

  // ---- The campaign ----------------------------------------------------------------------

  void Campaign(Workflow& workflow, const std::function<bool(const Step&)>& isPodExec = nullptr) {
    // A developer's shortcut: WQ_CAMPAIGN_ONLY, a regex, picks the workflows to run.
    const char* only = std::getenv("WQ_CAMPAIGN_ONLY");
    if (only != nullptr && !std::regex_search(workflow.name, std::regex(only))) return;
    const bool verbose = std::getenv("WQ_CAMPAIGN_VERBOSE") != nullptr;
    const Trace clean = Execute(workflow);
    std::vector<std::string> cleanLeft = workflow.leftovers(clean);
    ASSERT_TRUE(clean.result && !clean.threw) << workflow.name << ": the clean run failed\n" << Dump(clean);
    ASSERT_TRUE(cleanLeft.empty()) << workflow.name << ": " << cleanLeft.front();
    const size_t descriptors = OpenDescriptors();
    Summary& summary = summaries_[workflow.name];
    summary.clean = clean.seconds;
    std::vector<Step> steps;
    std::set<std::string> kinds;
    std::ostringstream folded;
    for (const Step& step : StepsOf(clean, simulator_->BaseUrl())) {
      if (workflow.covers && !workflow.covers(step)) continue;
      if (workflow.foldRepeats && !kinds.insert(step.Kind()).second) {
        ++summary.folded;
        summary.foldedCases += FaultsFor(step, isPodExec && isPodExec(step)).size();
        folded << "\n  folded: " << step.Label();
        continue;
      }
      steps.push_back(step);
    }
    summary.steps = steps.size();
    const Clock::time_point started = Clock::now();
    std::cout << "[" << workflow.name << "] clean run " << std::fixed << std::setprecision(2)
              << clean.seconds << " s, " << steps.size() << " steps";
    if (summary.folded > 0) {
      std::cout << "; " << summary.folded << " more steps (" << summary.foldedCases
                << " cases) repeat an earlier step's kind for another object and take no faults"
                << folded.str();
    }
    std::cout << std::endl;
    if (verbose) std::cout << Dump(clean);
    for (const Step& step : steps) {
      const bool podExec = isPodExec && isPodExec(step);
      const Clock::time_point stepStarted = Clock::now();
      for (Fault fault : FaultsFor(step, podExec)) {
        const Clock::time_point caseStarted = Clock::now();
        const Trace run = Execute(workflow, [&] { Arm(step, fault); });
        const bool triggered = triggered_;
        Disarm();
        std::vector<std::string> problems;
        std::vector<std::string> leaks = workflow.leftovers(run);
        if (OpenDescriptors() > descriptors + 2) {
          leaks.push_back("descriptors: " + std::to_string(descriptors) + " before, " +
                          std::to_string(OpenDescriptors()) + " after");
        }
        if (!Reached(step, run, triggered)) problems.push_back("the step was not reached");
        if (run.threw) problems.push_back("an exception left the call");
        if (run.result) {
          if (run.signature != clean.signature) {
            problems.push_back("true with a result unlike the clean run's: [" + run.signature +
                               "] instead of [" + clean.signature + "]");
          }
        } else {
          problems.push_back(Judge(step, run));
          if (problems.back().empty()) problems.pop_back();
        }
        // Each request may take the request time-out, each SSH session the connection
        // time-out twice (connection, then handshake and login); the rest as clean, doubled.
        const double bound = 2 * clean.seconds + 3 + kRequestTimeoutSeconds * run.requests.size() +
                             2.0 * kSshTimeoutSeconds * run.sessionCommands.size();
        const bool hung = run.seconds > bound;
        Row& row = rows_[workflow.name + " | " + FaultName(fault)];
        ++row.injected;
        row.handled += problems.empty();
        row.recovered += problems.empty() && run.result;
        row.hung += hung;
        row.leaked += !leaks.empty();
        const double caseSeconds = std::chrono::duration<double>(Clock::now() - caseStarted).count();
        row.seconds += caseSeconds;
        ++summary.cases;
        if (verbose) {
          std::cout << "  " << step.Label() << " / " << FaultName(fault) << ": call " << run.seconds
                    << " s, case " << caseSeconds << " s" << (run.result ? " (true)" : "") << std::endl;
        }
        if (!problems.empty() || hung || !leaks.empty()) {
          std::ostringstream note;
          note << workflow.name << " / " << step.Label() << " / " << FaultName(fault) << ": "
               << (run.result ? "true" : "false") << " in " << std::setprecision(2) << run.seconds
               << " s (bound " << bound << " s)";
          for (const std::string& problem : problems) note << "\n    not handled: " << problem;
          if (hung) note << "\n    hung";
          for (const std::string& leak : leaks) note << "\n    leaked: " << leak;
          failures_.push_back(note.str());
        }
      }
      if (verbose) {
        std::cout << "  step " << step.Label() << ": "
                  << std::chrono::duration<double>(Clock::now() - stepStarted).count() << " s" << std::endl;
      }
    }
    summary.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::cout << "[" << workflow.name << "] " << summary.cases << " cases took " << summary.seconds
              << " s" << std::endl;
  }

  // Empty when a failed run logged what it should: an error line of the facade, and an
  // error line naming the step.
  static std::string Judge(const Step& step, const Trace& run) {
    bool facade = false;
    bool named = false;
    const std::vector<std::string> subjects = step.Subjects();
    for (const LogLine& line : run.lines) {
      if (line.level != "ERROR") continue;
      facade |= line.context.compare(0, std::strlen(kFacadeContext), kFacadeContext) == 0;
      // Kinds are named in any case and spacing ("Persistent Volume", "PersistentVolume").
      std::string folded;
      for (char c : line.context.substr(line.context.find("::", line.context.find(' ')) + 2) + " " + line.message) {
        if (c != ' ') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      for (const std::string& subject : subjects) {
        named |= !subject.empty() && (line.message.find(subject) != std::string::npos ||
                                      folded.find(subject) != std::string::npos);
      }
    }
    if (!facade) return "false without an error line of the facade";
    if (!named) return "false without an error line naming the step";
    return "";
  }

  static std::string Dump(const Trace& run) {
    std::ostringstream out;
    for (const LogLine& line : run.lines) out << FormatLogLine(line) << "\n";
    return out.str();
  }

  // ---- Clean-up helpers ------------------------------------------------------------------

  // Unmounts and deletes what a backup recorded; leftovers beyond that are leaks.
  std::vector<std::string> ReleaseBackup(std::vector<SVolumeInfoLib>& records,
                                         const std::string& dir) {
    std::vector<std::string> leaks;
    std::set<std::string> recorded;
    const std::set<std::string> present = SnapshotsOnNodes();
    // Releasing through the facade is the release workflows' part; here it is undone directly.
    std::string unmount;
    for (SVolumeInfoLib& record : records) {
      recorded.insert(record.glusterfs.snapshotName);
      if (!IsMountPoint(record.glusterfs.path)) {
        leaks.push_back("record of [" + record.name + "] without its mount");
      }
      if (present.count(record.glusterfs.snapshotName) == 0) {
        leaks.push_back("record of [" + record.name + "] without its snapshot");
      }
      unmount += "umount \"" + record.glusterfs.path + "\"; ";
    }
    if (!unmount.empty()) Shell(unmount);
    for (const std::string& point : MountPointsBelow(dir)) {
      leaks.push_back("mount " + point + " without a record");
      Shell("umount -l \"" + point + "\"");
    }
    // Every snapshot goes, the deletions side by side: each is a run of the gluster tool.
    std::string deletions;
    for (const std::string& snapshot : present) {
      if (recorded.count(snapshot) == 0) leaks.push_back("snapshot " + snapshot + " without a record");
      deletions += "(echo y | " + std::string(WQ_SANDBOX_GLUSTER) + " snapshot delete " + snapshot + ") & ";
    }
    if (!deletions.empty()) Shell(deletions + "wait");
    records.clear();
    return leaks;
  }

  std::string base_;
  std::string exportRoot_;
  std::unique_ptr<wqtest::ScopedEnv> baseEnv_;
  wqtest::ScopedEnv requestTimeout_{"WQOSDK_REQUEST_TIMEOUT", std::to_string(kRequestTimeoutSeconds).c_str()};
  wqtest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT", std::to_string(kRequestTimeoutSeconds).c_str()};
  wqtest::ScopedEnv sshConnectTimeout_{"WQOSDK_SSH_CONNECT_TIMEOUT", std::to_string(kSshTimeoutSeconds).c_str()};
  wqtest::ScopedEnv sshCommandTimeout_{"WQOSDK_SSH_COMMAND_TIMEOUT", "20"};
  bool fakeVolumes_ = false;

  std::vector<std::string> local_;
  std::vector<std::string> sessionCommands_;
  std::map<std::string, int> urlOccurrences_;
  std::map<std::string, std::pair<std::string, int>> exports_;
  std::string exportDir_;
  std::string lastUrl_;
  int lastOccurrence_ = 0;
  std::function<void(size_t)> onSession_;
  std::function<void(const LogLine&)> onLine_;
  std::function<void(const std::string&, int)> onAnswer_;
  const char* outage_ = nullptr;
  bool outageOn_ = false;
  bool triggered_ = false;
  int busyFd_ = -1;

  std::map<std::string, Row> rows_;
  std::map<std::string, Summary> summaries_;
  std::vector<std::string> failures_;
};

std::string RecordsSignature(const std::vector<SVolumeInfoLib>& records, const std::string& dir) {
  std::ostringstream out;
  for (const SVolumeInfoLib& record : records) out << record.name << "@" << record.glusterfs.path << " ";
  std::set<std::string> files;
  std::error_code code;
  for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
    if (it->is_regular_file()) files.insert(it->path().filename().string());
  }
  for (const std::string& file : files) out << file << " ";
  return out.str();
}

TEST_F(FaultCampaign, EveryFaultAtEveryStepIsHandled) {
  // ---- Backup --------------------------------------------------------------------------
  std::vector<SVolumeInfoLib> records;
  const std::string backup = exportRoot_ + "/backup";
  Workflow deployment{"backup CreateDeploymentSnapshot",
      [&] {
        fs::remove_all(backup);
        fs::create_directories(backup);
      },
      [&](std::string& signature) {
        const bool ok = facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backup, records);
        signature = RecordsSignature(records, backup);
        return ok;
      },
      [&](const Trace&) { return ReleaseBackup(records, backup); },
      backup};
  // The second claim takes the first one's requests, commands, mount and export file.
  deployment.foldRepeats = true;
  Campaign(deployment);
  if (HasFatalFailure()) return;

  SVolumeInfoLib single;
  Workflow pvc{"backup CreatePVCSnapshot",
      [&] {
        fs::remove_all(backup);
        fs::create_directories(backup);
        single = SVolumeInfoLib();
        single.name = "web-logs";
      },
      [&](std::string& signature) {
        const bool ok = facade_.CreatePVCSnapshot(kNs, "web-logs", "bk", backup, single);
        signature = single.glusterfs.path + " " + RecordsSignature({}, backup);
        return ok;
      },
      [&](const Trace&) {
        // A filled record (snapshotState 1) is what the caller releases.
        std::vector<SVolumeInfoLib> left;
        if (single.snapshotState == 1) left.push_back(single);
        return ReleaseBackup(left, backup);
      },
      backup};
  Campaign(pvc);
  if (HasFatalFailure()) return;

  // ---- Release -------------------------------------------------------------------------
  // One snapshot, mounted, that each case releases; made again once a case has released it.
  // The facade makes it once (six SSH sessions); later it is made again directly and the
  // first record takes the new snapshot's name.
  SVolumeInfoLib held;
  SVolumeInfoLib made;
  const std::string releaseDir = scratch_.path() + "/release";
  auto hold = [&] {
    if (held.snapshotState == 1 && SnapshotsOnNodes().count(held.glusterfs.snapshotName) == 1) return;
    if (made.snapshotState != 1) {
      held = SVolumeInfoLib();
      held.name = "web-data";
      ASSERT_TRUE(facade_.CreatePVCSnapshot(kNs, "web-data", "rel", releaseDir, held));
      made = held;
      return;
    }
    const std::string gluster = WQ_SANDBOX_GLUSTER;
    std::string out, err;
    ASSERT_EQ(0, Shell(gluster + " snapshot create rel " + GlusterVolumeOf("web-data"), &out, &err)) << err;
    std::smatch name;
    ASSERT_TRUE(std::regex_search(out, name, std::regex("Snap (rel_GMT-\\S+) created"))) << out;
    ASSERT_EQ(0, Shell(gluster + " snapshot activate " + name[1].str(), nullptr, &err)) << err;
    held = made;
    held.glusterfs.snapshotName = name[1];
  };
  Workflow unmount{"release UnmountVolume",
      [&] {
        hold();
        if (!IsMountPoint(held.glusterfs.path)) {
          Shell("mount -t glusterfs " + wqtest::Nodes()[0] + ":/snaps/" +
                held.glusterfs.snapshotName + "/" + GlusterVolumeOf("web-data") + " \"" +
                held.glusterfs.path + "\"");
        }
      },
      [&](std::string& signature) {
        const bool ok = facade_.UnmountVolume(kNs, held);
        signature = IsMountPoint(held.glusterfs.path) ? "mounted" : "unmounted";
        return ok;
      },
      [&](const Trace& run) {
        std::vector<std::string> leaks;
        // A failed unmount leaves the mount for another try, which then succeeds.
        if (!run.result && (!IsMountPoint(held.glusterfs.path) || !facade_.UnmountVolume(kNs, held))) {
          leaks.push_back("the mount could not be released after the failure");
        }
        if (IsMountPoint(held.glusterfs.path)) leaks.push_back("still mounted");
        return leaks;
      }};
  Campaign(unmount);
  if (HasFatalFailure()) return;

  Workflow remove{"release DeleteVolumeSnapshot",
      [&] {
        hold();
        if (IsMountPoint(held.glusterfs.path)) Shell("umount \"" + held.glusterfs.path + "\"");
      },
      [&](std::string& signature) {
        const bool ok = facade_.DeleteVolumeSnapshot(kNs, held);
        signature = std::to_string(SnapshotsOnNodes().count(held.glusterfs.snapshotName));
        return ok;
      },
      [&](const Trace& run) {
        std::vector<std::string> leaks;
        const bool present = SnapshotsOnNodes().count(held.glusterfs.snapshotName) == 1;
        // Kept on failure for another try (the next case), gone on success.
        if (!run.result && !present) leaks.push_back("the snapshot went although the call failed");
        if (run.result && present) leaks.push_back("the snapshot stayed although the call succeeded");
        for (const std::string& snapshot : SnapshotsOnNodes()) {
          if (snapshot == held.glusterfs.snapshotName) continue;
          leaks.push_back("snapshot " + snapshot + " left");
          Shell("echo y | " + std::string(WQ_SANDBOX_GLUSTER) + " snapshot delete " + snapshot);
        }
        return leaks;
      }};
  Campaign(remove);
  if (HasFatalFailure()) return;

  // ---- Restore -------------------------------------------------------------------------
  const std::string mountBase = scratch_.path() + "/restore";
  std::string claimUsed;
  auto mountsLeft = [&](const Trace& run) {
    std::vector<std::string> leaks;
    for (const std::string& point : MountPointsBelow(mountBase)) {
      // A successful prepare leaves its mount for the data; a failed one mounts nothing
      // that this campaign can fail after.
      if (!run.result) leaks.push_back("mount " + point + " after a failed prepare");
      Shell("umount -l \"" + point + "\"");
    }
    return leaks;
  };
  Workflow reuse{"restore PrepareVolume (reuse)",
      [&] { claimUsed.clear(); },
      [&](std::string& signature) {
        const bool ok =
            facade_.PrepareVolume(kNs, "restored", mountBase, SavedRecord("web-data", "2Gi"), true, claimUsed);
        signature = claimUsed + (IsMountPoint(mountBase + "/" + claimUsed) ? " mounted" : "");
        return ok;
      },
      mountsLeft};
  Campaign(reuse);
  if (HasFatalFailure()) return;

  // A new claim: its volume is answered by sandbox rules (provisioning real volumes per case
  // costs seconds); the GlusterFS and mount steps are those of the case above.
  fakeVolumes_ = true;
  Workflow fresh{"restore PrepareVolume (new claim)",
      [&] {
        claimUsed.clear();
        for (const char* name : {"copy-1804289383"}) {
          wqsim::ApiAnswer answer;
          simulator_->Api().Serve({"DELETE", ClaimPath(name), "", false}, answer);
        }
        WriteRule("gluster", {"match=^volume info vol_", "rc=0", "stdout=Status: Started"});
        ::rename((Env("WQSANDBOX_CTL") + "/gluster/campaign").c_str(),
                 (Env("WQSANDBOX_CTL") + "/gluster/zz-fake-volume").c_str());
        WriteRule("mount", {"match=copy-", "rc=0", "stdout= "});
        ::rename((Env("WQSANDBOX_CTL") + "/mount/campaign").c_str(),
                 (Env("WQSANDBOX_CTL") + "/mount/zz-fake-volume").c_str());
        std::srand(1);
      },
      [&](std::string& signature) {
        const bool ok =
            facade_.PrepareVolume(kNs, "copy", mountBase, SavedRecord("web-logs", "1Gi"), false, claimUsed);
        signature = claimUsed;
        return ok;
      },
      mountsLeft, "",
      // The new claim's volume has a new name each time: REST steps up to the claim.
      [](const Step& step) {
        return step.kind == StepKind::Rest && step.path.find("/persistentvolumes/") == std::string::npos;
      }};
  Campaign(fresh);
  ::unlink((Env("WQSANDBOX_CTL") + "/gluster/zz-fake-volume").c_str());
  ::unlink((Env("WQSANDBOX_CTL") + "/mount/zz-fake-volume").c_str());
  fakeVolumes_ = false;
  if (HasFatalFailure()) return;

  const std::string saved = scratch_.path() + "/saved";
  fs::create_directories(saved);
  std::ofstream(saved + "/secret_web-secret") << Get("/api/v1/namespaces/demo/secrets/web-secret");
  std::ofstream(saved + "/configmap_web-config") << Get("/api/v1/namespaces/demo/configmaps/web-config");
  std::ofstream(saved + "/deploymentconfig_web") << Get("/oapi/v1/namespaces/demo/deploymentconfigs/web");
  auto nothingLeft = [](const Trace&) { return std::vector<std::string>(); };
  Workflow deploymentRestore{"restore RestoreDeployment", [] {},
      [&](std::string& signature) {
        signature = "restored";
        return facade_.RestoreDeployment(kNs, "web", saved, false, {{"web-data", "web-data"}});
      },
      nothingLeft};
  Campaign(deploymentRestore);
  for (const bool secretFiles : {true, false}) {
    Workflow objects{secretFiles ? "restore RestoreSecrets" : "restore RestoreConfigMaps", [] {},
        [&, secretFiles](std::string& signature) {
          signature = "restored";
          return secretFiles ? facade_.RestoreSecrets(kNs, saved) : facade_.RestoreConfigMaps(kNs, saved);
        },
        nothingLeft};
    Campaign(objects);
  }
  if (HasFatalFailure()) return;

  // ---- Exec ----------------------------------------------------------------------------
  Workflow exec{"exec ExecuteCommandInDC", [] {},
      [&](std::string& signature) {
        std::string out, err;
        const bool ok = facade_.ExecuteCommandInDC(kNs, "web", "echo campaign", out, err);
        signature = out + "|" + err;
        return ok;
      },
      nothingLeft};
  Campaign(exec, [](const Step& step) {
    return step.kind == StepKind::Rest && step.path.find("/pods/") != std::string::npos;
  });

  // ---- The table -----------------------------------------------------------------------
  std::ostringstream table;
  table << std::fixed << std::setprecision(1);
  auto head = [&table](const std::string& first) {
    table << std::left << std::setw(58) << first << std::right << std::setw(9) << "injected"
          << std::setw(9) << "handled" << std::setw(11) << "recovered" << std::setw(6) << "hung"
          << std::setw(8) << "leaked" << std::setw(10) << "seconds" << "\n";
  };
  auto line = [&table](const std::string& first, const Row& row) {
    table << std::left << std::setw(58) << first << std::right << std::setw(9) << row.injected
          << std::setw(9) << row.handled << std::setw(11) << row.recovered << std::setw(6) << row.hung
          << std::setw(8) << row.leaked << std::setw(10) << row.seconds << "\n";
  };
  auto add = [](Row& sum, const Row& row) {
    sum.injected += row.injected;
    sum.handled += row.handled;
    sum.recovered += row.recovered;
    sum.hung += row.hung;
    sum.leaked += row.leaked;
    sum.seconds += row.seconds;
  };
  head("workflow | fault");
  Row total;
  std::map<std::string, Row> byFault;
  for (const auto& entry : rows_) {
    line(entry.first, entry.second);
    add(total, entry.second);
    add(byFault[entry.first.substr(entry.first.find(" | ") + 3)], entry.second);
  }
  line("total", total);
  // Where the time goes: per fault over all workflows, and per workflow.
  table << "\n";
  head("fault");
  for (const auto& entry : byFault) line(entry.first, entry.second);
  table << "\n" << std::left << std::setw(38) << "workflow" << std::right << std::setw(7) << "steps"
        << std::setw(8) << "folded" << std::setw(7) << "cases" << std::setw(9) << "clean s"
        << std::setw(9) << "cases s" << "\n";
  size_t folded = 0, foldedCases = 0;
  for (const auto& entry : summaries_) {
    const Summary& summary = entry.second;
    table << std::left << std::setw(38) << entry.first << std::right << std::setw(7) << summary.steps
          << std::setw(8) << summary.folded << std::setw(7) << summary.cases << std::setw(9)
          << summary.clean << std::setw(9) << summary.seconds << "\n";
    folded += summary.folded;
    foldedCases += summary.foldedCases;
  }
  table << folded << " steps repeat an earlier step of their workflow for another object of the same"
        << " kind and took no faults (" << foldedCases << " cases)\n";
  for (const std::string& failure : failures_) table << failure << "\n";
  std::cout << table.str() << std::flush;
  std::ofstream(WQ_CAMPAIGN_TABLE) << table.str();
  EXPECT_GT(total.injected, 0);
  EXPECT_EQ(total.injected, total.handled);
  EXPECT_EQ(0, total.hung);
  EXPECT_EQ(0, total.leaked);
}

}  // namespace
}  // namespace wftest
