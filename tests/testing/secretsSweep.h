#pragma once
// The secrets sweep: when each test ends, every log line the library wrote in this process,
// every command line it ran, the output and log of every program a test ran through
// wqtest::Run, and the command lines the command-line client stand-in and the storage nodes'
// session wrapper recorded for it are checked for the registered test secrets (passwords,
// tokens, key passphrases, private keys). A hit fails the test that was running, naming the
// kind of secret and where it showed, never the secret. Linking wq_test_main provides it.
#include <string>

#include "host/debugLog.h"
#include "host/process.h"

namespace wqtest {

// A value no log line, command line or program output may hold. Values shorter than
// 8 characters are ignored: they would match ordinary words.
void RegisterSecret(const std::string& kind, const std::string& value);
// Every body line of a private key in `text` (a key file's content).
void RegisterKeyFile(const std::string& text);
// Text that left the library or a program, checked when the running test ends.
void SweepRecord(const std::string& where, const std::string& text);

// A sink that records each line and then hands it on; null gives the sweep's default sink,
// which writes what the library's default log would to standard error.
OpenShiftSDKWrapper::LogSink SweepSink(OpenShiftSDKWrapper::LogSink sink);
// A runner that records each command line (the values of its environment are secrets) and
// then hands it on; null passes the request on to the real runner.
OpenShiftSDKWrapper::WqProcess::Runner SweepRunner(OpenShiftSDKWrapper::WqProcess::Runner runner);

}  // namespace wqtest
