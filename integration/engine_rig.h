// TEngineRig: the host's programming engines against the in-process emulated
// device, wired as the main window wires them: what an engine sends goes to the
// device's port, what the device answers lands in the owner's receive buffer on
// the next pump. Time comes from a fake clock advanced 10 ms per tick, like the
// sequencer's timer. Header-only; tests only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"
#include "emulator/in_process_port.h"
#include "engines/intel_hex.h"
#include "engines/ms_clock.h"
#include "engines/testing/test_owner.h"
#include "testing/temp_dir.h"

class TEngineRig {
 public:
  explicit TEngineRig(TDeviceConfig config = {}) : device(std::move(config)), port(device) {
    port.OnOutput = [this](const std::string& piece) { owner.Reply(piece); };
    owner.OnWire = [this](const std::string& text) { port.Write(text); };
  }
  TEngineRig(const TEngineRig&) = delete;
  TEngineRig& operator=(const TEngineRig&) = delete;

  // Wires `engine` to the owner, points it at the rig's folder and allows updates
  // (as the sequencer does once the device identifier is known).
  template <class Engine>
  void Attach(Engine& engine) {
    owner.Attach(engine);
    engine.CurentDir = folder.Dir();
    engine.UpdateAllowed = true;
  }

  // Hands `instruction` over (one Step), then ticks until the engine is idle:
  // clock + 10 ms, pump the port, Step. False when still busy after `max_ticks`.
  template <class Engine>
  bool Run(Engine& engine, const std::string& instruction, int max_ticks = 100000) {
    engine.Instruction = instruction;
    engine.Step();
    for (int i = 0; i < max_ticks && engine.Busy; ++i) Tick(engine);
    return !engine.Busy;
  }
  template <class Engine>
  void Tick(Engine& engine) {
    clock.Advance(10);
    port.Pump(clock.TickCount());
    engine.Step();
  }

  // What the link does in its variable mode before the engines start: updater
  // variable 1, then 254, which starts the boot loader. The echoes are dropped.
  void EnterUpdater() {
    port.Write("1yU254yU");
    port.Pump(clock.TickCount());
    owner.RxBuffer.clear();
  }

  // Writes an Intel HEX file of `data` placed from `address`, 16 bytes a line,
  // ended by an end record. Returns its lines.
  std::vector<std::string> WriteHex(const std::string& name, uint16_t address,
                                    const std::vector<uint8_t>& data) {
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < data.size(); pos += 16) {
      std::string hex;
      for (size_t i = pos; i < data.size() && i < pos + 16; ++i) hex += ByteToHex(data[i]);
      lines.push_back(BuildHexRecord(0x00, static_cast<uint16_t>(address + pos), hex));
    }
    lines.push_back(":00000001FF");
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    folder.Write(name, text);
    return lines;
  }

  // The owner's error events ("error:<text>").
  std::vector<std::string> Errors() const { return owner.EventsWith("error:"); }
  std::vector<std::string> Infos() const { return owner.EventsWith("info:"); }

  TFakeClock clock;
  TEmulatedDevice device;
  TInProcessPort port;
  TTestOwner owner;
  TTempDir folder;
};

// `size` bytes of a pattern that is neither erased (FF) nor uniform.
inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return data;
}

// The memory a device holds after `data` was written at `offset` into an erased one.
inline std::vector<uint8_t> Image(size_t memory_size, size_t offset,
                                  const std::vector<uint8_t>& data) {
  std::vector<uint8_t> image(memory_size, 0xFF);
  std::copy(data.begin(), data.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
  return image;
}
