#include "link/qt_link_factory.h"

#include "link/qt_serial_backend.h"
#include "link/qt_tcp_backend.h"
#include "link/qt_udp_backend.h"

std::unique_ptr<TComDriver> CreateQtComDriver() {
  return std::make_unique<TComDriver>(std::make_unique<TQtSerialBackend>(),
                                      std::make_unique<TQtUdpBackend>(),
                                      std::make_unique<TQtTcpBackend>());
}
