// DOS device names. On Windows a path whose component is CON, PRN, AUX,
// NUL, COM1-COM9 or LPT1-LPT9 opens that device instead of a file, whatever
// the extension, the case or the dots and blanks at the end: NUL.TXT,
// DATA\AUX and com1 .dat all do. Both the reader and the writer of archives
// refuse such member paths.
#pragma once
#include <cstddef>

// Whether the component of length bytes names a device.
bool NamesDosDevice(const char* component, std::size_t length);
