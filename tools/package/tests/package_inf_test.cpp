// The package's INF files read back as Windows' INF reader reads them: every
// section they name is there, every file they copy is one the layout step
// puts beside them, the models are the package's drivers, and the USB
// hardware IDs are the ones the uninstaller removes.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "setup/shared/inf_marker.h"
#include "setup/shared/package_names.h"
#include "setup/shared/usb_hardware_ids.h"

namespace {

std::set<std::u16string> upperSet(const std::string &commaList) {
  std::set<std::u16string> out;
  std::stringstream in(commaList);
  for (std::string item; std::getline(in, item, ',');) {
    std::u16string u;
    for (char c : item) u += char16_t(std::toupper(static_cast<unsigned char>(c)));
    out.insert(u);
  }
  return out;
}

std::u16string upper(std::u16string s) {
  for (auto &c : s)
    if (c < 0x80) c = char16_t(std::toupper(int(c)));
  return s;
}

// The value of `key` in a section: its first field.
std::u16string value(const winsim::InfSection &section, const std::u16string &key) {
  for (const auto &line : section.lines)
    if (line.hasKey && upper(line.key) == upper(key) && !line.fields.empty()) return line.fields[0];
  return {};
}

std::vector<std::u16string> values(const winsim::InfSection &section, const std::u16string &key) {
  for (const auto &line : section.lines)
    if (line.hasKey && upper(line.key) == upper(key)) return line.fields;
  return {};
}

class PackageInf : public ::testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    inf_ = winsim::readInf(std::string(CARD_PACKAGE_DIR) + "/" + GetParam());
    ASSERT_TRUE(inf_.ok) << "error " << inf_.error << " at line " << inf_.errorLine;
  }
  const winsim::InfSection &section(const std::u16string &name) {
    const auto *s = inf_.section(name);
    if (!s) {
      ADD_FAILURE() << "no section [" << winsim::toUtf8(name) << "]";
      static const winsim::InfSection none;
      return none;
    }
    return *s;
  }
  // The install sections of the models, for every decoration [Manufacturer] names.
  std::vector<std::pair<std::u16string, std::vector<std::u16string>>> models() {
    std::vector<std::pair<std::u16string, std::vector<std::u16string>>> out;
    for (const auto &maker : section(u"Manufacturer").lines) {
      EXPECT_GE(maker.fields.size(), 2u);
      for (size_t d = 1; d < maker.fields.size(); ++d)
        for (const auto &model : section(maker.fields[0] + u"." + maker.fields[d]).lines)
          out.push_back({model.key, model.fields});
    }
    return out;
  }
  winsim::InfText inf_;
};

TEST_P(PackageInf, VersionAndTheUninstallersMarker) {
  const auto &version = section(u"Version");
  EXPECT_EQ(value(version, u"Signature"), u"$Windows NT$");
  EXPECT_EQ(value(version, u"Class"), u"Printer");
  EXPECT_EQ(upper(value(version, u"ClassGUID")), u"{4D36E979-E325-11CE-BFC1-08002BE10318}");
  EXPECT_FALSE(value(version, u"CatalogFile").empty());
  EXPECT_FALSE(value(version, u"DriverVer").empty());
  const auto &marker = section(std::u16string(card::setup::kMarkerSection));
  ASSERT_FALSE(marker.lines.empty());
  std::u16string first;
  for (const auto &f : marker.lines[0].fields) first += f;
  EXPECT_TRUE(card::setup::isPackageMarkerLine(first));
  // Package-aware on both architectures.
  EXPECT_EQ(upper(value(section(u"PrinterPackageInstallation.amd64"), u"PackageAware")), u"TRUE");
  EXPECT_EQ(upper(value(section(u"PrinterPackageInstallation.x86"), u"PackageAware")), u"TRUE");
}

TEST_P(PackageInf, EverySectionNamedIsThereAndEveryFileIsInTheLayout) {
  const std::set<std::u16string> layout = upperSet(PACKAGE_LAYOUT_FILES);
  std::set<std::u16string> sourceFiles;
  for (const auto &line : section(u"SourceDisksFiles").lines) {
    sourceFiles.insert(upper(line.key));
    EXPECT_EQ(layout.count(upper(line.key)), 1u) << winsim::toUtf8(line.key) << " is not in the layout";
  }
  const auto &destinations = section(u"DestinationDirs");
  for (const auto &[name, fields] : models()) {
    ASSERT_FALSE(fields.empty()) << winsim::toUtf8(name);
    const auto &install = section(fields[0]);
    for (const char16_t *key : {u"DriverFile", u"ConfigFile", u"DataFile", u"HelpFile"}) {
      const auto file = upper(value(install, key));
      EXPECT_FALSE(file.empty()) << winsim::toUtf8(key);
      EXPECT_EQ(sourceFiles.count(file), 1u) << winsim::toUtf8(file);
    }
    for (const auto &copy : values(install, u"CopyFiles")) {
      const auto &files = section(copy);
      EXPECT_FALSE(files.lines.empty()) << winsim::toUtf8(copy);
      for (const auto &line : files.lines) {
        const auto file = upper(line.fields.empty() ? line.key : line.fields[0]);
        EXPECT_EQ(sourceFiles.count(file), 1u) << winsim::toUtf8(file) << " has no source";
      }
      EXPECT_TRUE(!value(destinations, copy).empty() || !value(destinations, u"DefaultDestDir").empty());
    }
  }
}

TEST_P(PackageInf, ModelsAreThePackagesDriversWithIdsTheUninstallerKnows) {
  std::set<std::u16string> names;
  for (const auto &[name, fields] : models()) {
    names.insert(name);
    ASSERT_GE(fields.size(), 2u);
    const std::u16string &id = fields[1];
    if (name == card::setup::kNetworkDriver) continue;
    EXPECT_TRUE(card::setup::isPackageHardwareId(id)) << winsim::toUtf8(id);
  }
  for (const auto &name : names)
    EXPECT_NE(card::setup::packageDriverOf(name), card::setup::PackageDriver::None) << winsim::toUtf8(name);
}

INSTANTIATE_TEST_SUITE_P(BothInfs, PackageInf, ::testing::Values("carddrv.inf", "cardnet.inf"));

TEST(PackageInfModels, EveryUsbModelIsThereForBothArchitectures) {
  const auto inf = winsim::readInf(std::string(CARD_PACKAGE_DIR) + "/carddrv.inf");
  ASSERT_TRUE(inf.ok);
  for (const char16_t *decorated : {u"Pellor.NTamd64", u"Pellor.NTx86"}) {
    const auto *models = inf.section(decorated);
    ASSERT_NE(models, nullptr) << winsim::toUtf8(decorated);
    std::set<std::u16string> names;
    for (const auto &line : models->lines) names.insert(line.key);
    for (const auto &driver : card::setup::kUsbDrivers) EXPECT_EQ(names.count(std::u16string(driver)), 1u);
  }
}

}  // namespace
