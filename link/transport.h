// The three transports the device link drives: a serial device, a UDP endpoint and
// a TCP client. TComPort and TComDriver hold the protocol logic over these small
// interfaces; the Qt adapters (qt_*_backend.*) implement them and tests use fakes.
// Threading: every call and every callback runs on the event-loop thread. A backend
// never invokes a callback from inside one of its own calls (Write, Open, Bind,
// Connect, Close...): received bytes and errors are always delivered later, from
// the event loop, so the link never sees re-entrant input.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Why a transport could not be opened or was lost, as far as the platform tells.
enum class TLinkFault : uint8_t {
  LF_OTHER,        // any other reason; the text says which
  LF_MISSING,      // no such device
  LF_PERMISSION,   // the user may not open the device
  LF_BUSY,         // another program holds the device
  LF_NOT_SERIAL,   // the device is there but is no serial port (/dev/null, a disk)
  LF_GONE,         // the open device vanished (unplugged, hung up, read error)
  LF_REFUSED,      // nothing listens at the remote address and port
  LF_UNREACHABLE,  // no route to the remote host, or no answer in time
  LF_CLOSED,       // the remote end closed the connection
};

// A transport's failure: its kind and the platform's own text.
struct TLinkError {
  TLinkFault Fault = TLinkFault::LF_OTHER;
  std::string Text;
};

// What the serial driver said when asked for low latency at opening.
enum class TLowLatency : uint8_t {
  LL_NOT_ASKED,  // the platform has no such setting (or the port is closed)
  LL_ON,         // the driver delivers each byte at once
  LL_REFUSED,    // the driver refused (a pseudo-terminal, some adapters)
};

// Speed and character format of a serial device. The parity and stop-bit codes are
// the values of TParity and TStopBit (com_port.h).
struct TSerialSettings {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  uint8_t parity = 0;       // TParity
  uint8_t stopBits = 0;     // TStopBit
  uint32_t queueIn = 8192;  // input queue asked of the driver
  uint32_t queueOut = 8192;
};

// Modem-line and line-error events, in the port's event-mask codes, and the
// modem-status bits read when the wait for those events was armed.
inline constexpr uint32_t kEvCts = 0x8;       // CTS changed
inline constexpr uint32_t kEvDsr = 0x10;      // DSR changed
inline constexpr uint32_t kEvRlsd = 0x20;     // RLSD (carrier detect) changed
inline constexpr uint32_t kEvLineErr = 0x80;  // framing, parity, overrun or break
inline constexpr uint32_t kEvRing = 0x100;    // ring indicator changed
inline constexpr uint32_t kStCtsOn = 0x10;
inline constexpr uint32_t kStDsrOn = 0x20;
inline constexpr uint32_t kStRingOn = 0x40;
inline constexpr uint32_t kStRlsdOn = 0x80;

// A serial device opened by path. Used only by TComPort.
class TSerialBackend {
 public:
  virtual ~TSerialBackend() = default;

  // Opens `device` exclusively for reading and writing, applies `settings`, asks
  // the driver for low latency, drops DTR and RTS (where the device has them) and
  // discards both queues. On failure returns false, sets `error` to the kind and
  // the platform's message, and leaves nothing open.
  virtual bool Open(const std::string& device, const TSerialSettings& settings,
                    TLinkError& error) = 0;
  // Closes the device; nothing is delivered for it afterwards. No-op when closed.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Applies speed and character format while open, without reopening.
  virtual void Apply(const TSerialSettings& settings) = 0;
  // Hands all bytes to the device without waiting for them to leave. Dropped when closed.
  virtual void Write(const std::string& bytes) = 0;
  // Discards everything in both queues and drops DTR and RTS. A device without
  // modem lines (a pseudo-terminal) only discards the queues.
  virtual void ResetLines() = 0;
  // The driver's answer to the low-latency request of the last Open.
  virtual TLowLatency LowLatency() const { return TLowLatency::LL_NOT_ASKED; }

  // Bytes that arrived, every byte value included, in arrival order.
  std::function<void(const std::string& bytes)> OnReceive;
  // The open device vanished (read error or hang-up). The backend is closed when
  // this is called, from the event loop; `reason` is the platform's text.
  std::function<void(const std::string& reason)> OnLost;
  // Modem-line changes and line errors: `mask` of kEv* codes, `status` of kSt* bits
  // as they were before the change.
  std::function<void(uint32_t mask, uint32_t status)> OnStatus;
};

// A UDP endpoint bound to one local port on every local IPv4 address. Used by TComDriver.
class TUdpBackend {
 public:
  virtual ~TUdpBackend() = default;

  // Binds to `port` and starts receiving. On failure returns false with the
  // platform's message in `error`; nothing stays bound.
  virtual bool Bind(int32_t port, std::string& error) = 0;
  // Stops receiving and releases the port. No-op when not bound.
  virtual void Unbind() = 0;
  virtual bool IsBound() const = 0;
  // The local port actually bound (useful when 0 asked for any free port); 0 if unbound.
  virtual int32_t BoundPort() const = 0;
  // Sends `data` as one datagram from the bound port to `address`:`port`.
  // Returns false with the socket error's text in `error`.
  virtual bool SendTo(const std::string& address, int32_t port, const std::string& data,
                      std::string& error) = 0;

  // One datagram: its bytes (at most 8192 are looked at), the sender's IPv4
  // address as dotted text ("127.0.0.1") and the sender's port.
  std::function<void(const std::string& data, const std::string& address, int32_t port)> OnDatagram;
};

// An asynchronous TCP client. Used by TComDriver.
class TTcpBackend {
 public:
  virtual ~TTcpBackend() = default;

  // Starts an asynchronous connection to `address`:`port`. Returns false, with the
  // reason in `error`, only when the attempt fails at once (nothing is then pending).
  // An attempt that neither connects nor fails within a few seconds fails as
  // LF_UNREACHABLE.
  virtual bool Connect(const std::string& address, int32_t port, std::string& error) = 0;
  // Aborts a pending attempt or closes the connection; no callback follows for it.
  virtual void Close() = 0;
  // True while a connection stands.
  virtual bool IsConnected() const = 0;
  // Sends the bytes on the standing connection. Dropped when not connected.
  virtual void Write(const std::string& bytes) = 0;
  // Runs `call` from the event loop once `delay_ms` have passed (0: as soon as the
  // loop runs; never inside Defer itself). Calls still queued when the backend is
  // destroyed are dropped.
  virtual void Defer(uint32_t delay_ms, std::function<void()> call) = 0;

  std::function<void()> OnConnected;
  // Bytes that arrived on the connection, in order.
  std::function<void(const std::string& bytes)> OnReceive;
  // The attempt failed or the connection broke, including the peer closing it
  // (LF_CLOSED). The backend is closed when this is called.
  std::function<void(const TLinkError& error)> OnError;
};
