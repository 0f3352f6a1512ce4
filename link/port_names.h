// Serial port names: the rest of the system (menus, settings file, command line)
// speaks of "COMn"; this turns such a name into the device the platform opens, and
// tells device paths from other text. Pure functions: the platform's rules live in
// port_names_posix.cpp and port_names_win.cpp. Used by TComDriver whenever it hands
// a name to its serial port, and by the programs' --port option.
#pragma once

#include <map>
#include <string>

// The highest COM number: Windows numbers its serial ports from the COM name
// database, which grows to 4096 entries.
inline constexpr int kHighestComNumber = 4096;

// n for "COMn" with n from 1 to kHighestComNumber written without leading zeros
// ("COM1", "COM12"); 0 for anything else ("COM0", "COM012", "com1", "COM").
int ComPortNumber(const std::string& name);

// True when `name` is a device path of this platform that the serial port opens as
// it is: one starting with "/" on POSIX, with "\\.\" on Windows.
bool IsSerialDevicePath(const std::string& name);

// The device the platform opens for `name`:
// - a name that `map` maps to a non-empty value is replaced by that value once
//   (the map is not consulted again);
// - then "COMn" becomes the platform's device for it: /dev/ttyS(n-1) on POSIX;
//   on Windows "COMn" itself for n up to 9 and "\\.\COMn" from COM10 on, the only
//   form in which Windows opens those;
// - anything else (a device path, an unknown name) is returned unchanged.
std::string ResolveSerialDeviceName(const std::string& name,
                                    const std::map<std::string, std::string>& map);
