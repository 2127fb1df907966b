// The plug-and-play entries of the package's USB printers.
#pragma once

namespace card::setup {

// Every device of every class, present or not, with a hardware ID of the
// package's (usb_hardware_ids.h) is removed through its class installer.  A
// device without hardware IDs is passed over; any other failure to read
// them ends the walk.
void removeUsbPrintDevices();

}  // namespace card::setup
