// The serial ports a system offers, as the operator needs to recognise them: the
// Port menu's detected ports and qelt-update --list-ports. The listing itself sits
// behind TPortLister (Qt's serial port information in qt_port_lister.*, a fake in
// link/testing); what is done with the list is plain C++. Single-threaded.
#pragma once

#include <string>
#include <vector>

// One serial port. Text fields are empty when the system does not say.
struct TSerialPortInfo {
  std::string Name;          // "ttyUSB0", "COM4"
  std::string Path;          // what the port is opened by: "/dev/ttyUSB0", "COM4"
  std::string Description;   // "FT232R USB UART"
  std::string Manufacturer;  // "FTDI"
  std::string VendorId;      // USB vendor, four lower-case hexadecimal digits: "0403"
  std::string ProductId;     // USB product: "6001"
  std::string SerialNumber;  // the adapter's own serial number
  bool operator==(const TSerialPortInfo&) const = default;
};

class TPortLister {
 public:
  virtual ~TPortLister() = default;
  // The serial ports the system has now, in the system's order. Pseudo-terminals
  // are not among them.
  virtual std::vector<TSerialPortInfo> List() = 0;
};
