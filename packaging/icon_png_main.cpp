// qelt-icon-png: writes the program's icon (app/ui/program_icon.cpp) as a PNG file
// for the desktop's icon theme. Run by the build (packaging/CMakeLists.txt) for
// each installed size; not installed. Needs no display.
//   qelt-icon-png SIZE FILE
#include <QBuffer>
#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/ui/program_icon.h"
#include "common/number_text.h"
#include "engines/file_access.h"

int main(int argc, char** argv) {
  uint32_t size = 0;
  if (argc != 3 || !ParseDecimalU32(argv[1], size) || size < 16 || size > 1024) {
    std::fputs("Usage: qelt-icon-png SIZE FILE   (SIZE in pixels, 16 to 1024)\n", stderr);
    return 2;
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!ProgramImage(static_cast<int>(size)).save(&buffer, "PNG")) {
    std::fputs("qelt-icon-png: the image could not be encoded\n", stderr);
    return 1;
  }
  std::string error;
  if (!WriteFileAtomic(argv[2], png.toStdString(), &error)) {
    std::fprintf(stderr, "qelt-icon-png: cannot write %s: %s\n", argv[2], error.c_str());
    return 1;
  }
  return 0;
}
