// TQtPortLister: the system's serial ports through Qt's QSerialPortInfo. Used by
// the window's Port menu and qelt-update --list-ports. Any thread with a Qt core
// application; no state.
#pragma once

#include "link/port_list.h"

class TQtPortLister : public TPortLister {
 public:
  std::vector<TSerialPortInfo> List() override;
};
