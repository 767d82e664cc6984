// The single-instance rule: how many running processes are copies of this program.
#pragma once

#include <string>

namespace liron {

// Counts the running processes (this one included) whose executable is exe_path exactly, or
// whose executable's file name equals exe_path's file name after conversion to upper case, so
// a copy started from another folder under the same name in other letters counts too.
// A process whose executable link cannot be read (another user's, without privileges) is
// judged by the program name it was started under (argv[0]). A running program whose file was
// replaced or removed since still counts under its old path. A failed look at /proc counts 0.
int CountRunningCopies(const std::string& exe_path);

// The full path of this program's executable; empty when it cannot be read.
std::string OwnExecutablePath();

// Upper case of a UTF-8 text, for Latin and Cyrillic letters (the Windows-1251 repertoire).
std::string UpperFileName(const std::string& utf8);

}  // namespace liron
