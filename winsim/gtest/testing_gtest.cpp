// The listener of winsim_gtest: a test starts with an empty script and fails
// when the code under test showed a message that nobody scripted.
#include <winsim/testing_gtest.h>

#include <gtest/gtest.h>

namespace winsim {

namespace {

const char *endName(MessageEnd end) {
  switch (end) {
    case MessageEnd::Unscripted: return "shown without a script";
    case MessageEnd::ImpossibleAnswer: return "scripted with an answer that is no button of the box";
    case MessageEnd::HeldTooLong: return "left open until the hold limit";
    case MessageEnd::NoPayload: return "sent without a payload";
    default: return "ended";
  }
}

class UserListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo &) override {
    clearUserScript();
    clearShownMessages();
    takeMessageFaults();  // left by the test before, which has been judged
    takeDialogFaults();
    takeFileDialogFaults();
    clearSheetScripts();
    clearShownSheets();
    takeSheetFaults();
  }
  void OnTestEnd(const ::testing::TestInfo &) override {
    for (const std::string &fault : describeMessageFaults()) ADD_FAILURE() << fault;
  }
};

// Added once the tests run, after GoogleTest's own printer, so that a fault
// is part of the test's result when the printer reports it.
class UserEnvironment : public ::testing::Environment {
  void SetUp() override {
    if (!added_) ::testing::UnitTest::GetInstance()->listeners().Append(new UserListener);
    added_ = true;
  }
  bool added_ = false;
};

[[maybe_unused]] ::testing::Environment *const kEnvironment = ::testing::AddGlobalTestEnvironment(new UserEnvironment);

}  // namespace

std::vector<std::string> describeMessageFaults() {
  std::vector<std::string> out;
  for (const ShownMessage &m : takeMessageFaults()) {
    std::string line = m.channel == UserChannel::Notification ? "notification" : "message box";
    line += " \"" + toUtf8(m.caption) + "\": \"" + toUtf8(m.text) + "\" " + endName(m.end);
    if (m.channel == UserChannel::Notification && m.textFromResource)
      line += " (text resource " + std::to_string(m.textResource) + ")";
    out.push_back(std::move(line));
  }
  for (const ShownMenu &m : takeMenuFaults()) {
    std::string line = "shortcut menu of";
    for (const MenuItemRecord &i : m.items)
      if (!(i.flags & MF_SEPARATOR)) line += " \"" + toUtf8(i.text) + "\"";
    line += m.end == MenuEnd::DisabledItem ? " scripted to pick a disabled item" : " shown without a script";
    out.push_back(std::move(line));
  }
  for (const ShownFileDialog &d : takeFileDialogFaults()) {
    std::string line = std::string(d.save ? "save" : "open") + " file dialog \"" + toUtf8(d.title) + "\"";
    line += ": " + toUtf8(d.fault) + ", cancelled";
    out.push_back(std::move(line));
  }
  for (const ShownDialog &d : takeDialogFaults()) {
    std::string line = "dialog \"" + toUtf8(d.title) + "\"";
    if (d.templateId) line += " (template " + std::to_string(d.templateId) + ")";
    line += ": " + toUtf8(d.fault) + ", closed as cancelled";
    out.push_back(std::move(line));
  }
  for (const ShownSheet &s : takeSheetFaults())
    out.push_back("property sheet \"" + toUtf8(s.title) + "\": " + toUtf8(s.fault) + ", closed as cancelled");
  return out;
}

}  // namespace winsim
