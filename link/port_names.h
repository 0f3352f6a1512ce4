// Serial port names: the rest of the system (menus, settings file) speaks of
// "COM1".."COM9"; this turns such a name into the device the platform opens.
// Pure function, used by TComDriver whenever it hands a name to its serial port.
#pragma once

#include <map>
#include <string>

// "COMn" -> map["COMn"] when mapped, else the platform's default device for it;
// a name starting with "/" and any other name are returned unchanged.
std::string ResolveSerialDeviceName(const std::string& name,
                                    const std::map<std::string, std::string>& map);
