// The model code the network monitor reads from the printer's model text,
// and the last command of the abort clean-up sequence it chooses.
#pragma once

#include <string_view>

namespace card::net {

// The three characters after the first character of the model text; empty
// for a shorter text, and for a text beginning "VarnelPFC ", which carries
// none of the codes.
std::string_view modelCode(std::string_view modelText);

// "\eDMSG READY\r" for the models CA1, CA2 and CA3, "\eSLAVE\r" for every
// other model.
std::string_view abortEndCommand(std::string_view modelText);

}  // namespace card::net
