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

class FakePort : public PortServices {
 public:
  std::u16string printerName() const override { return name; }
  void setPrinterName(std::u16string_view n) override { name = std::u16string(n); }
  bool newGeneration() const override { return generation; }
  bool writeRaw(const uint8_t *data, size_t size) override {
    if (writesLeft-- == 0) return false;
    writes.emplace_back(reinterpret_cast<const char *>(data), size);
    return true;
  }
  // Scripted reads: the bytes, or "" for none; a read past the script or
  // marked failed (readFailures) returns -1.
  long readRaw(uint8_t *out, size_t capacity) override {
    ++readCalls;
    if (readFailures > 0) return --readFailures, -1;
    if (reads.empty()) return 0;
    std::string r = reads.front();
    reads.pop_front();
    size_t n = std::min(capacity, r.size());
    std::copy(r.begin(), r.begin() + long(n), out);
    return long(n);
  }
  bool query(std::string_view command, uint8_t *reply, size_t capacity, size_t &length) override {
    queries.emplace_back(command);
    auto it = answers.find(std::string(command));
    length = it == answers.end() ? 0 : std::min(capacity, it->second.size());
    if (length) std::copy(it->second.begin(), it->second.begin() + long(length), reply);
    return length > 0;
  }
  bool carryOutRequest(LPCWSTR valueName) override {
    requests.emplace_back(valueName);
    return onRequest ? onRequest() : true;
  }
  void setCurrentMessage(uint32_t message) override { currentMessage = message; }
  bool errorWait() override { return ++errorWaits, errorWaitResult; }
  void inform(uint32_t message, uint32_t, DWORD systemError) override {
    shown.push_back(message);
    lastSystemError = systemError;
  }
  std::unique_ptr<MessageTask> startMessageTask(uint32_t message) override {
    taskMessages.push_back(message);
    return taskStarts ? std::make_unique<Task>(*this) : nullptr;
  }
  void startLowRibbonAlert() override { ++lowRibbonAlerts; }
  void pause(DWORD ms) override { paused += ms; }

  std::string written() const {
    std::string all;
    for (const auto &w : writes) all += w;
    return all;
  }

  std::u16string name = u"Card Printer";
  bool generation = true;
  long writesLeft = -1;  // writes before one fails; negative: none fails
  std::vector<std::string> writes;
  std::deque<std::string> reads;
  int readFailures = 0;
  int readCalls = 0;
  std::map<std::string, std::string> answers;  // query command -> reply
  std::vector<std::string> queries;
  std::vector<std::u16string> requests;
  std::function<bool()> onRequest;
  uint32_t currentMessage = 0;
  bool errorWaitResult = true;
  int errorWaits = 0;
  std::vector<uint32_t> shown;
  DWORD lastSystemError = 0;
  bool taskStarts = true;
  std::vector<uint32_t> taskMessages;
  // Each wait on the no-ribbon message asks this whether the user dismissed
  // it (with the wait's number); it may change the answers too.
  std::function<bool(int)> onWait;
  int waits = 0;
  int tasksEnded = 0;
  int lowRibbonAlerts = 0;
  DWORD paused = 0;

 private:
  struct Task : MessageTask {
    explicit Task(FakePort &p) : port(p) {}
    ~Task() override { ++port.tasksEnded; }
    bool waitDismissed(DWORD ms) override {
      port.paused += ms;
      // A test never waits without end.
      return ++port.waits > 100 || (port.onWait && port.onWait(port.waits));
    }
    void close() override {}
    FakePort &port;
  };
};

}  // namespace card::usb::testing
