// Names in the installer's code page. SETUP.EXE is an ANSI Windows program:
// it takes member paths, group and item titles, the destination and the
// program line as bytes of the target's ANSI code page (Windows-1252 unless
// a release names another). The packer converts them from the host's
// encoding with the system's converters (iconv; on Windows, the Win32
// conversion functions), and back for list and extract.
#pragma once
#include <string>

namespace bv {

constexpr unsigned kDefaultCodePage = 1252;

// Whether the system can convert to and from Windows code page number.
bool KnownCodePage(unsigned number);

// A code page number as written (decimal digits) that the system knows.
bool ParseCodePage(const std::string& text, unsigned* number);

// The host's encoding of names: the locale's character set on the host
// (UTF-8 where the locale is plain ASCII, as the C locale is), the ANSI
// code page on Windows.
std::string HostEncoding();

// text from the host's encoding into the code page. False when the code
// page lacks a character of it (or text is no valid host text): *bad is
// then that character, in the host's encoding.
bool ToCodePage(const std::string& text, unsigned codePage, std::string* out, std::string* bad);

// text from the code page into the host's encoding; false (and text as it
// is in *out) when the host cannot show it.
bool FromCodePage(const std::string& text, unsigned codePage, std::string* out);

}  // namespace bv
