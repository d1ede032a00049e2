// Text helpers the commands share.
#include <algorithm>
#include <filesystem>

#include "tools/wqosctl/commands.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;
using Row = std::vector<std::string>;

std::string Joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : ",") + value;
  return text.empty() ? "<none>" : text;
}

std::string Absolute(const std::string& path) {
  std::error_code code;
  const std::filesystem::path absolute = std::filesystem::absolute(path, code);
  return code ? path : absolute.lexically_normal().string();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string ValueOf(const SObjectInfoLib& map, const std::string& key) {
  for (const SKeyValueInfoLib& entry : map.keyValues) {
    if (entry.key == key) return entry.value;
  }
  return std::string();
}

std::string FormatTable(const std::vector<Row>& rows) {
  std::vector<Row> shown = rows;
  std::vector<size_t> widths;
  for (Row& row : shown) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t i = 0; i < row.size(); ++i) {
      if (row[i].empty()) row[i] = "-";
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  std::string text;
  for (const Row& row : shown) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      const std::string& cell = row[i];
      line += cell;
      if (i + 1 < row.size()) line += std::string(widths[i] - cell.size() + 3, ' ');
    }
    text += line + "\n";
  }
  return text;
}

std::string PodCommandLine(const std::vector<std::string>& words) {
  std::string line = "--";
  for (const std::string& word : words) {
    std::string quoted = "'";
    for (char c : word) {
      if (c == '\'') {
        quoted += "'\\''";
      } else {
        quoted += c;
      }
    }
    line += " " + quoted + "'";
  }
  return line;
}

}  // namespace wqosctl
