// TTestPackage: a small firmware package written by test code into a private
// temporary folder, laid out as the updater expects it below its program folder:
// revision folders, a main script, card folders with card scripts, boot images,
// bank images and Effect files. Tests read the images back to compare them with
// the emulated device's memories. Tests only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engines/card_table.h"  // kPathSeparator, for paths below the package
#include "testing/temp_dir.h"

// One Intel HEX image: data records of 16 bytes from `address`, then the end record.
std::string IntelHexText(uint16_t address, const std::vector<uint8_t>& data);
// `count` bytes of a pattern derived from `seed` (never all 0xFF).
std::vector<uint8_t> PatternBytes(uint8_t seed, size_t count);

// An image placed in the package, as the device should hold it afterwards.
struct TPackageImage {
  std::string File;           // relative to the program folder, "/" separated
  uint16_t Address = 0;       // first byte's address in the file
  std::vector<uint8_t> Data;  // the bytes the file writes
};

class TTestPackage {
 public:
  TTestPackage() = default;

  // The program folder, ending with the platform's separator.
  std::string Dir() const { return dir_.Dir(); }
  // Path of `relative` ("/" separated) below the program folder, as UTF-8 text.
  std::string Path(const std::string& relative) const;
  // The same as a path, for std::filesystem calls (which must not be handed the
  // text: Windows would read it in the ANSI code page).
  std::filesystem::path FsPath(const std::string& relative) const;
  // Writes text as it is / lines each ended by CR LF.
  void Write(const std::string& relative, const std::string& content) const;
  void WriteLines(const std::string& relative, const std::vector<std::string>& lines) const;
  // The file's bytes, or "<missing>".
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

  // Writes an image and remembers it.
  TPackageImage WriteImage(const std::string& relative, uint16_t address,
                           std::vector<uint8_t> data);

  // The standard package for revision folder `rev` ("rev0" or "rev1"): both boot
  // images, a main script naming every card folder, and card scripts that program
  // one bank per card (through the bridge for option cards), write versions, play
  // an Effect file on the main card (from "opt_in\") and on the HD card, and load
  // the extended input card's "E" memory.
  void WriteStandard(const std::string& rev);

  // Images of the standard package, by role (MainUpperBank is for banks 1-7 of the
  // main card and is not named by the standard scripts).
  TPackageImage BridgeBoot, NormalBoot;
  TPackageImage MainBank0, MainUpperBank, KeyboardBank1, ScanBank2, HdBank0, ExtInE;

 private:
  TTempDir dir_;
};
