// A port for the request, capture and ribbon tests: it records what the
// code under test sends and shows, and answers from the test's script.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "usbmon/port_services.h"

namespace card::usb::testing {

struct Shown {
  uint32_t message;
  uint32_t caption;
  DWORD systemError;
};

struct ScriptedRead {
  long result;  // bytes, 0 none, -1 a failed read
  std::string bytes;
};

class FakePort;

class FakeTask : public MessageTask {
 public:
  explicit FakeTask(FakePort &port) : port_(port) {}
  ~FakeTask() override;
  bool waitDismissed(DWORD ms) override;
  void close() override { ++closes; }
  int closes = 0;

 private:
  FakePort &port_;
};

class FakePort : public PortServices {
 public:
  std::u16string printerName() const override { return name; }
  void setPrinterName(std::u16string_view n) override { name = std::u16string(n); }
  bool newGeneration() const override { return generation; }

  bool writeRaw(const uint8_t *data, size_t size) override {
    if (writesBeforeFailure == 0) return false;
    if (writesBeforeFailure > 0) --writesBeforeFailure;
    writes.emplace_back(reinterpret_cast<const char *>(data), size);
    return true;
  }
  long readRaw(uint8_t *out, size_t capacity) override {
    ++readCalls;
    if (reads.empty()) return 0;
    ScriptedRead r = reads.front();
    reads.pop_front();
    if (r.result <= 0) return r.result;
    size_t n = std::min(capacity, r.bytes.size());
    std::copy(r.bytes.begin(), r.bytes.begin() + long(n), out);
    return long(n);
  }
  bool query(std::string_view command, uint8_t *reply, size_t capacity, size_t &length) override {
    queries.emplace_back(command);
    length = 0;
    auto it = answers.find(std::string(command));
    if (it == answers.end()) return false;
    length = std::min(capacity, it->second.size());
    std::copy(it->second.begin(), it->second.begin() + long(length), reply);
    return length > 0;
  }
  bool carryOutRequest(LPCWSTR valueName) override {
    requests.emplace_back(valueName);
    return onRequest ? onRequest(valueName) : true;
  }
  void setCurrentMessage(uint32_t message) override { currentMessage = message; }
  bool errorWait() override {
    ++errorWaits;
    return errorWaitResult;
  }
  void inform(uint32_t message, uint32_t caption, DWORD systemError) override {
    shown.push_back({message, caption, systemError});
  }
  std::unique_ptr<MessageTask> startMessageTask(uint32_t message) override {
    taskMessages.push_back(message);
    if (!taskStarts) return nullptr;
    return std::make_unique<FakeTask>(*this);
  }
  void startLowRibbonAlert() override { ++lowRibbonAlerts; }
  void pause(DWORD ms) override { paused += ms; }

  // The bytes of every write, in one string.
  std::string written() const {
    std::string all;
    for (const auto &w : writes) all += w;
    return all;
  }

  std::u16string name = u"Card Printer";
  bool generation = true;
  long writesBeforeFailure = -1;  // -1: writes never fail
  std::vector<std::string> writes;
  std::deque<ScriptedRead> reads;
  int readCalls = 0;
  std::map<std::string, std::string> answers;  // query command -> reply
  std::vector<std::string> queries;
  std::vector<std::u16string> requests;
  std::function<bool(LPCWSTR)> onRequest;
  uint32_t currentMessage = 0;
  bool errorWaitResult = true;
  int errorWaits = 0;
  std::vector<Shown> shown;
  bool taskStarts = true;
  std::vector<uint32_t> taskMessages;
  // The no-ribbon message: each wait asks this (with the number of the
  // wait) whether the user dismissed it; it may change the answers too.
  std::function<bool(int)> onWait;
  int waits = 0;
  DWORD waitedMs = 0;
  int tasksEnded = 0;
  int lowRibbonAlerts = 0;
  DWORD paused = 0;
};

inline FakeTask::~FakeTask() { ++port_.tasksEnded; }

inline bool FakeTask::waitDismissed(DWORD ms) {
  port_.waitedMs += ms;
  ++port_.waits;
  if (port_.waits > 1000) return true;  // a test never waits without end
  return port_.onWait ? port_.onWait(port_.waits) : false;
}

}  // namespace card::usb::testing
