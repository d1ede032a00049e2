#pragma once
// Waits that end when what they wait for holds: polled every second through the library's
// sleep (LUSLEEP, so WQOSDK_SLEEP_SCALE and the test seam apply), given up at a limit.
#include <functional>
#include <string>

namespace OpenShiftSDKWrapper {

struct ReadinessWait {
  bool ready = false;          // the condition held before the limit
  unsigned long waitedMs = 0;  // time the wait took, in unscaled milliseconds
  int checks = 0;              // how often the condition was checked
};

// Checks `ready` at once and then after every second slept, until it holds or `limitMs`
// have gone by (slept, or passed on the clock at the sleep scale, whichever comes first).
// A wait that gives up has taken the whole limit, as a fixed sleep of that length would.
ReadinessWait WaitUntilReady(unsigned long limitMs, const char* sourceFile,
                             const std::function<bool()>& ready);

// True when the output of "gluster volume status VOL" lists at least one brick and every
// brick it lists is online ("Y" in the Online column; a long brick name may push the
// columns onto the next line).
bool AllBricksOnline(const std::string& volumeStatus);

// True when the /proc/self/mountinfo text has a GlusterFS (fuse.glusterfs) mount whose mount
// point is `directory` (an absolute path without "." or ".." parts or doubled slashes).
bool IsGlusterMountAt(const std::string& mountinfo, const std::string& directory);

// The mount answers: a GlusterFS mount at `directory` in this process's mount table, and a
// probe file can be created and removed at its root.
bool GlusterMountAnswers(const std::string& directory);

}  // namespace OpenShiftSDKWrapper
