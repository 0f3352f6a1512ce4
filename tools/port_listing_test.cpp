// qelt-update --list-ports: the system's ports first, then known device paths that
// exist and the system does not list, each once; the line and JSON forms.
#include "tools/port_listing.h"

#include <gtest/gtest.h>

#include <set>

#include "app/testing/run_harness.h"
#include "testing/temp_dir.h"

namespace {

TSerialPortInfo Ftdi() {
  TSerialPortInfo p;
  p.Name = "ttyUSB0";
  p.Path = "/dev/ttyUSB0";
  p.Description = "FT232R USB UART";
  p.Manufacturer = "FTDI";
  p.VendorId = "0403";
  p.ProductId = "6001";
  p.SerialNumber = "A50285BI";
  return p;
}

TSerialPortInfo Builtin() {
  TSerialPortInfo p;
  p.Name = "ttyS0";
  p.Path = "/dev/ttyS0";
  return p;
}

TEST(PortListing, SystemPortsThenExistingKnownPathsEachOnce) {
  const std::set<std::string> present = {"/dev/pts/3", "/dev/ttyUSB0", "/dev/pts/9"};
  const auto exists = [&](const std::string& path) { return present.count(path) > 0; };
  const std::vector<TKnownPort> known = {
      {"", "settings", "COM1_DEVICE in Updater.prm"},              // not set
      {"/dev/ttyUSB0", "settings", "COM2_DEVICE in Updater.prm"},  // the system lists it
      {"/dev/pts/3", "settings", "COM3_DEVICE in Updater.prm"},
      {"/dev/ttyACM5", "settings", "COM_PORT in Updater.prm"},  // not there
      {"/dev/pts/3", "option", "given with --port"},            // once only
      {"/dev/pts/9", "option", "given with --port"},
  };
  const std::vector<TListedPort> ports = PortsToList({Ftdi(), Builtin()}, known, exists);
  EXPECT_EQ(PortListing(ports, false),
            "/dev/ttyUSB0\tttyUSB0\tFT232R USB UART\tFTDI\t0403:6001\tA50285BI\n"
            "/dev/ttyS0\tttyS0\t-\t-\t-\t-\n"
            "/dev/pts/3\t3\tCOM3_DEVICE in Updater.prm\t-\t-\t-\n"
            "/dev/pts/9\t9\tgiven with --port\t-\t-\t-\n");
}

TEST(PortListing, JsonGivesEveryFieldAndWhereThePortCameFrom) {
  const std::vector<TListedPort> ports = {{Ftdi(), "system"}};
  EXPECT_EQ(PortListing(ports, true),
            "{\"path\":\"/dev/ttyUSB0\",\"name\":\"ttyUSB0\",\"description\":\"FT232R USB "
            "UART\",\"manufacturer\":\"FTDI\",\"vendor_id\":\"0403\",\"product_id\":\"6001\","
            "\"serial_number\":\"A50285BI\",\"source\":\"system\"}\n");
  TSerialPortInfo odd = Builtin();
  odd.Description = "tab\there \"quoted\"";
  EXPECT_EQ(PortLine({odd, "system"}), "/dev/ttyS0\tttyS0\ttab here \"quoted\"\t-\t-\t-");
  EXPECT_NE(PortJson({odd, "system"}).find("\"description\":\"tab\\there \\\"quoted\\\"\""),
            std::string::npos)
      << PortJson({odd, "system"});
  EXPECT_EQ(PortListing({}, false), "");
}

TEST(PortListing, KnownPortsComeFromTheSettingsAndTheOption) {
  TTempDir dir;
  dir.Write("Updater.prm", "CON_TYPE=RS232\r\nCOM_PORT=/dev/ttyACM0\r\nCOM4_DEVICE=/dev/pts/6\r\n");
  TRunHarnessOptions o;
  o.ProgramFolder = dir.Dir();
  o.WorkingFolder = dir.Dir();
  TRunHarness h(o);
  std::vector<std::string> named;
  for (const TKnownPort& k : KnownPorts(*h.core, "/dev/pts/8")) {
    if (!k.Path.empty()) named.push_back(k.Path + " " + k.Source + ": " + k.Note);
  }
  EXPECT_EQ(named, (std::vector<std::string>{
                       "/dev/pts/6 settings: COM4_DEVICE in Updater.prm",
                       "/dev/ttyACM0 settings: COM_PORT in Updater.prm",
                       "/dev/pts/8 option: given with --port",
                   }));
  EXPECT_EQ(KnownPorts(*h.core, "COM3").size(), 10u) << "a COM name is not a path to list";
}

}  // namespace
