#include "netmon/model_code.h"

#include "shared/status_commands.h"

namespace card::net {

std::string_view modelCode(std::string_view modelText) {
  if (modelText.size() < 4 || modelText.starts_with("VarnelPFC ")) return {};
  return modelText.substr(1, 3);
}

std::string_view abortEndCommand(std::string_view modelText) {
  const std::string_view code = modelCode(modelText);
  if (code == "CA1" || code == "CA2" || code == "CA3") return status::kCmdReadyMessage;
  return status::kCmdSlave;
}

}  // namespace card::net
