// The programs' text at their edges: the arguments as UTF-8 (the
// program's own text encoding, file names included) and the console set to show
// UTF-8. One implementation per platform (utf8_console_posix.cpp,
// utf8_console_win.cpp). Called once at the start of main; no state.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name, as UTF-8. On Windows they are read from
// the wide command line, so a file name with any character survives; `argv` holds
// them in the ANSI code page only.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 text the program prints (Windows: the console's
// output code page); nothing on POSIX, where the terminal takes bytes as they are.
void UseUtf8Console();
