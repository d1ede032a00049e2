// Runs one command on a sandbox node through libssh2, the SSH library the
// product uses, so that the sandbox is proven against that client's abilities
// (key exchange, host key type, key formats, ssh-rsa signatures) and not only
// against OpenSSH's.
//
// ssh_probe HOST USER (--password PW | --key FILE [--passphrase PP]) COMMAND
// Remote stdout and stderr are copied to ours; the exit code is the remote one,
// or one of the codes below when the session cannot be set up.
#include <arpa/inet.h>
#include <libssh2.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kUsage = 64;
constexpr int kConnect = 201;
constexpr int kHandshake = 202;
constexpr int kAuth = 203;
constexpr int kChannel = 204;

struct Options {
  std::string host, user, password, keyText, passphrase, command;
  bool useKey = false;
};

bool parse(int argc, char** argv, Options& o) {
  if (argc < 5) return false;
  o.host = argv[1];
  o.user = argv[2];
  int i = 3;
  for (; i + 1 < argc - 1; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--password") {
      o.password = argv[i + 1];
    } else if (flag == "--key") {
      std::ifstream in(argv[i + 1], std::ios::binary);
      if (!in) return false;
      o.keyText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      o.useKey = true;
    } else if (flag == "--passphrase") {
      o.passphrase = argv[i + 1];
    } else {
      return false;
    }
  }
  if (i != argc - 1) return false;
  o.command = argv[i];
  return true;
}

int connectTo(const std::string& host) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(22);
  addr.sin_addr.s_addr = inet_addr(host.c_str());
  if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(sock);
    return -1;
  }
  return sock;
}

std::string lastError(LIBSSH2_SESSION* session) {
  char* text = nullptr;
  libssh2_session_last_error(session, &text, nullptr, 0);
  return text ? text : "";
}

void waitSocket(int sock, LIBSSH2_SESSION* session) {
  fd_set fds;
  FD_ZERO(&fds);
  FD_SET(sock, &fds);
  timeval timeout{10, 0};
  const int dir = libssh2_session_block_directions(session);
  select(sock + 1, (dir & LIBSSH2_SESSION_BLOCK_INBOUND) ? &fds : nullptr,
         (dir & LIBSSH2_SESSION_BLOCK_OUTBOUND) ? &fds : nullptr, nullptr, &timeout);
}

// Non-blocking, so that both streams are drained together: an unread stream
// would stall the channel window.
int runCommand(LIBSSH2_SESSION* session, int sock, const std::string& command) {
  libssh2_session_set_blocking(session, 0);
  LIBSSH2_CHANNEL* channel = nullptr;
  while (!(channel = libssh2_channel_open_session(session)) &&
         libssh2_session_last_errno(session) == LIBSSH2_ERROR_EAGAIN) {
    waitSocket(sock, session);
  }
  if (!channel) {
    std::fprintf(stderr, "ssh_probe: channel: %s\n", lastError(session).c_str());
    return kChannel;
  }
  int rc;
  while ((rc = libssh2_channel_exec(channel, command.c_str())) == LIBSSH2_ERROR_EAGAIN) {
    waitSocket(sock, session);
  }
  if (rc != 0) {
    std::fprintf(stderr, "ssh_probe: exec: %s\n", lastError(session).c_str());
    libssh2_channel_free(channel);
    return kChannel;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t out = libssh2_channel_read(channel, buffer, sizeof buffer);
    if (out > 0) fwrite(buffer, 1, static_cast<size_t>(out), stdout);
    const ssize_t err = libssh2_channel_read_stderr(channel, buffer, sizeof buffer);
    if (err > 0) fwrite(buffer, 1, static_cast<size_t>(err), stderr);
    if (out > 0 || err > 0) continue;
    if (out == LIBSSH2_ERROR_EAGAIN || err == LIBSSH2_ERROR_EAGAIN) {
      if (libssh2_channel_eof(channel)) break;
      waitSocket(sock, session);
      continue;
    }
    break;
  }
  while (libssh2_channel_close(channel) == LIBSSH2_ERROR_EAGAIN) waitSocket(sock, session);
  const int status = libssh2_channel_get_exit_status(channel);
  libssh2_channel_free(channel);
  return status;
}

int probe(const Options& o) {
  const int sock = connectTo(o.host);
  if (sock < 0) {
    std::fprintf(stderr, "ssh_probe: cannot connect to %s: %s\n", o.host.c_str(),
                 std::strerror(errno));
    return kConnect;
  }
  LIBSSH2_SESSION* session = libssh2_session_init();
  int rc = kHandshake;
  if (libssh2_session_handshake(session, sock) != 0) {
    std::fprintf(stderr, "ssh_probe: handshake: %s\n", lastError(session).c_str());
  } else {
    const int auth =
        o.useKey ? libssh2_userauth_publickey_frommemory(session, o.user.c_str(), o.user.size(),
                                                         nullptr, 0, o.keyText.c_str(),
                                                         o.keyText.size(), o.passphrase.c_str())
                 : libssh2_userauth_password(session, o.user.c_str(), o.password.c_str());
    if (auth != 0) {
      std::fprintf(stderr, "ssh_probe: authentication: %s\n", lastError(session).c_str());
      rc = kAuth;
    } else {
      rc = runCommand(session, sock, o.command);
    }
  }
  libssh2_session_disconnect(session, "done");
  libssh2_session_free(session);
  close(sock);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: ssh_probe HOST USER (--password PW | --key FILE [--passphrase PP]) "
                 "COMMAND\n");
    return kUsage;
  }
  if (libssh2_init(0) != 0) return kHandshake;
  const int rc = probe(options);
  libssh2_exit();
  return rc;
}
