#include "emulator/include/cardemu/http_endpoint.h"

#include <algorithm>
#include <cctype>

namespace cardemu::http {

namespace {

bool sameText(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool isToken(const std::string &s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (c <= 0x20 || c >= 0x7F || std::string("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) != std::string::npos)
      return false;
  return true;
}

const char *reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
  }
}

Reply reply(int status, const std::string &extraFields, const std::string &html) {
  Reply r;
  r.status = status;
  r.bytes = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n" + extraFields +
            "Content-Type: text/html\r\nContent-Length: " + std::to_string(html.size()) +
            "\r\nConnection: close\r\n\r\n" + html;
  return r;
}

std::string page(const std::string &text) { return "<html><body>" + text + "</body></html>\r\n"; }

}  // namespace

const std::string *Request::field(const std::string &name) const {
  for (const auto &f : fields)
    if (sameText(f.first, name)) return &f.second;
  return nullptr;
}

RequestReader::State RequestReader::fail(int status) {
  badStatus_ = status;
  return state_ = State::kBad;
}

RequestReader::State RequestReader::feed(const uint8_t *bytes, size_t count, size_t *used) {
  size_t at = 0;
  while (state_ == State::kNeedMore && at < count) {
    if (inBody_) {
      const size_t n = std::min(bodyLength_ - request_.body.size(), count - at);
      request_.body.append(reinterpret_cast<const char *>(bytes + at), n);
      at += n;
    } else {
      header_.push_back(static_cast<char>(bytes[at++]));
      const size_t n = header_.size();
      const bool end = (n >= 4 && header_.compare(n - 4, 4, "\r\n\r\n") == 0) ||
                       (n >= 2 && header_.compare(n - 2, 2, "\n\n") == 0) ||
                       (n >= 3 && header_.compare(n - 3, 3, "\n\r\n") == 0);
      if (!end) {
        if (n > kMaxHeader) fail(431);
        continue;
      }
      if (!parseHeader()) break;
      inBody_ = true;
    }
    if (inBody_ && request_.body.size() == bodyLength_) state_ = State::kComplete;
  }
  if (used) *used = at;
  return state_;
}

bool RequestReader::parseHeader() {
  // Lines end in CRLF (a bare LF is taken too); the header's last line is empty.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < header_.size()) {
    size_t lf = header_.find('\n', start);
    if (lf == std::string::npos) lf = header_.size();
    std::string line = header_.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = lf + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) return fail(400), false;

  const std::string &first = lines[0];
  const size_t s1 = first.find(' ');
  const size_t s2 = s1 == std::string::npos ? s1 : first.find(' ', s1 + 1);
  if (s2 == std::string::npos || first.find(' ', s2 + 1) != std::string::npos) return fail(400), false;
  request_.method = first.substr(0, s1);
  request_.target = first.substr(s1 + 1, s2 - s1 - 1);
  request_.version = first.substr(s2 + 1);
  if (!isToken(request_.method) || request_.target.empty()) return fail(400), false;
  if (request_.version.size() != 8 || request_.version.compare(0, 5, "HTTP/") != 0 ||
      !std::isdigit(static_cast<unsigned char>(request_.version[5])) || request_.version[6] != '.' ||
      !std::isdigit(static_cast<unsigned char>(request_.version[7])))
    return fail(400), false;
  if (request_.version[5] != '1') return fail(505), false;

  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(':');
    if (colon == std::string::npos) return fail(400), false;
    const std::string name = lines[i].substr(0, colon);
    if (!isToken(name)) return fail(400), false;  // no space before the colon, no folded lines
    request_.fields.emplace_back(name, trim(lines[i].substr(colon + 1)));
  }

  if (request_.field("Transfer-Encoding")) return fail(501), false;
  bool haveLength = false;
  for (const auto &f : request_.fields) {
    if (!sameText(f.first, "Content-Length")) continue;
    const std::string &v = f.second;
    if (v.empty() || v.size() > 9 || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return fail(400), false;
    const size_t n = std::stoul(v);
    if (haveLength && n != bodyLength_) return fail(400), false;  // two different lengths
    haveLength = true;
    bodyLength_ = n;
  }
  if (bodyLength_ > kMaxBody) return fail(413), false;
  return true;
}

Reply answer(const Request &request, const std::string &credential) {
  if (request.target != kResetTarget) return reply(404, "", page("Not Found"));
  if (request.method != "POST") return reply(405, "Allow: POST\r\n", page("Method Not Allowed"));
  const std::string *auth = request.field("Authorization");
  bool authorised = false;
  if (auth) {
    const size_t space = auth->find(' ');
    authorised = space != std::string::npos && sameText(auth->substr(0, space), "Basic") &&
                 trim(auth->substr(space + 1)) == credential;
  }
  if (!authorised) return reply(401, "WWW-Authenticate: Basic realm=\"printer\"\r\n", page("Unauthorized"));
  if (request.body != kResetBody) return reply(400, "", page("Bad Request"));
  Reply r = reply(200, "", page("The network interface restarts."));
  r.resetInterface = true;
  return r;
}

Reply answerBad(int status) { return reply(status, "", page(reason(status))); }

}  // namespace cardemu::http
