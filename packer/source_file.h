// What the packer takes from a source file besides its bytes: its size, its
// modification time as a DOS stamp (local time) and whether it is read-only.
// The one seam between the packer and the platform's file metadata.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

namespace bv {

struct SourceFileInfo {
    bool regular = false;
    std::uint64_t size = 0;
    std::uint32_t dosStamp = 0;
    bool readOnly = false;
};

// False with *error naming the file when it cannot be looked at.
bool StatSourceFile(const std::filesystem::path& file, SourceFileInfo* info, std::string* error);

}  // namespace bv
