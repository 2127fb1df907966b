// Writes the package's default settings files (the drivers' data files), as
// the installer library writes them with no options of its own: the same
// bytes for the USB and the network driver.
#include <cstdio>
#include <vector>

#include "setup/instlib/default_settings.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: card_settings_file FILE...\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = card::setup::defaultSettingsFile(nullptr);
  for (int i = 1; i < argc; ++i) {
    std::FILE *f = std::fopen(argv[i], "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) {
      std::fprintf(stderr, "card_settings_file: %s could not be written\n", argv[i]);
      return 1;
    }
    if (!ok) {
      std::fprintf(stderr, "card_settings_file: %s could not be written\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
