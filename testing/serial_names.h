// Serial device names as this platform writes them, for tests that check what a
// link opens: a device path the link opens as it is, and the device a COM name
// stands for without a mapping. Depends on no layer. Header-only.
#pragma once

#include <string>

// A device path numbered `n`: a pseudo-terminal "/dev/pts/N" on POSIX, a virtual
// null-modem port "\\.\CNCAN" on Windows.
inline std::string TestDevicePath(int n) {
#ifdef _WIN32
  return "\\\\.\\CNCA" + std::to_string(n);
#else
  return "/dev/pts/" + std::to_string(n);
#endif
}

// What "COMn" opens when nothing maps it: /dev/ttyS(n-1) on POSIX; on Windows
// "COMn" up to COM9 and "\\.\COMn" from COM10 on.
inline std::string DefaultComDevice(int n) {
#ifdef _WIN32
  return (n >= 10 ? "\\\\.\\COM" : "COM") + std::to_string(n);
#else
  return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

// How a link names "COMn" in its messages when nothing maps it: the name, with the
// device it stands for in brackets where that differs ("COM3 (/dev/ttyS2)" on
// POSIX, "COM3" and "COM12 (\\.\COM12)" on Windows).
inline std::string DefaultComLabel(int n) {
  const std::string name = "COM" + std::to_string(n);
  const std::string device = DefaultComDevice(n);
  return device == name ? name : name + " (" + device + ")";
}
