// DOS device names in member path components.
#include "archive/device_name.h"

#include <cstring>

bool NamesDosDevice(const char* component, std::size_t length)
{
    // The platform looks at the part before the first dot, without the
    // blanks at its end.
    std::size_t base = 0;
    while (base < length && component[base] != '.')
        base++;
    while (base > 0 && component[base - 1] == ' ')
        base--;
    if (base != 3 && base != 4)
        return false;
    char name[3];
    for (std::size_t i = 0; i < 3; i++) {
        char c = component[i];
        name[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (base == 3) {
        static const char DEVICES[] = "CONPRNAUXNUL";
        for (const char* device = DEVICES; *device; device += 3)
            if (std::memcmp(name, device, 3) == 0)
                return true;
        return false;
    }
    if (std::memcmp(name, "COM", 3) != 0 && std::memcmp(name, "LPT", 3) != 0)
        return false;
    // Ports 1-9; the platform also takes the superscript digits 1, 2 and 3
    // of the ANSI code page (0xB9, 0xB2, 0xB3) for port numbers.
    unsigned char digit = static_cast<unsigned char>(component[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}
