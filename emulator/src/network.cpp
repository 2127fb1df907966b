#include "emulator/include/cardemu/network.h"

#include <algorithm>

namespace cardemu {

long DataChannel::receive(const uint8_t *bytes, size_t count) {
  if (broken_) return -1;
  size_t used = 0;
  while (used < count) {
    if (lengthBytes_ < 4) {
      length_ = (length_ << 8) | bytes[used++];
      if (++lengthBytes_ == 4) {
        if (length_ > kMaxMessage) {
          broken_ = true;
          return -1;
        }
        frame_.length = length_;
        frame_.head.clear();
        if (length_ == 0) frameDone();
      }
      continue;
    }
    const size_t want = std::min<size_t>(length_, count - used);
    const long taken = printer_.write(bytes + used, want);
    if (taken < 0) {
      broken_ = true;
      return -1;
    }
    if (onFrame_ && frame_.head.size() < DataFrame::kHeadBytes) {
      const size_t keep = std::min<size_t>(DataFrame::kHeadBytes - frame_.head.size(), static_cast<size_t>(taken));
      frame_.head.insert(frame_.head.end(), bytes + used, bytes + used + keep);
    }
    used += static_cast<size_t>(taken);
    length_ -= static_cast<uint32_t>(taken);
    if (length_ == 0) frameDone();
    if (static_cast<size_t>(taken) < want) break;  // the printer pushes back
  }
  return static_cast<long>(used);
}

void DataChannel::frameDone() {
  lengthBytes_ = 0;
  if (onFrame_) onFrame_(frame_);
}

std::vector<uint8_t> StatusChannel::receive(const uint8_t *bytes, size_t count) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) {
    request_[have_++] = static_cast<char>(bytes[i]);
    if (have_ < 3) continue;
    have_ = 0;
    const std::string r(request_, 3);
    if (r == "000") {
      const auto reply = printer_.statusPollReply();
      out.insert(out.end(), reply.begin(), reply.end());
    } else if (r == "111") {
      resetArmed_ = true;
    } else if (r == "222" && resetArmed_) {
      resetArmed_ = false;
      printer_.softReset();
    }
  }
  return out;
}

}  // namespace cardemu
