// Fault campaign over the facade's workflows inside sandbox/wq-sandbox. The workflows are one
// table (name, set-up, the call, the check of the clean state it must leave). Each runs once
// clean, which records its steps from the calls it makes: every distinct REST request (the
// simulator's request log), every SSH session and remote command (the connection's call
// observer), every local mount and unmount (through a process runner that records and passes
// on) and every export file it writes. Then every fault that fits a step is injected at that
// step, one case at a time, and the case is judged: the call ends without an exception,
// within the configured time-outs, either with false and an error line of the facade naming
// the step, or with exactly the clean run's result (a fault the workflow recovers from); and
// it leaves no snapshot, mount, descriptor or fault behind that the workflow undoes or does
// not document as kept. A workflow that repeats its steps for several objects of one kind (a
// deployment's claims) takes faults at the first object's steps only. A table of the cases
// with their time per workflow and fault is printed and written beside the test program.
// WQ_CAMPAIGN_ONLY (a regex of workflow names) runs only some workflows.
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

#include "host/callObserver.h"
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

enum class On { Rest, Node, Mount, Unmount, Export };

// Created snapshot names carry the creation time; a step names them by their stem.
std::string Generalised(const std::string& command) {
  return std::regex_replace(command, std::regex("_GMT-[0-9.-]+"), "_GMT-*");
}

// A generalised text as a regex: a created snapshot name stands for any.
std::string PatternOf(const std::string& generalised) {
  std::string pattern;
  for (char c : generalised) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) pattern += '\\';
    pattern += c;
  }
  return std::regex_replace(pattern, std::regex("_GMT-\\\\\\*"), "_GMT-\\S+");
}

// The arguments given to gluster in a node command line, as a regex; empty when the line
// runs no gluster command.
std::string GlusterArgsPattern(const std::string& command) {
  const size_t at = command.find("gluster ");
  if (at == std::string::npos) return "";
  std::string args = command.substr(at + 8);
  for (const char* end : {" |", " <<<", "'"}) args = args.substr(0, args.find(end));
  return "^" + PatternOf(args) + "$";
}

// One call of a workflow's clean run that faults go to.
struct Step {
  On on;
  // Rest: "METHOD path"; Node: the command, created snapshot names generalised; Mount: the
  // source without its (randomly drawn) node; Unmount: the directory; Export: the file.
  std::string what;
  std::string where;  // Mount: the directory; Export: the request whose answer the file holds
  size_t at = 0;      // Node: the 1-based SSH session of its first run; Export: the occurrence
  std::string Method() const { return what.substr(0, what.find(' ')); }
  std::string Path() const { return what.substr(what.find(' ') + 1); }
  std::string Label() const {
    const char* const prefixes[] = {"", "ssh", "mount ", "umount ", "write "};
    return prefixes[static_cast<int>(on)] + what;
  }
  // What the step does, without the object it does it to: a workflow that repeats the
  // same request, command, mount or export for another object of the same kind (the
  // second claim of a deployment) shows the same kind again.
  std::string Kind() const {
    if (on == On::Node || on == On::Mount) {
      return std::regex_replace(Label(), std::regex("vol_[0-9a-f]+"), "vol_*");
    }
    if (on == On::Unmount) return "umount " + fs::path(what).parent_path().string();
    const std::string name = fs::path(what).filename().string();
    if (on == On::Export) return "write " + name.substr(0, name.find('_'));
    // After /api/v1 kinds and names alternate: every name but the namespace's stands for
    // any (/api/v1/namespaces/demo/persistentvolumeclaims/*).
    std::istringstream in(Path());
    std::string kind = Method() + " ", previous;
    size_t i = 0;
    for (std::string segment; std::getline(in, segment, '/'); previous = segment, ++i) {
      const bool name = i >= 4 && i % 2 == 0 && previous != "namespaces";
      kind += (i > 0 ? "/" : "") + (name ? std::string("*") : segment);
    }
    return kind;
  }
  // Texts of which an error line naming this step holds one.
  std::vector<std::string> Subjects() const {
    std::vector<std::string> subjects{what};
    if (on == On::Mount) subjects = {what.substr(what.rfind('/') + 1), where};
    if (on == On::Rest) {
      // The object's name, or the kind of object the request reads or writes.
      subjects = {fs::path(Path()).filename().string()};
      for (const char* kind : {"persistentvolumeclaim", "persistentvolume", "endpoints", "pod",
                               "deploymentconfig", "secret", "configmap"}) {
        if (what.find(std::string("/") + kind) != std::string::npos) {
          subjects.push_back(kind);
          break;
        }
      }
    }
    if (on == On::Node) {
      subjects.push_back("ssh session for host");
      std::istringstream in(what);
      for (std::string word; in >> word;) {
        if (word.compare(0, 4, "vol_") == 0 || word.find("_GMT-") != std::string::npos) {
          subjects.push_back(word.substr(0, word.find("_GMT-")));
        }
      }
    }
    return subjects;
  }
};

