// TIPConfigDlg: the LAN setup dialog as a model. Holds the network transport (TCP
// or UDP), the device's IPv4 address, the device's port and the local UDP port.
// The settings file fills it at start-up and saves it; the sequencer hands its
// values to the link. One instance for the life of the program. The view shows it
// modally, copies what the operator types into the edits, forwards clicks, shows
// the warnings it raises and closes it when Closed becomes true. Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/controls.h"

class TIPConfigDlg {
 public:
  TIPConfigDlg();

  // Setters: each stores the value and shows it in its control.
  // Mode 2 (UDP) ticks "Udp" and enables the local port; anything else ticks "Tcp"
  // and disables and greys the local port.
  void SetConnectionMode(uint8_t mode);
  void SetRemoteAddress(const std::string& address);
  void SetRemotePort(uint32_t port);
  void SetLocalPort(uint32_t port);

  // Handlers.
  void RBTcpClick() { SetConnectionMode(3); }
  void RBUdpClick() { SetConnectionMode(2); }
  // Called by the view as the dialog appears: clears Closed and forces TCP when the
  // mode is neither UDP nor TCP.
  void FormShow();
  // Clears Applied and closes.
  void BCancelClick();
  // "Apply": checks the local port (and stores it at once), the remote port and
  // the address, in that order; the first failed check raises OnWarning and keeps
  // the dialog open. When all pass: stores them, sets Applied and closes.
  void BOkClick();

  // An IPv4 address of four dot-separated whole numbers 0..255. `parts` receives
  // the four numbers (all 0 when invalid).
  static bool IsValidAddress(const std::string& text, std::array<int, 4>* parts = nullptr);
  // A whole number 0..65535 as the dialog accepts it: optional leading blanks, an
  // optional sign, decimal digits, nothing else.
  static bool ParsePort(const std::string& text, uint32_t& port);

  // Values read by the rest of the system.
  uint8_t ConnectionMode() const { return connection_mode_; }
  const std::string& RemoteAddress() const { return remote_address_; }
  uint32_t RemotePort() const { return remote_port_; }
  uint32_t LocalPort() const { return local_port_; }
  // True when last closed by "Apply" with every check passed; false after "Cancel".
  bool Applied = false;
  // Set when the dialog asks to be closed (Apply passed, or Cancel).
  bool Closed = false;

  // Raised with the text of a warning box (one OK button).
  std::function<void(const std::string&)> OnWarning;

  const std::string Caption = "LAN Setup";
  const std::string RGModeCaption = "Connection Mode";
  TRadioButton RBTcp{"Tcp", false};
  TRadioButton RBUdp{"Udp", false};
  TEdit ELocalPort;   // "Local Port :"
  TEdit ERemoteAddr;  // "Remote IP Address :"
  TEdit ERemotePort;  // "Remote Port :"
  TButton BOk{"Apply", true, true};
  TButton BCancel{"Cancel", true, true};

 private:
  void Warn(const std::string& text);

  uint8_t connection_mode_ = 0;  // a tConnectionType value; the dialog makes 2 or 3
  std::string remote_address_;   // as typed
  uint32_t remote_port_ = 0;     // 0..65535
  uint32_t local_port_ = 0;      // 0..65535
};
