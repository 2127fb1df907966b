// The reachability probe against a real SNMP agent: Debian's snmpd, started
// for the test as an unprivileged process on a loopback UDP port, answers the
// exact bytes the monitor sends, and its reply is read with the monitor's own
// reader.  A wrong community must get no answer, as a printer's agent gives
// none.  Skipped where snmpd is not installed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "netmon/probe.h"

namespace card::net {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kDescription[] = "Kestra test agent on loopback";
// 1.3.6.1.2.1.1.1.0 as it is encoded in the variable binding.
const std::vector<uint8_t> kSysDescrOid{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};
constexpr uint8_t kTagOctetString = 0x04;
constexpr auto kStartLimit = std::chrono::seconds(5);
constexpr auto kResendEvery = std::chrono::milliseconds(100);
// Long enough for a local agent that answered a moment ago to answer again.
constexpr auto kSilenceWait = std::chrono::seconds(1);

std::string findSnmpd() {
  std::vector<std::string> dirs{"/usr/sbin", "/usr/local/sbin", "/sbin"};
  if (const char *path = std::getenv("PATH")) {
    std::stringstream s(path);
    for (std::string d; std::getline(s, d, ':');)
      if (!d.empty()) dirs.push_back(d);
  }
  for (const auto &d : dirs) {
    std::string p = d + "/snmpd";
    if (access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

// A free UDP port on 127.0.0.1 from the kernel's ephemeral range.  It is
// released before snmpd binds it; another process taking it in between
// shows as snmpd ending at start, which the test reports with snmpd's log.
uint16_t freeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

// snmpd in a temporary folder of its own (configuration, persistent data,
// pid file, log), ended when the object goes.
class Agent {
 public:
  ~Agent() {
    stop();
    if (!dir_.empty()) {
      std::error_code ec;
      fs::remove_all(dir_, ec);
    }
  }

  // Empty on success, else why the agent could not be started.
  std::string start(const std::string &snmpd, uint16_t port) {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/netmon-snmpd-XXXXXX";
    if (!mkdtemp(pattern.data())) return "no temporary folder";
    dir_ = pattern;
    const std::string conf = dir_ + "/snmpd.conf";
    {
      std::ofstream f(conf);
      f << "rocommunity " << kProbeCommunity << " 127.0.0.1\n"
        << "sysdescr " << kDescription << "\n";
      if (!f) return "configuration not written";
    }
    chmod(conf.c_str(), 0644);

    // As root, the agent runs as "nobody": it needs no privilege on a high
    // port, and it then owns its folder for its persistent data.
    uid_t uid = getuid();
    gid_t gid = getgid();
    const bool dropPrivileges = geteuid() == 0;
    if (dropPrivileges) {
      const passwd *pw = getpwnam("nobody");
      uid = pw ? pw->pw_uid : 65534;
      gid = pw ? pw->pw_gid : 65534;
      if (chown(dir_.c_str(), uid, gid) != 0) return "temporary folder not handed to nobody";
    }

    // Everything the child needs is prepared before fork: after it, only
    // calls that are safe in a child of a possibly threaded process.
    const std::string endpoint = "udp:127.0.0.1:" + std::to_string(port);
    const std::string pidFile = dir_ + "/snmpd.pid";
    const std::string log = dir_ + "/snmpd.log";
    std::vector<std::string> args{snmpd, "-C", "-c", conf, "-f", "-Lo", "-I", "-smux", "-p", pidFile, endpoint};
    // No MIB files (the agent needs none to answer) and the persistent data
    // in the folder instead of /var.
    std::vector<std::string> env{"PATH=/usr/bin:/bin", "SNMP_PERSISTENT_DIR=" + dir_, "MIBDIRS=" + dir_, "MIBS="};
    std::vector<char *> argv, envp;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    logPath_ = log;

    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) return "log not opened";
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
      close(logFd);
      pid_ = 0;
      return "fork failed";
    }
    if (pid_ == 0) {
      dup2(logFd, STDOUT_FILENO);
      dup2(logFd, STDERR_FILENO);
      const int null = open("/dev/null", O_RDONLY);
      if (null >= 0) dup2(null, STDIN_FILENO);
      if (dropPrivileges && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) _exit(126);
      // Ended with the test even when the test itself crashes (set after the
      // change of user, which clears it).
      if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(125);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    close(logFd);
    return {};
  }

  // Whether the agent process has ended (it is then reaped).
  bool ended() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = 0;
      return true;
    }
    return false;
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!ended() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
  }

  std::string log() const {
    std::ifstream f(logPath_);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

 private:
  pid_t pid_ = 0;
  std::string dir_, logPath_;
};

// A plain UDP socket on loopback, as the monitor's probe uses one.
class Client {
 public:
  explicit Client(uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    to_.sin_family = AF_INET;
    to_.sin_port = htons(port);
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  bool send(const std::vector<uint8_t> &bytes) {
    return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to_), sizeof to_) ==
           static_cast<ssize_t>(bytes.size());
  }

  // The first datagram within `wait`, or nothing.
  std::optional<std::vector<uint8_t>> receive(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return std::nullopt;
    std::vector<uint8_t> buf(kProbeReceiveBytes);
    const ssize_t n = recv(fd_, buf.data(), buf.size(), MSG_DONTWAIT);
    if (n < 0) return std::nullopt;
    buf.resize(static_cast<size_t>(n));
    return buf;
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

class SnmpdPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    snmpd_ = findSnmpd();
    if (snmpd_.empty()) GTEST_SKIP() << "snmpd is not installed (Debian package \"snmpd\")";
    port_ = freeLoopbackPort();
    ASSERT_NE(port_, 0) << "no free loopback UDP port";
    const std::string error = agent_.start(snmpd_, port_);
    ASSERT_EQ(error, "") << error;
  }

  // Sends the probe until the agent answers, resending while it starts;
  // 5 s in all.
  std::optional<std::vector<uint8_t>> probeUntilAnswered(Client &c) {
    const auto request = probeRequest();
    const auto deadline = Clock::now() + kStartLimit;
    while (Clock::now() < deadline) {
      if (agent_.ended()) return std::nullopt;
      if (!c.send(request)) return std::nullopt;
      if (auto reply = c.receive(kResendEvery)) return reply;
    }
    return std::nullopt;
  }

  std::string snmpd_;
  uint16_t port_ = 0;
  Agent agent_;
};

TEST_F(SnmpdPeer, AnswersTheProbeWithTheSystemDescription) {
  Client c(port_);
  ASSERT_TRUE(c.ok());
  const auto reply = probeUntilAnswered(c);
  ASSERT_TRUE(reply) << "no answer from snmpd on 127.0.0.1:" << port_ << "; its log:\n" << agent_.log();
  EXPECT_TRUE(probeAnswered(reply->size()));

  const auto r = readGetResponse(reply->data(), reply->size());
  ASSERT_TRUE(r) << "not a GetResponse (" << reply->size() << " bytes)";
  EXPECT_EQ(r->version, 0);
  EXPECT_EQ(std::string(r->community.begin(), r->community.end()), kProbeCommunity);
  EXPECT_EQ(r->requestId, 0x1DAA);
  EXPECT_EQ(r->errorStatus, 0);
  EXPECT_EQ(r->errorIndex, 0);
  EXPECT_EQ(r->oid, kSysDescrOid);
  EXPECT_EQ(r->valueTag, kTagOctetString);
  EXPECT_EQ(std::string(r->value.begin(), r->value.end()), kDescription);
}

TEST_F(SnmpdPeer, AWrongCommunityGetsNoAnswer) {
  Client c(port_);
  ASSERT_TRUE(c.ok());
  // The agent is up once it has answered the right community.
  ASSERT_TRUE(probeUntilAnswered(c)) << "no answer from snmpd; its log:\n" << agent_.log();

  // The same request with one letter of the community changed, so that every
  // length stays as it was.
  auto request = probeRequest();
  const std::string community = kProbeCommunity;
  size_t at = 0;
  for (size_t i = 0; i + community.size() <= request.size(); ++i)
    if (std::equal(community.begin(), community.end(), request.begin() + i)) at = i;
  ASSERT_NE(at, 0u);
  request[at] = 'K';
  ASSERT_TRUE(c.send(request));
  const auto reply = c.receive(std::chrono::duration_cast<std::chrono::milliseconds>(kSilenceWait));
  EXPECT_FALSE(reply) << "snmpd answered the community \"Kestra\" with " << reply->size() << " bytes";

  // Still running and answering the right one: the silence was the refusal.
  EXPECT_FALSE(agent_.ended()) << agent_.log();
  ASSERT_TRUE(c.send(probeRequest()));
  EXPECT_TRUE(c.receive(std::chrono::duration_cast<std::chrono::milliseconds>(kSilenceWait)));
}

}  // namespace
}  // namespace card::net
