#pragma once
// The plan a --dry-run prints: what would be read, made, written and run, in order.
#include <string>
#include <vector>

namespace wqosctl {

class Plan {
 public:
  explicit Plan(std::string title);
  void Object(const std::string& text);
  void Step(const std::string& text);
  // A file written once, however often it is named (the backup writes a shared object again).
  void File(const std::string& path, const std::string& what);
  void Command(const std::string& what, const std::string& command,
               const std::vector<std::string>& pods);
  // Something that would make the real run fail.
  void Problem(const std::string& text);
  // Prints the plan on standard output (problems also on standard error); the exit code.
  int Print() const;

 private:
  void Add(const char* label, const std::string& text);

  std::string title_;
  std::vector<std::string> lines_;
  std::vector<std::string> files_;
  std::vector<std::string> problems_;
};

}  // namespace wqosctl
