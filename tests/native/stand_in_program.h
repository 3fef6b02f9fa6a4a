// A stand-in for a Windows program in the packer's tests: the headers bvpack
// checks of an installer (MZ, PE, machine, characteristics, PE32 and the
// subsystem), then filler, size bytes in all (at least 0x200).
#pragma once
#include <algorithm>
#include <cstddef>
#include <string>

inline std::string StandInProgram(std::size_t size, char filler = 'i', unsigned subsystem = 2,
                                  unsigned characteristics = 0x0102, unsigned machine = 0x014C)
{
    std::string image(std::max<std::size_t>(size, 0x200), filler);
    auto put16 = [&](std::size_t at, unsigned v) {
        image[at] = static_cast<char>(v & 0xFF);
        image[at + 1] = static_cast<char>(v >> 8);
    };
    put16(0, 0x5A4D);       // MZ
    put16(0x3C, 0x40);      // the PE header's offset
    put16(0x3E, 0);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    put16(0x44, machine);
    put16(0x40 + 22, characteristics);
    put16(0x58, 0x010B);    // PE32
    put16(0x58 + 68, subsystem);
    return image;
}
