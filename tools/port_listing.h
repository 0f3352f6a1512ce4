// qelt-update --list-ports: the system's serial ports, then the device paths the
// settings file or the command line name that exist but that the system does not
// list (a pseudo-terminal, a port the system's list misses), one line or one JSON
// object each. Plain C++; the listing and the file check are handed in.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/port_list.h"

class TMainFich;

// A port to list and what named it.
struct TListedPort {
  TSerialPortInfo Info;
  std::string Source;  // "system", "settings" or "option"
};

// A device path known to the program, with what named it ("settings": a COMn_DEVICE
// or COM_PORT line of "Updater.prm"; "option": --port) and a note for its
// description ("COM3_DEVICE in Updater.prm").
struct TKnownPort {
  std::string Path;
  std::string Source;
  std::string Note;
};

// The device paths the loaded settings name (COM1_DEVICE..COM9_DEVICE, then a
// COM_PORT device path) and `option_port` when it is a device path (--port).
std::vector<TKnownPort> KnownPorts(const TMainFich& core, const std::string& option_port);

// The system's ports in its order, then each known path that `exists` and is not
// already listed, in the order given (each path once).
std::vector<TListedPort> PortsToList(const std::vector<TSerialPortInfo>& found,
                                     const std::vector<TKnownPort>& known,
                                     const std::function<bool(const std::string&)>& exists);

// "/dev/ttyUSB0\tttyUSB0\tFT232R USB UART\tFTDI\t0403:6001\tA50285BI": path, name,
// description, maker, USB vendor:product and serial number, "-" where unknown.
std::string PortLine(const TListedPort& port);
// {"path":...,"name":...,"description":...,"manufacturer":...,"vendor_id":...,
// "product_id":...,"serial_number":...,"source":...} on one line.
std::string PortJson(const TListedPort& port);
// Every port as lines (or JSON lines), each ended by a line feed.
std::string PortListing(const std::vector<TListedPort>& ports, bool json);
