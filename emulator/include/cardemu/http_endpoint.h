// The web server of the printer's network interface, as byte logic: an
// HTTP/1.1 request read incrementally from a connection, and the interface's
// answer.  The one request it acts on is the interface reset that monitors
// send when the data channel refuses connections:
//
//   POST /server/resetok.htm+generr.htm HTTP/1.1
//   Authorization: Basic <the interface's login>
//   Content-Length: 32
//
//   %7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2
//
// Every answer closes the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cardemu::http {

constexpr char kResetTarget[] = "/server/resetok.htm+generr.htm";
constexpr char kResetBody[] = "%7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2";
// The Base64 text of the interface's login, as the Authorization header carries it.
constexpr char kDefaultCredential[] = "QkNERUZHSElKSw==";

// Bounds on what the interface reads of one request.
constexpr size_t kMaxHeader = 8192;  // request line and header fields
constexpr size_t kMaxBody = 4096;

struct Request {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> fields;  // names as they came, values trimmed
  std::string body;
  // The value of the first field of that name (case-insensitive); null when absent.
  const std::string *field(const std::string &name) const;
};

class RequestReader {
 public:
  enum class State { kNeedMore, kComplete, kBad };
  // Takes bytes from the connection; `used` tells how many were read (the
  // rest belongs to whatever follows the request).
  State feed(const uint8_t *bytes, size_t count, size_t *used = nullptr);
  State state() const { return state_; }
  const Request &request() const { return request_; }
  // The status of the answer to a bad request (400, 413, 431, 501, 505).
  int badStatus() const { return badStatus_; }

 private:
  State fail(int status);
  bool parseHeader();

  State state_ = State::kNeedMore;
  std::string header_;
  size_t bodyLength_ = 0;
  bool inBody_ = false;
  Request request_;
  int badStatus_ = 0;
};

struct Reply {
  int status = 0;
  std::string bytes;            // the whole response
  bool resetInterface = false;  // the reset was accepted: the interface restarts
};

// The interface's answer to a complete request: 200 and the reset for the
// reset request; 404 for another target, 405 for another method on it, 401
// without the login, 400 for another body.
Reply answer(const Request &request, const std::string &credential = kDefaultCredential);
// The answer to a request the reader refused.
Reply answerBad(int status);

}  // namespace cardemu::http
