#include "host/platformInfo.h"

#include <fstream>

#include "host/settings.h"

namespace OpenShiftSDKWrapper {
namespace {

const char kDefaultConfig[] = "/etc/wqosdk/platform.ini";

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The first "key=value" line of [section]; values keep inner blanks and any ';' or '#',
// since base directories may contain them. Only whole lines are comments.
bool LookUpIni(const std::string& path, const std::string& section, const std::string& key,
               std::string& value) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line, current;
  bool first_line = true;
  while (std::getline(in, line)) {
    if (first_line && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first_line = false;
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      current = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos || current != section) continue;
    if (Trim(line.substr(0, eq)) == key) {
      value = Trim(line.substr(eq + 1));
      return true;
    }
  }
  return false;
}

}  // namespace

bool WQPlatformInfo::getString(const std::string& section, const std::string& key,
                               std::string& value) {
  if (section == "Base" && key == "dBASEHOME") {
    const std::string home = Settings::Get("dBASEHOME");
    if (!home.empty()) {
      value = home;
      return true;
    }
  }
  return LookUpIni(Settings::Get("WQOSDK_PLATFORM_CONFIG", kDefaultConfig), section, key, value);
}

}  // namespace OpenShiftSDKWrapper
