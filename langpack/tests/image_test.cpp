// Checks of the built library image KVN_NL.LNG, read as a plain file on the
// build machine: header fields, the empty export directory, imports, base
// relocations, the resource tree, every string of the string table against
// the catalogue, and the version block.
//   langpack_image_test [gtest options] KVN_NL.LNG CATALOGUE
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "langpack/catalogue.h"
#include "langpack/tests/quoted_nl.h"
#include "tests/native/pe_image.h"

namespace {

std::string gImagePath;
std::string gCataloguePath;

class LibraryImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (gImagePath.empty()) GTEST_SKIP() << "no image given";
        ASSERT_TRUE(image_.Load(gImagePath)) << gImagePath << " is not a PE image";
    }

    // Entries of a resource directory at offset dir (relative to the
    // resource section): id -> offset of the subdirectory or data entry.
    std::map<uint32_t, uint32_t> Entries(uint32_t dir, bool& namedEntries) const
    {
        uint32_t base = image_.Offset(image_.DirRva(PeImage::kResource));
        uint32_t at = base + dir;
        uint16_t named = image_.U16(at + 12), ids = image_.U16(at + 14);
        namedEntries = named != 0;
        std::map<uint32_t, uint32_t> out;
        for (uint32_t i = 0; i < uint32_t(named) + ids; ++i) {
            uint32_t e = at + 16 + 8 * i;
            out[image_.U32(e)] = image_.U32(e + 4);
        }
        return out;
    }

    // The data (file offset, size) of resource type/name, which must have
    // exactly one language entry, the neutral one.
    std::pair<uint32_t, uint32_t> NeutralData(uint32_t nameDir, const std::string& what) const
    {
        bool named = false;
        std::map<uint32_t, uint32_t> langs = Entries(nameDir & 0x7FFFFFFF, named);
        EXPECT_EQ(langs.size(), 1u) << what;
        EXPECT_EQ(langs.count(0), 1u) << what << " is not under the neutral language";
        if (langs.empty()) return {0, 0};
        uint32_t entry = image_.Offset(image_.DirRva(PeImage::kResource)) + langs.begin()->second;
        return {image_.Offset(image_.U32(entry)), image_.U32(entry + 4)};
    }

    PeImage image_;
};

TEST_F(LibraryImage, HeaderMarksA32BitGuiLibraryAt0x400000)
{
    EXPECT_EQ(image_.U16(image_.pe() + 4), 0x014C);  // i386
    uint16_t characteristics = image_.U16(image_.pe() + 22);
    EXPECT_TRUE(characteristics & 0x2000) << "not marked as a library";
    EXPECT_TRUE(characteristics & 0x0002) << "not executable";
    EXPECT_FALSE(characteristics & 0x0001) << "relocations stripped";
    EXPECT_EQ(image_.U16(image_.opt()), 0x010B);      // PE32
    EXPECT_EQ(image_.U32(image_.opt() + 28), 0x400000u);  // image base
    EXPECT_EQ(image_.U16(image_.opt() + 68), 2);      // Windows GUI
    EXPECT_EQ(image_.U16(image_.opt() + 48), 4);      // subsystem version 4.0
    EXPECT_EQ(image_.U16(image_.opt() + 50), 0);
    EXPECT_NE(image_.U32(image_.opt() + 16), 0u) << "no entry point";
}

TEST_F(LibraryImage, ExportDirectoryNamesTheModuleAndNothingElse)
{
    ASSERT_NE(image_.DirRva(PeImage::kExport), 0u) << "no export directory";
    uint32_t dir = image_.Offset(image_.DirRva(PeImage::kExport));
    EXPECT_EQ(image_.CString(image_.Offset(image_.U32(dir + 12))), "Kvn_nl.dll");
    EXPECT_EQ(image_.U32(dir + 20), 0u) << "functions exported";
    EXPECT_EQ(image_.U32(dir + 24), 0u) << "names exported";
}

TEST_F(LibraryImage, ImportsAtMostKernel32AndUser32)
{
    for (auto [dll, functions] : image_.Imports()) {
        for (char& c : dll) c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(dll == "kernel32.dll" || dll == "user32.dll") << "imports from " << dll;
    }
}

