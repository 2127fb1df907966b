// The monitor's entry point and its table as the spooler receives them.
#include "netmon/entry_points.h"
#include "netmon/monitor.h"
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

// The network set of the message library comes with the network driver as
// "cardresnet.dll"; an older installation's copy in the x86 driver folder is
// read only without it.  Number 51 tells the two sets apart.
TEST_F(NetMonitorTest, ReadsTheNetworkTextsBesideTheDriverBeforeTheOlderPlace) {
  const std::u16string x86Copy = u"C:\\Windows\\system32\\spool\\drivers\\W32X86\\3\\cardres.dll";
  ASSERT_TRUE(winsim::copyToDrive(CARDRES_USB_DLL, x86Copy));
  ASSERT_TRUE(winsim::copyToDrive(CARDRES_NET_DLL, u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\cardresnet.dll"));
  Module &m = module();
  InitializeCriticalSection(&m.lock);
  m.lockReady = true;
  loadCompanions();
  WCHAR text[1024] = {};
  if (m.cardres) LoadStringW(m.cardres, 51, text, 1024);
  freeCompanions();
  m.lockReady = false;
  DeleteCriticalSection(&m.lock);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(text)),
            u"\nMagnetic Encoder is not responding!\nPress OK to cancel the current job.");
}

}  // namespace
}  // namespace card::net::test