// What one run of a workflow did.
struct Trace {
  bool result = false;
  bool threw = false;
  double seconds = 0;
  std::string signature;                     // the workflow's visible result
  std::vector<std::string> requests;         // "METHOD path"
  std::vector<std::string> sessionCommands;  // per SSH session, the command ("" if none ran)
  std::vector<std::string> local;            // local command lines
  std::vector<LogLine> lines;
  std::map<std::string, std::pair<std::string, int>> exportTriggers;  // file: request, occurrence
  bool triggered = false;                                             // the disk was filled
  // While recording: the command announced last, until its session is known; whether a
  // snapshot create command was announced; the requests so far; where exports go.
  std::string pending;
  bool created = false;
  std::map<std::string, int> urlOccurrences;
  std::string lastUrl;
  int lastOccurrence = 0;
  std::string exportDir;
};

// One row of the table of workflows.
struct Workflow {
  using Filter = std::function<bool(const Step&)>;
  std::string name;
  std::function<void()> before;                                     // brings the clean state
  std::function<bool(std::string&)> call;                           // sets the signature
  std::function<std::vector<std::string>(const Trace&)> leftovers;  // leaks; also cleans up
  std::string exportDir = "";  // where export files go (none: empty)
  Filter covers = nullptr;     // steps that take faults (all: null)
  Filter podExec = nullptr;    // requests that run a pod's client
  // Faults go only to the first step of each kind: the workflow repeats its steps for
  // several objects of one kind (every claim of a deployment) through the same code.
  bool foldRepeats = false;
};

struct Row {
  int injected = 0, handled = 0, recovered = 0, hung = 0, leaked = 0;
  double seconds = 0;  // the cases' calls, set-up and clean-up included
};

