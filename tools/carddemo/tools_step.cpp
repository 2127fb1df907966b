#include "tools/carddemo/tools_step.h"

#include <winsim/testing.h>

#include <cstdint>
#include <fstream>

#include "tools/carddemo/machine.h"
#include "tools/cardtool/cardtool.h"

namespace carddemo {

namespace {

// A printer firmware image of 64 KiB: the checksum byte at 14, 0xFF at 15
// (a printer image, not a laminator's), the rest a counting pattern.
std::string firmwareImage() {
  std::string image(64 * 1024, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = char(i * 7 + (i >> 8));
  image[14] = char(0x5C);
  image[15] = char(0xFF);
  return image;
}

std::string indented(const std::string &text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size() - 1;
    out += "    " + text.substr(at, nl + 1 - at);
    at = nl + 1;
  }
  return out;
}

bool putMachineFile(const std::u16string &path, const std::string &bytes, std::string &problem) {
  const fs::path host = winsim::hostPath(path);
  std::error_code ec;
  fs::create_directories(host.parent_path(), ec);
  std::ofstream f(host, std::ios::binary);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  if (f) return true;
  problem = "cannot write " + host.string();
  return false;
}

}  // namespace

int runCardtool(const std::vector<std::u16string> &args, std::string &said) {
  // cardtool's output, collected for the caller.
  class Collect : public cardtools::Console {
   public:
    explicit Collect(std::string &text) : text_(text) {}
    void write(bool, LPCWSTR text) override { text_ += winsim::toUtf8(reinterpret_cast<const char16_t *>(text)); }

   private:
    std::string &text_;
  };
  std::vector<LPCWSTR> argv;
  for (const std::u16string &a : args) argv.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  Collect out(said);
  return cardtool::cardToolMain(int(argv.size()), argv.data(), out);
}

bool runPrinterTools(const char16_t *printerName, const Operator &person, ToolsRun &run, std::string &problem) {
  const std::u16string commands = u"C:\\Users\\Public\\Documents\\cleaning.txt";
  const std::u16string firmware = u"C:\\Users\\Public\\Documents\\printer_fw.bin";
  if (!putMachineFile(commands, "RESET\r\nCLEAN\r\n", problem) || !putMachineFile(firmware, firmwareImage(), problem))
    return false;
  const std::vector<std::vector<std::u16string>> calls = {
      {u"cmd", u"\\eV\\r"},
      {u"send", commands},
      {u"firmware", firmware},
  };
  run.ok = true;
  for (const auto &call : calls) {
    std::vector<std::u16string> args = {u"cardtool", printerName};
    args.insert(args.end(), call.begin(), call.end());
    std::string line = "cardtool \"" + winsim::toUtf8(printerName) + "\"";
    for (size_t i = 2; i < args.size(); ++i) line += " " + winsim::toUtf8(args[i]);
    const bool cleaning = call[0] == u"send";
    if (cleaning && person.takeRibbonOut) person.takeRibbonOut();
    std::string said;
    const int status = runCardtool(args, said);
    if (cleaning && person.putRibbonBack) person.putRibbonBack();
    run.ok = run.ok && status == cardtool::kExitDone;
    if (status) said += "(exit status " + std::to_string(status) + ")\n";
    run.said.push_back(line + "\n" + indented(said));
  }
  // The operator's files go once the tools are done with them.
  DeleteFileW(reinterpret_cast<LPCWSTR>(commands.c_str()));
  DeleteFileW(reinterpret_cast<LPCWSTR>(firmware.c_str()));
  return true;
}

}  // namespace carddemo