TEST_F(LibraryImage, CarriesBaseRelocations)
{
    ASSERT_NE(image_.DirRva(PeImage::kReloc), 0u);
    ASSERT_GE(image_.DirSize(PeImage::kReloc), 10u);
    uint32_t at = image_.Offset(image_.DirRva(PeImage::kReloc));
    uint32_t blockSize = image_.U32(at + 4);
    EXPECT_GE(blockSize, 10u);
    EXPECT_EQ(image_.U16(at + 8) >> 12, 3) << "first relocation is not a 32-bit one";
}

TEST_F(LibraryImage, ResourcesAreTheStringBlocksAndTheVersionUnderLanguage0)
{
    ASSERT_NE(image_.DirRva(PeImage::kResource), 0u);
    bool named = false;
    std::map<uint32_t, uint32_t> types = Entries(0, named);
    EXPECT_FALSE(named);
    std::vector<uint32_t> typeIds;
    for (const auto& t : types) typeIds.push_back(t.first);
    EXPECT_EQ(typeIds, (std::vector<uint32_t>{6, 16}));  // RT_STRING, RT_VERSION

    std::map<uint32_t, uint32_t> blocks = Entries(types[6] & 0x7FFFFFFF, named);
    EXPECT_FALSE(named);
    std::vector<uint32_t> blockIds, expected;
    for (const auto& b : blocks) blockIds.push_back(b.first);
    for (uint32_t b = 1; b <= 29; ++b) expected.push_back(b);
    for (uint32_t b = 63; b <= 68; ++b) expected.push_back(b);
    EXPECT_EQ(blockIds, expected);
    for (const auto& b : blocks) NeutralData(b.second, "string block " + std::to_string(b.first));

    std::map<uint32_t, uint32_t> versions = Entries(types[16] & 0x7FFFFFFF, named);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions.begin()->first, 1u);
    NeutralData(versions.begin()->second, "version block");
}

TEST_F(LibraryImage, StringTableMatchesTheCatalogue)
{
    lng::Catalogue catalogue;
    std::vector<lng::Breach> breaches;
    ASSERT_TRUE(lng::ReadCatalogue(gCataloguePath, catalogue, breaches));
    ASSERT_TRUE(breaches.empty());

    bool named = false;
    std::map<uint32_t, uint32_t> types = Entries(0, named);
    std::map<uint32_t, uint32_t> blocks = Entries(types[6] & 0x7FFFFFFF, named);
    std::map<unsigned, std::string> texts;
    std::map<uint32_t, int> emptySlots;
    for (const auto& [block, dir] : blocks) {
        auto [at, size] = NeutralData(dir, "block");
        uint32_t end = at + size;
        for (unsigned slot = 0; slot < 16; ++slot) {
            ASSERT_LE(at + 2, end) << "block " << block << " ends in slot " << slot;
            uint16_t count = image_.U16(at);
            at += 2;
            std::string text;
            for (uint16_t k = 0; k < count; ++k, at += 2) {
                uint16_t unit = image_.U16(at);
                ASSERT_LT(unit, 0x80) << "non-ASCII unit in ID " << 16 * (block - 1) + slot;
                text += char(unit);
            }
            if (count == 0) ++emptySlots[block];
            else texts[16 * (block - 1) + slot] = text;
        }
        EXPECT_EQ(at, end) << "block " << block << " has bytes after its 16 slots";
    }
    EXPECT_EQ(texts.size(), catalogue.texts.size());
    for (const auto& [id, text] : catalogue.texts) {
        auto stored = texts.find(id);
        if (stored == texts.end()) ADD_FAILURE() << "ID " << id << " missing from the image";
        else EXPECT_EQ(stored->second, text) << "ID " << id;
    }
    for (const auto& [id, text] : texts)
        if (!catalogue.texts.count(id)) ADD_FAILURE() << "ID " << id << " in the image but not in the catalogue";
    EXPECT_EQ(emptySlots[29], 13);
    EXPECT_EQ(emptySlots[63], 8);
    EXPECT_EQ(emptySlots[68], 5);
    for (const auto& [block, n] : emptySlots)
        if (block != 29 && block != 63 && block != 68) ADD_FAILURE() << "block " << block << ": " << n << " empty slots";
    for (const QuotedText& q : kQuotedNl) EXPECT_EQ(texts[q.id], q.text) << "ID " << q.id;
}