size_t OpenDescriptors() {
  const auto count = std::distance(fs::directory_iterator("/proc/self/fd"), {});
  return static_cast<size_t>(count);
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
    OpenShiftSDKWrapper::SetCallObserver([this](OpenShiftSDKWrapper::PeerCall call,
                                                const std::string& what) { OnCall(call, what); });
    WqProcess::SetRunner(wqtest::SweepRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          SettleCommand();
          run_.local.push_back(request.command);
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
    OpenShiftSDKWrapper::SetCallObserver(nullptr);
    if (wqtest::InSandbox()) Shell(Env("WQSANDBOX_FAULT") + " clear");
    // The export file system and every mount of the cases go before the scratch directory.
    wqtest::UnmountBelow(scratch_.path());
    baseEnv_.reset();
    WorkflowTest::TearDown();
  }

  // ---- Recording -------------------------------------------------------------------------

  // The connection announces each request, SSH session and remote command before it makes
  // it. A command belongs to the session opened right after it, else to the latest one (kept
  // for reuse); a session is named by its last command.
  void OnCall(OpenShiftSDKWrapper::PeerCall call, const std::string& what) {
    using OpenShiftSDKWrapper::PeerCall;
    if (call == PeerCall::SshSession) {
      run_.sessionCommands.push_back(run_.pending);
      run_.pending.clear();
      if (run_.sessionCommands.size() == outageAt_ && !outageOn_) {
        SetNodes(outage_, true);
        outageOn_ = true;
      }
      return;
    }
    SettleCommand();
    if (call == PeerCall::RemoteCommand) {
      run_.pending = Generalised(what);
      // Every node is out from the faulted session on until the workflow starts to undo a
      // snapshot it made (so that it can).
      run_.created |= what.find("snapshot create ") != std::string::npos;
      if (outageOn_ && run_.created &&
          std::regex_search(what, std::regex("snapshot (deactivate|delete) "))) {
        SetNodes(outage_, false);
        outageOn_ = false;
      }
      return;
    }
    // The file an export wrote after the previous answer is there now.
    NoteExports();
    run_.lastUrl = what.substr(what.find(' ') + 1);
    run_.lastOccurrence = ++run_.urlOccurrences[run_.lastUrl];
    if (std::make_pair(run_.lastUrl, run_.lastOccurrence) == diskFullAt_) {
      FillDisk();
      run_.triggered = true;
    }
  }

  void SettleCommand() {
    if (!run_.pending.empty() && !run_.sessionCommands.empty())
      run_.sessionCommands.back() = run_.pending;
    run_.pending.clear();
  }

  void NoteExports() {
    if (run_.exportDir.empty()) return;
    std::error_code code;
    for (fs::directory_iterator it(run_.exportDir, code), end; !code && it != end;
         it.increment(code)) {
      const std::string path = it->path().string();
      if (it->is_regular_file() && !run_.lastUrl.empty() && run_.exportTriggers.count(path) == 0) {
        run_.exportTriggers[path] = {run_.lastUrl, run_.lastOccurrence};
      }
    }
  }

  Trace Execute(Workflow& workflow, const std::function<void()>& arm = nullptr) {
    workflow.before();
    Forget();
    if (arm) arm();
    run_ = Trace();
    run_.exportDir = workflow.exportDir;
    const Clock::time_point start = Clock::now();
    auto done = std::async(std::launch::async, [this, &workflow]() {
      try {
        run_.result = workflow.call(run_.signature);
      } catch (...) {
        run_.threw = true;
      }
    });
    if (done.wait_for(kHardLimit) != std::future_status::ready) {
      std::cout << "fault campaign: a call of " << workflow.name << " ran over "
                << kHardLimit.count() << " s; giving up" << std::endl;
      std::_Exit(1);
    }
    run_.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    NoteExports();
    SettleCommand();
    run_.requests = Sent();
    run_.lines = lines_;
    return run_;
  }

  // The distinct calls of a clean run.
  static std::vector<Step> StepsOf(const Trace& clean) {
    std::vector<Step> steps;
    std::set<std::string> seen;
    auto add = [&](const Step& step) {
      if (seen.insert(step.Label() + step.where).second) steps.push_back(step);
    };
    for (const std::string& request : clean.requests) add({On::Rest, request, "", 0});
    for (size_t i = 0; i < clean.sessionCommands.size(); ++i) {
      if (!clean.sessionCommands[i].empty()) add({On::Node, clean.sessionCommands[i], "", i + 1});
    }
    const std::regex mount("^mount -t glusterfs (?:-o \\S+ )?[^\\s:]+:(\\S+) \"(.*)\"$");
    const std::regex umount("^umount \"(.*)\"$");
    for (const std::string& command : clean.local) {
      std::smatch match;
      if (std::regex_match(command, match, mount)) {
        add({On::Mount, Generalised(match[1]), match[2], 0});
      } else if (std::regex_match(command, match, umount)) {
        add({On::Unmount, match[1], "", 0});
      }
    }
    for (const auto& entry : clean.exportTriggers) {
      add({On::Export, entry.first, entry.second.first, static_cast<size_t>(entry.second.second)});
    }
    return steps;
  }

  // True when the faulty run reached the step.
  static bool Reached(const Step& step, const Trace& run) {
    switch (step.on) {
      case On::Rest:
        return std::count(run.requests.begin(), run.requests.end(), step.what) > 0;
      case On::Node:
        return run.sessionCommands.size() >= step.at;
      case On::Export:
        return run.triggered;
      default:
        return std::any_of(run.local.begin(), run.local.end(), [&](const std::string& command) {
          return (step.on == On::Mount ? Generalised(command) : command).find(step.what) !=
                 std::string::npos;
        });
    }
  }

  // ---- Injection -------------------------------------------------------------------------

  // Every node at once (flag "down" or "refuse-password"); returns once the sandbox reports
  // it in force.
  void SetNodes(const char* flag, bool on) {
    const std::string ctl = Env("WQSANDBOX_CTL") + "/node/";
    for (const std::string& node : wqtest::Nodes()) {
      if (on) std::ofstream(ctl + node + "/" + flag).flush();
      if (!on) ::unlink((ctl + node + "/" + flag).c_str());
    }
    const std::string want = !on ? "up\n" : flag[0] == 'd' ? "down\n" : "up refuse-password\n";
    const Clock::time_point until = Clock::now() + std::chrono::seconds(15);
    for (const std::string& node : wqtest::Nodes()) {
      while (wqtest::ReadFile(ctl + node + "/status") != want && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
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

  // Every node goes out (flag "down" or "refuse-password") at the start of SSH session
  // `session`.
  void Outage(const char* flag, size_t session) {
    outage_ = flag;
    outageAt_ = session;
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

  // The faults: each fits the steps of one kind and arms itself at a step; the hooks act
  // during the run. Disarm undoes them all.
  struct FaultKind {
    const char* name;
    On on;
    std::function<void(const Step&)> arm;
  };
  std::vector<FaultKind> Faults() {
    auto& sim = *simulator_;
    return {{"http 500", On::Rest,
             [&sim](const Step& s) { sim.InjectStatus(s.Method(), s.Path(), 500, -1); }},
            {"http 404", On::Rest,
             [&sim](const Step& s) { sim.InjectStatus(s.Method(), s.Path(), 404, -1); }},
            {"http 409", On::Rest,
             [&sim](const Step& s) { sim.InjectStatus(s.Method(), s.Path(), 409, -1); }},
            {"time-out", On::Rest,
             [&sim](const Step& s) { sim.InjectDelay(s.Method(), s.Path(), kInjectedDelay, 1); }},
            {"dropped connection", On::Rest,
             [&sim](const Step& s) { sim.InjectDrop(s.Method(), s.Path(), -1); }},
            {"truncated body", On::Rest,
             [&sim](const Step& s) { sim.InjectTruncatedBody(s.Method(), s.Path(), 1); }},
            {"non-JSON body", On::Rest,
             [&sim](const Step& s) { sim.InjectNonJsonBody(s.Method(), s.Path(), -1); }},
            {"Unauthorized body", On::Rest,
             [&sim](const Step& s) { sim.InjectUnauthorizedBody(s.Method(), s.Path(), -1); }},
            {"node down", On::Node, [this](const Step& s) { Outage("down", s.at); }},
            {"wrong SSH password", On::Node,
             [this](const Step& s) { Outage("refuse-password", s.at); }},
            {"gluster error", On::Node,
             [this](const Step& s) {
               WriteRule("gluster",
                         {"match=" + GlusterArgsPattern(s.what), "rc=1",
                          "stderr=Another transaction is in progress. Please try again after "
                          "some time."});
             }},
            {"mount failure", On::Mount,
             [this](const Step& s) {
               WriteRule("mount", {"match=^\\S+:" + PatternOf(s.what) + " ", "rc=1",
                                   "stderr=Mounting glusterfs on " + s.where + " failed."});
             }},
            // A reader inside the mount keeps it busy for the call.
            {"unmount busy", On::Unmount,
             [this](const Step& s) { busyFd_ = ::open(s.what.c_str(), O_RDONLY | O_DIRECTORY); }},
            {"disk full", On::Export, [this](const Step& s) {
               diskFullAt_ = {s.where, static_cast<int>(s.at)};
             }}};
  }

  void Disarm() {
    if (outageOn_) SetNodes(outage_, false);
    outageOn_ = false;
    outageAt_ = 0;
    diskFullAt_ = {};
    simulator_->Server().ClearScripts();
    const std::string ctl = Env("WQSANDBOX_CTL");
    ::unlink((ctl + "/gluster/campaign").c_str());
    ::unlink((ctl + "/mount/campaign").c_str());
    if (busyFd_ >= 0) ::close(busyFd_);
    busyFd_ = -1;
    ::unlink((exportRoot_ + "/filler").c_str());
  }

  // ---- The campaign ----------------------------------------------------------------------

  void Campaign(Workflow& workflow) {
    // A developer's shortcut: WQ_CAMPAIGN_ONLY, a regex, picks the workflows to run.
    const char* only = std::getenv("WQ_CAMPAIGN_ONLY");
    if (only != nullptr && !std::regex_search(workflow.name, std::regex(only))) return;
    const Trace clean = Execute(workflow);
    std::vector<std::string> cleanLeft = workflow.leftovers(clean);
    ASSERT_TRUE(clean.result && !clean.threw) << workflow.name << ": the clean run failed\n"
                                              << Dump(clean);
    ASSERT_TRUE(cleanLeft.empty()) << workflow.name << ": " << cleanLeft.front();
    const size_t descriptors = OpenDescriptors();
    std::vector<Step> steps;
    std::set<std::string> kinds;
    for (const Step& step : StepsOf(clean)) {
      const bool covered = !workflow.covers || workflow.covers(step);
      if (covered && (!workflow.foldRepeats || kinds.insert(step.Kind()).second))
        steps.push_back(step);
    }
    std::cout << "[" << workflow.name << "] clean run " << std::fixed << std::setprecision(2)
              << clean.seconds << " s, " << steps.size() << " steps take faults" << std::endl;
    for (const Step& step : steps) {
      for (const FaultKind& fault : Faults()) {
        const std::string name = fault.name;
        if (fault.on != step.on ||
            (name == "gluster error" && GlusterArgsPattern(step.what).empty()) ||
            // The client in the pod has its own (minute-long) time-out: the library sets none.
            (name == "time-out" && workflow.podExec && workflow.podExec(step))) {
          continue;
        }
        const Clock::time_point caseStarted = Clock::now();
        const Trace run = Execute(workflow, [&] { fault.arm(step); });
        Disarm();
        std::vector<std::string> problems;
        std::vector<std::string> leaks = workflow.leftovers(run);
        if (OpenDescriptors() > descriptors + 2) {
          leaks.push_back("descriptors: " + std::to_string(descriptors) + " before, " +
                          std::to_string(OpenDescriptors()) + " after");
        }
        if (!Reached(step, run)) problems.push_back("the step was not reached");
        if (run.threw) problems.push_back("an exception left the call");
        if (run.result && run.signature != clean.signature) {
          problems.push_back("true with a result unlike the clean run's: [" + run.signature +
                             "] instead of [" + clean.signature + "]");
        } else if (!run.result && !Judge(step, run).empty()) {
          problems.push_back(Judge(step, run));
        }
        // Each request may take the request time-out, each SSH session the connection
        // time-out twice (connection, then handshake and login); the rest as clean, doubled.
        const double bound = 2 * clean.seconds + 3 + kRequestTimeoutSeconds * run.requests.size() +
                             2.0 * kSshTimeoutSeconds * run.sessionCommands.size();
        const bool hung = run.seconds > bound;
        // "total" sorts after every workflow's rows.
        for (Row* row : {&rows_[workflow.name + " | " + name], &rows_["total"]}) {
          ++row->injected;
          row->handled += problems.empty();
          row->recovered += problems.empty() && run.result;
          row->hung += hung;
          row->leaked += !leaks.empty();
          row->seconds += std::chrono::duration<double>(Clock::now() - caseStarted).count();
        }
        if (!problems.empty() || hung || !leaks.empty()) {
          std::ostringstream note;
          note << workflow.name << " / " << step.Label() << " / " << name << ": "
               << (run.result ? "true" : "false") << " in " << std::setprecision(2) << run.seconds
               << " s (bound " << bound << " s)";
          for (const std::string& problem : problems) note << "\n    not handled: " << problem;
          if (hung) note << "\n    hung";
          for (const std::string& leak : leaks) note << "\n    leaked: " << leak;
          failures_.push_back(note.str());
        }
      }
    }
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
      for (char c : line.context.substr(line.context.find("::", line.context.find(' ')) + 2) + " " +
                        line.message) {
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
      if (recorded.count(snapshot) == 0)
        leaks.push_back("snapshot " + snapshot + " without a record");
      deletions +=
          "(echo y | " + std::string(WQ_SANDBOX_GLUSTER) + " snapshot delete " + snapshot + ") & ";
    }
    if (!deletions.empty()) Shell(deletions + "wait");
    records.clear();
    return leaks;
  }

  std::string base_;
  std::string exportRoot_;
  std::unique_ptr<wqtest::ScopedEnv> baseEnv_;
  wqtest::ScopedEnv requestTimeout_{"WQOSDK_REQUEST_TIMEOUT",
                                    std::to_string(kRequestTimeoutSeconds).c_str()};
  wqtest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT",
                                    std::to_string(kRequestTimeoutSeconds).c_str()};
  wqtest::ScopedEnv sshConnectTimeout_{"WQOSDK_SSH_CONNECT_TIMEOUT",
                                       std::to_string(kSshTimeoutSeconds).c_str()};
  wqtest::ScopedEnv sshCommandTimeout_{"WQOSDK_SSH_COMMAND_TIMEOUT", "20"};
  bool fakeVolumes_ = false;

  Trace run_;  // the run being recorded, or the last one
  size_t outageAt_ = 0;
  std::pair<std::string, int> diskFullAt_;
  const char* outage_ = nullptr;
  bool outageOn_ = false;
  int busyFd_ = -1;
  std::map<std::string, Row> rows_;
  std::vector<std::string> failures_;
};

std::string RecordsSignature(const std::vector<SVolumeInfoLib>& records, const std::string& dir) {
  std::ostringstream out;
  for (const SVolumeInfoLib& record : records)
    out << record.name << "@" << record.glusterfs.path << " ";
  std::set<std::string> files;
  std::error_code code;
  for (fs::directory_iterator it(dir, code), end; !code && it != end; it.increment(code)) {
    if (it->is_regular_file()) files.insert(it->path().filename().string());
  }
  for (const std::string& file : files) out << file << " ";
  return out.str();
}

TEST_F(FaultCampaign, EveryFaultAtEveryStepIsHandled) {
  std::vector<SVolumeInfoLib> records;  // the deployment backup's records
  SVolumeInfoLib single;                // the claim backup's record
  const std::string backup = exportRoot_ + "/backup";
  auto freshBackup = [&] {
    fs::remove_all(backup);
    fs::create_directories(backup);
    single = SVolumeInfoLib();
    single.name = "web-logs";
  };
  // One snapshot, mounted, that each release case releases; made again once a case has
  // released it. The facade makes it once (six SSH sessions); later it is made again
  // directly and the first record takes the new snapshot's name.
  SVolumeInfoLib held, made;
  const std::string releaseDir = scratch_.path() + "/release";
  auto hold = [&] {
    if (held.snapshotState == 1 && SnapshotsOnNodes().count(held.glusterfs.snapshotName) == 1)
      return;
    if (made.snapshotState != 1) {
      held = SVolumeInfoLib();
      held.name = "web-data";
      ASSERT_TRUE(facade_.CreatePVCSnapshot(kNs, "web-data", "rel", releaseDir, held));
      made = held;
      return;
    }
    const std::string gluster = WQ_SANDBOX_GLUSTER;
    std::string out, err;
    ASSERT_EQ(0, Shell(gluster + " snapshot create rel " + GlusterVolumeOf("web-data"), &out, &err))
        << err;
    std::smatch name;
    ASSERT_TRUE(std::regex_search(out, name, std::regex("Snap (rel_GMT-\\S+) created"))) << out;
    ASSERT_EQ(0, Shell(gluster + " snapshot activate " + name[1].str(), nullptr, &err)) << err;
    held = made;
    held.glusterfs.snapshotName = name[1];
  };
  const std::string mountBase = scratch_.path() + "/restore";
  std::string claimUsed;
  // A successful prepare leaves its mount for the data; a failed one mounts nothing that
  // this campaign can fail after.
  auto mountsLeft = [&](const Trace& run) {
    std::vector<std::string> leaks;
    for (const std::string& point : MountPointsBelow(mountBase)) {
      if (!run.result) leaks.push_back("mount " + point + " after a failed prepare");
      Shell("umount -l \"" + point + "\"");
    }
    return leaks;
  };
  const std::string saved = scratch_.path() + "/saved";
  fs::create_directories(saved);
  std::ofstream(saved + "/secret_web-secret") << Get("/api/v1/namespaces/demo/secrets/web-secret");
  std::ofstream(saved + "/configmap_web-config")
      << Get("/api/v1/namespaces/demo/configmaps/web-config");
  std::ofstream(saved + "/deploymentconfig_web")
      << Get("/oapi/v1/namespaces/demo/deploymentconfigs/web");
  auto nothingLeft = [](const Trace&) { return std::vector<std::string>(); };
  auto restored = [&](const char* name, std::function<bool()> restore) {
    return Workflow{name, [] {},
                    [restore](std::string& signature) {
                      signature = "restored";
                      return restore();
                    },
                    nothingLeft};
  };
  const std::string ctl = Env("WQSANDBOX_CTL");

  std::vector<Workflow> workflows = {
      {"backup CreateDeploymentSnapshot", freshBackup,
       [&](std::string& signature) {
         const bool ok = facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backup, records);
         signature = RecordsSignature(records, backup);
         return ok;
       },
       [&](const Trace&) { return ReleaseBackup(records, backup); }, backup},
      {"backup CreatePVCSnapshot", freshBackup,
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
       backup},
      {"release UnmountVolume",
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
         if (!run.result &&
             (!IsMountPoint(held.glusterfs.path) || !facade_.UnmountVolume(kNs, held))) {
           leaks.push_back("the mount could not be released after the failure");
         }
         if (IsMountPoint(held.glusterfs.path)) leaks.push_back("still mounted");
         return leaks;
       }},
      {"release DeleteVolumeSnapshot",
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
         if (run.result && present)
           leaks.push_back("the snapshot stayed although the call succeeded");
         for (const std::string& snapshot : SnapshotsOnNodes()) {
           if (snapshot == held.glusterfs.snapshotName) continue;
           leaks.push_back("snapshot " + snapshot + " left");
           Shell("echo y | " + std::string(WQ_SANDBOX_GLUSTER) + " snapshot delete " + snapshot);
         }
         return leaks;
       }},
      {"restore PrepareVolume (reuse)", [&] { claimUsed.clear(); },
       [&](std::string& signature) {
         const bool ok = facade_.PrepareVolume(kNs, "restored", mountBase,
                                               SavedRecord("web-data", "2Gi"), true, claimUsed);
         signature = claimUsed + (IsMountPoint(mountBase + "/" + claimUsed) ? " mounted" : "");
         return ok;
       },
       mountsLeft},
      // A new claim: its volume is answered by sandbox rules (provisioning real volumes per
      // case costs seconds); the GlusterFS and mount steps are those of the case above, so
      // only the REST steps up to the claim take faults (its volume has a new name each time).
      {"restore PrepareVolume (new claim)",
       [&] {
         fakeVolumes_ = true;
         claimUsed.clear();
         wqsim::ApiAnswer answer;
         simulator_->Api().Serve({"DELETE", ClaimPath("copy-1804289383"), "", false}, answer);
         WriteRule("gluster", {"match=^volume info vol_", "rc=0", "stdout=Status: Started"});
         fs::rename(ctl + "/gluster/campaign", ctl + "/gluster/zz-fake-volume");
         WriteRule("mount", {"match=copy-", "rc=0", "stdout= "});
         fs::rename(ctl + "/mount/campaign", ctl + "/mount/zz-fake-volume");
         std::srand(1);
       },
       [&](std::string& signature) {
         const bool ok = facade_.PrepareVolume(kNs, "copy", mountBase,
                                               SavedRecord("web-logs", "1Gi"), false, claimUsed);
         signature = claimUsed;
         return ok;
       },
       [&](const Trace& run) {
         ::unlink((ctl + "/gluster/zz-fake-volume").c_str());
         ::unlink((ctl + "/mount/zz-fake-volume").c_str());
         fakeVolumes_ = false;
         return mountsLeft(run);
       },
       "",
       [](const Step& step) {
         return step.on == On::Rest && step.what.find("/persistentvolumes/") == std::string::npos;
       }},
      restored(
          "restore RestoreDeployment",
          [&] {
            return facade_.RestoreDeployment(kNs, "web", saved, false, {{"web-data", "web-data"}});
          }),
      restored("restore RestoreSecrets", [&] { return facade_.RestoreSecrets(kNs, saved); }),
      restored("restore RestoreConfigMaps", [&] { return facade_.RestoreConfigMaps(kNs, saved); }),
      {"exec ExecuteCommandInDC", [] {},
       [&](std::string& signature) {
         std::string out, err;
         const bool ok = facade_.ExecuteCommandInDC(kNs, "web", "echo campaign", out, err);
         signature = out + "|" + err;
         return ok;
       },
       nothingLeft, "", nullptr,
       [](const Step& step) {
         return step.on == On::Rest && step.what.find("/pods/") != std::string::npos;
       }},
  };
  // The second claim of the deployment takes the first one's requests, commands, mount and
  // export file.
  workflows.front().foldRepeats = true;
  for (Workflow& workflow : workflows) {
    Campaign(workflow);
    if (HasFatalFailure()) return;
  }

  std::ostringstream table;
  table << std::left << std::setw(58) << "workflow | fault"
        << " injected  handled  recovered  hung  leaked   seconds\n";
  for (const auto& entry : rows_) {
    const Row& row = entry.second;
    char text[160];
    std::snprintf(text, sizeof text, "%-58s%9d%9d%11d%6d%8d%10.1f\n", entry.first.c_str(),
                  row.injected, row.handled, row.recovered, row.hung, row.leaked, row.seconds);
    table << text;
  }
  const Row total = rows_["total"];
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
