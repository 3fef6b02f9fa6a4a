// A PE image read as a plain file on the build machine, for the tests of
// the built Win32 images: reads by file offset and by RVA, the section
// table and the data directories. Reads outside the file fail the test and
// yield zeros.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct PeSection {
    std::string name;
    uint32_t rva, virtualSize, rawSize, rawOffset;
};

class PeImage {
public:
    enum { kExport = 0, kImport = 1, kResource = 2, kReloc = 5 };

    bool Load(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        std::ostringstream all;
        all << in.rdbuf();
        bytes_ = all.str();
        if (bytes_.size() < 0x40 || U16(0) != 0x5A4D) return false;
        pe_ = U32(0x3C);
        if (U32(pe_) != 0x00004550) return false;
        uint16_t sections = U16(pe_ + 6);
        uint32_t table = pe_ + 24 + U16(pe_ + 20);
        for (uint16_t i = 0; i < sections; ++i) {
            uint32_t s = table + 40u * i;
            sections_.push_back({CString(s).substr(0, 8), U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
        }
        return true;
    }
    const std::string& bytes() const { return bytes_; }
    const std::vector<PeSection>& sections() const { return sections_; }
    uint32_t pe() const { return pe_; }
    uint32_t opt() const { return pe_ + 24; }

    uint8_t U8(uint32_t off) const
    {
        if (off >= bytes_.size()) {
            ADD_FAILURE() << "read beyond the image at offset " << off;
            return 0;
        }
        return static_cast<uint8_t>(bytes_[off]);
    }
    uint16_t U16(uint32_t off) const { return uint16_t(U8(off) | U8(off + 1) << 8); }
    uint32_t U32(uint32_t off) const { return uint32_t(U16(off)) | uint32_t(U16(off + 2)) << 16; }

    uint32_t Offset(uint32_t rva) const
    {
        for (const PeSection& s : sections_)
            if (rva >= s.rva && rva < s.rva + std::max(s.virtualSize, s.rawSize) && rva - s.rva < s.rawSize)
                return s.rawOffset + (rva - s.rva);
        ADD_FAILURE() << "RVA " << rva << " lies in no section";
        return uint32_t(bytes_.size());
    }
    uint32_t DirRva(int index) const { return U32(opt() + 96 + 8 * index); }
    uint32_t DirSize(int index) const { return U32(opt() + 96 + 8 * index + 4); }

    std::string CString(uint32_t off) const
    {
        std::string s;
        for (uint8_t c; off < bytes_.size() && (c = U8(off)) != 0; ++off) s += char(c);
        return s;
    }

    // The import directory: each DLL's name as stored, with the names of the
    // functions imported from it (by ordinal: "#n").
    std::vector<std::pair<std::string, std::vector<std::string>>> Imports() const
    {
        std::vector<std::pair<std::string, std::vector<std::string>>> dlls;
        if (DirRva(kImport) == 0) return dlls;
        for (uint32_t at = Offset(DirRva(kImport));; at += 20) {
            uint32_t name = U32(at + 12);
            if (name == 0) break;
            uint32_t thunks = U32(at) ? U32(at) : U32(at + 16);   // the lookup table, else the address table
            std::vector<std::string> functions;
            for (uint32_t t = Offset(thunks);; t += 4) {
                uint32_t entry = U32(t);
                if (entry == 0) break;
                if (entry & 0x80000000u) functions.push_back("#" + std::to_string(entry & 0xFFFF));
                else functions.push_back(CString(Offset(entry) + 2));
            }
            dlls.push_back({CString(Offset(name)), functions});
        }
        return dlls;
    }

private:
    std::string bytes_;
    uint32_t pe_ = 0;
    std::vector<PeSection> sections_;
};
