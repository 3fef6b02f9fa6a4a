// Diskette images, written and read with mtools: a freshly formatted FAT12
// image of a diskette kind, labelled, holding a diskette's files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/media/diskette.h"

namespace bv {

// DISK1.IMG, DISK2.IMG, ...: the image of diskette number.
inline std::string DiskImageName(unsigned number)
{
    return "DISK" + std::to_string(number) + ".IMG";
}

// Empty when the mtools programs that images need are on PATH, else a
// sentence that names what is missing and where to get it.
std::string MissingImageTools();

// Writes the diskette as an image file at path: formatted as kind, with the
// diskette's label, holding each file (read from its source) under its name,
// with the source's modification time. The serial number follows from the
// label and the files' names and sizes, so that the same set gives the same
// image. False with *error set, and no file at path, when a tool fails.
bool WriteDisketteImage(const DisketteKind& kind, const Diskette& diskette, const std::string& path,
                        std::string* error);

// The names of the files in an image's root directory, in directory order.
bool ListDisketteImage(const std::string& path, std::vector<std::string>* names, std::string* error);

}  // namespace bv
