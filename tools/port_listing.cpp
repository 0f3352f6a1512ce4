#include "tools/port_listing.h"

#include <algorithm>

#include "app/main_fich.h"
#include "tools/runner_output.h"

namespace {

std::string Field(const std::string& text) {
  if (text.empty()) return "-";
  std::string out = text;
  std::replace(out.begin(), out.end(), '\t', ' ');  // a tab would split the field
  std::replace(out.begin(), out.end(), '\n', ' ');
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<TKnownPort> KnownPorts(const TMainFich& core, const std::string& option_port) {
  std::vector<TKnownPort> known;
  for (int n = 1; n <= 9; ++n) {
    const std::string key = "COM" + std::to_string(n) + "_DEVICE";
    known.push_back({core.ComDevice(n), "settings", key + " in Updater.prm"});
  }
  known.push_back({core.SelectedDevice(), "settings", "COM_PORT in Updater.prm"});
  if (option_port.starts_with("/")) known.push_back({option_port, "option", "given with --port"});
  return known;
}

std::vector<TListedPort> PortsToList(const std::vector<TSerialPortInfo>& found,
                                     const std::vector<TKnownPort>& known,
                                     const std::function<bool(const std::string&)>& exists) {
  std::vector<TListedPort> ports;
  for (const TSerialPortInfo& info : found) ports.push_back({info, "system"});
  for (const TKnownPort& k : known) {
    const bool listed = std::any_of(ports.begin(), ports.end(),
                                    [&](const TListedPort& p) { return p.Info.Path == k.Path; });
    if (k.Path.empty() || listed || !exists(k.Path)) continue;
    TSerialPortInfo info;
    info.Name = BaseName(k.Path);
    info.Path = k.Path;
    info.Description = k.Note;
    ports.push_back({info, k.Source});
  }
  return ports;
}

std::string PortLine(const TListedPort& port) {
  const TSerialPortInfo& i = port.Info;
  const std::string usb =
      i.VendorId.empty() && i.ProductId.empty() ? "" : i.VendorId + ":" + i.ProductId;
  return Field(i.Path) + "\t" + Field(i.Name) + "\t" + Field(i.Description) + "\t" +
         Field(i.Manufacturer) + "\t" + Field(usb) + "\t" + Field(i.SerialNumber);
}

std::string PortJson(const TListedPort& port) {
  const TSerialPortInfo& i = port.Info;
  return "{\"path\":" + JsonQuote(i.Path) + ",\"name\":" + JsonQuote(i.Name) +
         ",\"description\":" + JsonQuote(i.Description) +
         ",\"manufacturer\":" + JsonQuote(i.Manufacturer) +
         ",\"vendor_id\":" + JsonQuote(i.VendorId) + ",\"product_id\":" + JsonQuote(i.ProductId) +
         ",\"serial_number\":" + JsonQuote(i.SerialNumber) +
         ",\"source\":" + JsonQuote(port.Source) + "}";
}

std::string PortListing(const std::vector<TListedPort>& ports, bool json) {
  std::string out;
  for (const TListedPort& port : ports) out += (json ? PortJson(port) : PortLine(port)) + "\n";
  return out;
}
