#include "link/qt_port_lister.h"

#include <QSerialPortInfo>

namespace {

std::string HexId(bool known, quint16 id) {
  return known ? QString::asprintf("%04x", id).toStdString() : std::string();
}

}  // namespace

std::vector<TSerialPortInfo> TQtPortLister::List() {
  std::vector<TSerialPortInfo> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    TSerialPortInfo port;
    port.Name = info.portName().toStdString();
#ifdef Q_OS_WIN
    port.Path = port.Name;  // "COM4": the name the port is opened and saved by
#else
    port.Path = info.systemLocation().toStdString();
#endif
    port.Description = info.description().toStdString();
    port.Manufacturer = info.manufacturer().toStdString();
    port.VendorId = HexId(info.hasVendorIdentifier(), info.vendorIdentifier());
    port.ProductId = HexId(info.hasProductIdentifier(), info.productIdentifier());
    port.SerialNumber = info.serialNumber().toStdString();
    ports.push_back(std::move(port));
  }
  return ports;
}
