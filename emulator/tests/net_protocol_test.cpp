// The network interface's SNMP agent and web server as byte logic, and
// random damage to their inputs.
#include <gtest/gtest.h>

#include <random>

#include "emulator/fuzz/net_harness.h"
#include "emulator/include/cardemu/http_endpoint.h"
#include "emulator/include/cardemu/snmp_agent.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::bytes;

namespace {

std::vector<uint8_t> vec(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string str(const std::vector<uint8_t> &v) { return std::string(v.begin(), v.end()); }

const std::string kSysDescr = bytes({0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00});
const std::string kSysName = bytes({0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00});

// A version 1 GetRequest with request id 0x1DAA of the given encoded OIDs.
std::string getRequest(const std::vector<std::string> &oids, const std::string &community = "kestra", int version = 0) {
  std::string list;
  for (const auto &oid : oids) list += str(snmp::encodeTlv(0x30, vec(oid + bytes({0x05, 0x00}))));
  const std::string pdu =
      bytes({0x02, 0x02, 0x1D, 0xAA, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00}) + str(snmp::encodeTlv(0x30, vec(list)));
  const std::string message = bytes({0x02, 0x01, version, 0x04, static_cast<int>(community.size())}) + community +
                              str(snmp::encodeTlv(0xA0, vec(pdu)));
  return str(snmp::encodeTlv(0x30, vec(message)));
}

std::string ask(const std::string &datagram, const std::string &description = "CA3 MAG V3.02") {
  return str(snmp::answer(reinterpret_cast<const uint8_t *>(datagram.data()), datagram.size(), "kestra", description));
}

}  // namespace

TEST(SnmpAgent, LengthsAndAnswers) {
  // The 41-byte probe as monitors send it.
  const std::string probe = getRequest({kSysDescr});
  ASSERT_EQ(probe.size(), 41u);
  EXPECT_EQ(probe.substr(0, 2), bytes({0x30, 0x27}));
  EXPECT_EQ(probe.substr(15, 4), bytes({0x02, 0x02, 0x1D, 0xAA}));

  // Another object: noSuchName (2) at index 1, the binding returned as it came.
  const std::string other = ask(getRequest({kSysName}));
  const std::string tail =
      bytes({0xA2, 0x1A, 0x02, 0x02, 0x1D, 0xAA, 0x02, 0x01, 0x02, 0x02, 0x01, 0x01, 0x30, 0x0E, 0x30, 0x0C}) +
      kSysName + bytes({0x05, 0x00});
  EXPECT_EQ(other, bytes({0x30, 0x27, 0x02, 0x01, 0x00, 0x04, 0x06}) + "kestra" + tail);
  // The second of two bindings unknown: index 2.
  const std::string two = ask(getRequest({kSysDescr, kSysName}));
  ASSERT_GT(two.size(), 25u);
  EXPECT_EQ(two.substr(19, 6), bytes({0x02, 0x01, 0x02, 0x02, 0x01, 0x02}));

  // A long description: the response's lengths in the long form (0x81 xx).
  const std::string longText(200, 'L');
  const std::string big = ask(probe, longText);
  ASSERT_EQ(big.size(), 3u + 3 + 8 + 3 + 4 + 3 + 3 + 3 + 3 + 10 + 3 + 200);
  EXPECT_EQ(big.substr(0, 3), bytes({0x30, 0x81, static_cast<int>(big.size() - 3)}));
  EXPECT_EQ(big.substr(big.size() - 203, 3), bytes({0x04, 0x81, 0xC8}));
  // A request with long-form lengths of its own is read as well.
  std::string longForm = probe;
  longForm.replace(0, 2, bytes({0x30, 0x81, 0x27}));
  EXPECT_EQ(ask(longForm), ask(probe));
  EXPECT_FALSE(ask(probe).empty());
}

TEST(SnmpAgent, DropsWhatIsNotItsRequest) {
  const std::string probe = getRequest({kSysDescr});
  EXPECT_EQ(ask(getRequest({kSysDescr}, "Kestra")), "");
  EXPECT_EQ(ask(getRequest({kSysDescr}, "kestra", 1)), "");  // version 2c
  EXPECT_EQ(ask(probe + "x"), "");                           // trailing byte
  EXPECT_EQ(ask(probe.substr(0, 40)), "");
  std::string next = probe;
  next[15 - 2] = static_cast<char>(0xA1);  // GetNextRequest
  EXPECT_EQ(ask(next), "");
  std::string indefinite = probe;
  indefinite[1] = static_cast<char>(0x80);
  EXPECT_EQ(ask(indefinite), "");
  std::string hugeLength = probe;
  hugeLength.replace(0, 2, bytes({0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ask(hugeLength), "");
  std::string emptyOid = getRequest({bytes({0x06, 0x00})});
  EXPECT_EQ(ask(emptyOid), "");
  EXPECT_EQ(ask(""), "");
  EXPECT_EQ(snmp::answer(nullptr, 0, "kestra", "x").size(), 0u);
}

TEST(HttpEndpoint, ReaderCutsRequestsAndRefusesBadOnes) {
  using State = http::RequestReader::State;
  auto read = [](const std::string &text, size_t piece, size_t *usedAll = nullptr) {
    auto r = std::make_unique<http::RequestReader>();
    size_t at = 0;
    while (at < text.size() && r->state() == State::kNeedMore) {
      size_t used = 0;
      const size_t n = std::min(piece, text.size() - at);
      r->feed(reinterpret_cast<const uint8_t *>(text.data() + at), n, &used);
      at += used;
    }
    if (usedAll) *usedAll = at;
    return r;
  };
  const std::string request = std::string("POST ") + http::kResetTarget +
                              " HTTP/1.1\r\nAuthorization: Basic QkNERUZHSElKSw==\r\nContent-Length: 32\r\n\r\n" +
                              http::kResetBody;
  for (size_t piece : {1u, 5u, 4096u}) {
    size_t used = 0;
    auto r = read(request + "GET / HTTP/1.1\r\n\r\n", piece, &used);
    ASSERT_EQ(r->state(), State::kComplete) << piece;
    EXPECT_EQ(used, request.size());  // the next request is left alone
    EXPECT_EQ(r->request().body, http::kResetBody);
    const http::Reply reply = http::answer(r->request());
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.resetInterface);
    EXPECT_EQ(reply.bytes.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  }
  // Field names in any case, bare LF line ends.
  auto lf = read(
      "POST /server/resetok.htm+generr.htm HTTP/1.1\nauthorization:   Basic QkNERUZHSElKSw==  \n"
      "content-length: 32\n\n%7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2",
      64);
  ASSERT_EQ(lf->state(), State::kComplete);
  EXPECT_EQ(http::answer(lf->request()).status, 200);
  // Another login set for the interface.
  EXPECT_EQ(http::answer(lf->request(), "dXNlcjpwYXNz").status, 401);

  struct Bad {
    std::string text;
    int status;
  };
  const Bad bad[] = {
      {"POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", 400},
      {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
      {"GET / HTTP/2.0\r\n\r\n", 505},
      {"GET /  HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nno colon\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\n folded: x\r\n\r\n", 400},
      {"GET / HTTX/1.1\r\n\r\n", 400},
      {"\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nX: " + std::string(9000, 'a'), 431},
      {"POST / HTTP/1.1\r\nContent-Length: 4097\r\n\r\n", 413},
  };
  for (const auto &b : bad) {
    auto r = read(b.text, 13);
    EXPECT_EQ(r->state(), State::kBad) << b.text.substr(0, 60);
    EXPECT_EQ(r->badStatus(), b.status) << b.text.substr(0, 60);
    const http::Reply reply = http::answerBad(r->badStatus());
    EXPECT_EQ(reply.bytes.substr(0, 12), "HTTP/1.1 " + std::to_string(b.status));
    EXPECT_FALSE(reply.resetInterface);
  }
}

// Random damage to well-formed requests, from fixed starting values so that
// a failure repeats: the parsers neither crash nor answer what they must not.
TEST(NetFuzz, DamagedRequestsStayWithinBounds) {
  const std::string probe = getRequest({kSysDescr, kSysName});
  const std::string request = std::string("POST ") + http::kResetTarget +
                              " HTTP/1.1\r\nAuthorization: Basic QkNERUZHSElKSw==\r\nContent-Length: 32\r\n\r\n" +
                              http::kResetBody;
  for (uint32_t start = 1; start <= 3000; ++start) {
    std::mt19937 rng(start);
    std::string s = start % 2 ? probe : request;
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      const size_t at = rng() % s.size();
      switch (rng() % 4) {
        case 0: s[at] = static_cast<char>(rng()); break;
        case 1: s.erase(at, 1 + rng() % 8); break;
        case 2: s.insert(at, std::string(1 + rng() % 4, static_cast<char>(rng()))); break;
        case 3: s.resize(at); break;
      }
    }
    std::string what;
    const auto *d = reinterpret_cast<const uint8_t *>(s.data());
    ASSERT_TRUE(fuzz::runSnmp(d, s.size(), &what)) << start << ": " << what;
    ASSERT_TRUE(fuzz::runHttp(d, s.size(), &what)) << start << ": " << what;
  }
}
