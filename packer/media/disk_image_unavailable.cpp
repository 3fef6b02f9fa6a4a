// For the Windows build: diskette images are made with mtools, which this
// build does not run. Everything else of a diskette release works.
#include "packer/media/disk_image.h"

namespace bv {

namespace {

const char kUnavailable[] =
    "diskette images need mformat, mcopy, mdir from mtools, which this Windows build of bvpack does not run "
    "(make the images with the Linux bvpack)";

}  // namespace

std::string MissingImageTools()
{
    return kUnavailable;
}

bool WriteDisketteImage(const DisketteKind&, const Diskette&, const std::string&, std::string* error)
{
    *error = kUnavailable;
    return false;
}

bool ListDisketteImage(const std::string&, std::vector<std::string>* names, std::string* error)
{
    names->clear();
    *error = kUnavailable;
    return false;
}

}  // namespace bv
