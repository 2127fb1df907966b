// The monitor's entry point and its table as the spooler receives them.
#include "netmon/tests/glue/net_fixture.h"

namespace card::net::test {
namespace {

TEST_F(NetMonitorTest, InitialisesWithTheTableOfAWindows2000Spooler) {
  install();
  // The spooler of Windows 2000 and later reads the table up to Shutdown.
  EXPECT_EQ(table_->cbSize, MONITOR2_SIZE_WIN2K);
  EXPECT_NE(monitor_, nullptr);
  // The port functions of a port monitor are left to the one underneath.
  EXPECT_EQ(table_->pfnEnumPorts, nullptr);
  EXPECT_EQ(table_->pfnOpenPort, nullptr);
  EXPECT_EQ(table_->pfnAddPort, nullptr);
  EXPECT_EQ(table_->pfnConfigurePort, nullptr);
  EXPECT_EQ(table_->pfnDeletePort, nullptr);
  for (const void *f :
       {reinterpret_cast<const void *>(table_->pfnOpenPortEx), reinterpret_cast<const void *>(table_->pfnStartDocPort),
        reinterpret_cast<const void *>(table_->pfnWritePort), reinterpret_cast<const void *>(table_->pfnEndDocPort),
        reinterpret_cast<const void *>(table_->pfnClosePort),
        reinterpret_cast<const void *>(table_->pfnGetPrinterDataFromPort),
        reinterpret_cast<const void *>(table_->pfnAddPortEx), reinterpret_cast<const void *>(table_->pfnXcvOpenPort),
        reinterpret_cast<const void *>(table_->pfnXcvDataPort), reinterpret_cast<const void *>(table_->pfnXcvClosePort),
        reinterpret_cast<const void *>(table_->pfnShutdown)})
    EXPECT_NE(f, nullptr);
}

}  // namespace
}  // namespace card::net::test
