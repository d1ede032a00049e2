#include "tools/wqosctl/plan.h"

#include <algorithm>

#include "tools/wqosctl/commandLine.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"

namespace wqosctl {

Plan::Plan(std::string title) : title_(std::move(title)) {}

void Plan::Add(const char* label, const std::string& text) {
  std::string padded = label;
  padded.resize(9, ' ');
  lines_.push_back("  " + padded + text);
}

void Plan::Object(const std::string& text) { Add("object", text); }

void Plan::Step(const std::string& text) { Add("step", text); }

void Plan::File(const std::string& path, const std::string& what) {
  if (std::find(files_.begin(), files_.end(), path) != files_.end()) return;
  files_.push_back(path);
  Add("file", path + " (" + what + ")");
}

void Plan::Command(const std::string& what, const std::string& command,
                   const std::vector<std::string>& pods) {
  Add("command", what + ": [" + command + "] in " +
                     (pods.empty() ? std::string("no running pod") : "pods " + Joined(pods)));
}

void Plan::Problem(const std::string& text) {
  problems_.push_back(text);
  Add("problem", text);
}

int Plan::Print() const {
  std::string text = "dry run: " + title_ + " (nothing is changed)\n";
  for (const std::string& line : lines_) text += line + "\n";
  PrintOut(text);
  for (const std::string& problem : problems_) PrintErr("wqosctl: " + problem + "\n");
  return problems_.empty() ? kExitOk : kExitFailed;
}

}  // namespace wqosctl