// One node of a version resource: key, value bytes, children.
struct VersionNode {
    std::string key;
    uint16_t type = 0;
    std::string value;  // text values without their terminator; binary as is
    std::vector<VersionNode> children;
};

VersionNode ParseVersionNode(const PeImage& image, uint32_t at, uint32_t& next)
{
    VersionNode node;
    uint16_t length = image.U16(at), valueLength = image.U16(at + 2);
    node.type = image.U16(at + 4);
    uint32_t p = at + 6;
    for (uint16_t c; (c = image.U16(p)) != 0; p += 2) node.key += char(c);
    p = (p + 2 + 3) & ~3u;
    if (node.type == 1) {
        for (uint16_t k = 0; k < valueLength; ++k, p += 2) {
            uint16_t c = image.U16(p);
            if (c == 0) {
                p += 2u * (valueLength - k);
                break;
            }
            node.value += char(c);
        }
    } else {
        for (uint16_t k = 0; k < valueLength; ++k) node.value += char(image.U8(p++));
    }
    p = (p + 3) & ~3u;
    uint32_t end = at + length;
    while (p + 6 <= end) {
        uint32_t childNext = 0;
        node.children.push_back(ParseVersionNode(image, p, childNext));
        if (childNext <= p) break;
        p = childNext;
    }
    next = (end + 3) & ~3u;
    return node;
}

TEST_F(LibraryImage, VersionBlockAsTabled)
{
    bool named = false;
    std::map<uint32_t, uint32_t> types = Entries(0, named);
    std::map<uint32_t, uint32_t> versions = Entries(types[16] & 0x7FFFFFFF, named);
    ASSERT_EQ(versions.size(), 1u);
    auto [at, size] = NeutralData(versions.begin()->second, "version");
    ASSERT_EQ(image_.U16(at), size);
    uint32_t next = 0;
    VersionNode root = ParseVersionNode(image_, at, next);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    auto fixed = [&](int index) {
        uint32_t v = 0;
        for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<uint8_t>(root.value[4 * index + b]);
        return v;
    };
    EXPECT_EQ(fixed(0), 0xFEEF04BDu);
    EXPECT_EQ(fixed(1), 0x00010000u);
    EXPECT_EQ(fixed(2), 0x00C80000u);  // file version 200.0
    EXPECT_EQ(fixed(3), 0u);           // .0.0
    EXPECT_EQ(fixed(4), (75u << 16) | 86u);
    EXPECT_EQ(fixed(5), (78u << 16) | 76u);
    for (int i = 6; i < 13; ++i) EXPECT_EQ(fixed(i), 0u) << "field " << i;

    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode& sfi = root.children[0];
    EXPECT_EQ(sfi.key, "StringFileInfo");
    ASSERT_EQ(sfi.children.size(), 1u);
    EXPECT_EQ(sfi.children[0].key, "040904E4");
    std::vector<std::pair<std::string, std::string>> strings;
    for (const VersionNode& n : sfi.children[0].children) strings.push_back({n.key, n.value});
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CompanyName", "Brevant Software"},
        {"FileDescription", "Korvane Dutch language dll"},
        {"FileVersion", "2.00"},
        {"InternalName", "KORVANE_LANGUAGE_DLL"},
        {"LegalCopyright", "Copyright (C) 1997 Brevant Software"},
        {"OriginalFilename", "KVN_NL.LNG"},
    };
    EXPECT_EQ(strings, expected);

    const VersionNode& vfi = root.children[1];
    EXPECT_EQ(vfi.key, "VarFileInfo");
    ASSERT_EQ(vfi.children.size(), 1u);
    EXPECT_EQ(vfi.children[0].key, "Translation");
    EXPECT_EQ(vfi.children[0].value, std::string("\x09\x04\xE4\x04", 4));
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc >= 2) gImagePath = argv[1];
    if (argc >= 3) gCataloguePath = argv[2];
    return RUN_ALL_TESTS();
}
