#pragma once
// Installation settings of the agent.
#include <string>

namespace OpenShiftSDKWrapper {

// "Base"/"dBASEHOME" comes from the environment variable dBASEHOME when set; every
// setting is otherwise read from the INI file named by WQOSDK_PLATFORM_CONFIG
// (default /etc/wqosdk/platform.ini): "[section]" lines, "key=value" lines, ';' or '#'
// comments, blanks around names and values trimmed.
class WQPlatformInfo {
 public:
  WQPlatformInfo() = default;
  bool getString(const std::string& section, const std::string& key, std::string& value);
};

}  // namespace OpenShiftSDKWrapper
