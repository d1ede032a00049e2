#pragma once
// Keys of the SSH sessions with the storage nodes: host key checking against a known_hosts
// file in OpenSSH's format (plain or hashed host names), and the type of a private key.
#include <string>

#include "connection/openshiftConnection.h"

namespace OpenShiftSDKWrapper {
namespace SshKeys {

// The known_hosts file in use: WQOSDK_KNOWN_HOSTS when set (even if that file is missing,
// so that a mistyped path refuses every node instead of silently checking nothing), else
// "known_hosts" in the base directory when that file exists; empty when there is none.
std::string KnownHostsPath();

// OpenSSH's rendering of a SHA-256 host key digest: "SHA256:" and the digest in base64
// without the '=' padding.
std::string Fingerprint(const unsigned char* digest, size_t length);

// The host key algorithms, in libssh2's names and in order of preference, of the keys that
// `knownHosts` (the file's text) lists for `host` on port 22, plainly or hashed. Handing
// them to the key exchange makes a node that holds several host keys present one the file
// knows, as the OpenSSH client does; empty when the file lists no key for the host.
std::string KnownKeyAlgorithms(const std::string& knownHosts, const std::string& host);

enum class Verdict { Match, Mismatch, NotFound, Unreadable };

// Checks the key that `session` received during the handshake against the file at `path`
// for `host` on port 22 (libssh2 tries both "host" and "[host]:22").
Verdict Check(LIBSSH2_SESSION* session, const std::string& path, const std::string& host);

// "SHA256:..." of the session's host key, or "SHA256:?" when libssh2 cannot give it.
std::string SessionFingerprint(LIBSSH2_SESSION* session);
// The name of the session's host key type ("ssh-ed25519", ...), as in a known_hosts line.
std::string SessionKeyType(LIBSSH2_SESSION* session);

// True when `keyText` holds an RSA private key (PEM "RSA PRIVATE KEY", or an OpenSSH key
// file whose public part is "ssh-rsa"); used to explain a refused RSA login.
bool IsRsaPrivateKey(const std::string& keyText);

}  // namespace SshKeys
}  // namespace OpenShiftSDKWrapper
