// A port lister whose answer the test sets; counts how often it was asked (the
// window asks each time its Port menu opens). Single-threaded; header-only.
#pragma once

#include "link/port_list.h"

class TFakePortLister : public TPortLister {
 public:
  std::vector<TSerialPortInfo> List() override {
    ++calls;
    return ports;
  }
  std::vector<TSerialPortInfo> ports;  // the answer
  int calls = 0;
};
