// Port administration helpers shared by the transceive commands, AddPortEx
// and the serial time-outs: whether the system lists a port, the monitor's
// "Ports" values, and the serial or parallel device behind a port entry.
#pragma once

#include <windows.h>

#include "netmon/monitor.h"

namespace card::net {

// Whether any port monitor of the system lists `name` (compared without
// case), through the router's EnumPortsW.  0, or the error of the lookup.
DWORD systemListsPort(LPCWSTR name, bool &listed);
// Lets the router library go again (library unload).
void releasePortLookup();

// The monitor's "Ports" value of a port, through the spooler's registry
// callbacks: written as an empty REG_SZ, or deleted.  Registry error codes.
LONG writePortsValue(const Monitor &m, LPCWSTR portName);
LONG deletePortsValue(const Monitor &m, LPCWSTR portName);
// Its text (a serial port's line settings, when an administrator gave
// some); false when there is no such value or it is no text.
bool readPortsValue(const Monitor &m, LPCWSTR portName, WString &text);

// "TransmissionRetryTimeout" of the system, in seconds: the parallel write
// time-out and "GetTransmissionRetryTimeout"'s answer; 45 when missing or
// unreadable.
DWORD transmissionRetryTimeout();
// Writes it from decimal text; 0 or a Windows error code
// (ERROR_INVALID_PARAMETER for text that is no number of seconds).
DWORD setTransmissionRetryTimeout(const WString &seconds);

// Whether a job path holds the entry: such an entry is the spooler's port
// handle and must outlive every administrative call.
bool inUseByJob(const PortEntry &entry);

// "COM<n>:" and "LPT<n>:" style names, compared without case.
bool isSerialPortName(const WString &name);
bool isParallelPortName(const WString &name);

// The serial or parallel device of a port entry, opened under its
// "NONSPOOLED_" name on the first use and closed at the last release.
// 0 or a Windows error code.
DWORD openPortDevice(PortEntry &entry);
void releasePortDevice(PortEntry &entry);

// The system's default line configuration of a serial device ("COM1"):
// "SetDefaultCommConfig" and "GetDefaultCommConfig".  Windows error codes;
// `needed` is the size the output needs.
DWORD setDefaultCommConfig(const WString &device, const BYTE *input, DWORD inputSize);
DWORD getDefaultCommConfig(const WString &device, BYTE *output, DWORD outputSize, DWORD &needed);

}  // namespace card::net
