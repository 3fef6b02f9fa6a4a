// Shared steps of the installer's end-to-end tests: archives built in
// process with the archive writer, SETUP.EXE started beside them, and the
// setup dialog driven through its controls as a user would.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver.h"
#include "packer/archive_writer.h"

namespace installer_test {

using namespace driver;

enum { EDIT = 1, LIST = 2, ABORT = 3, NEXT = 4, STATUS1 = 5, STATUS2 = 6, STATUS3 = 7 };

inline std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Bytes that compress badly, so that a member needs many slices.
inline std::vector<std::uint8_t> NoiseBytes(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return bytes;
}

inline bv::ArchiveMember Member(const std::string& path, std::vector<std::uint8_t> data,
                                std::uint32_t attributes = bv::ATTR_ARCHIVE,
                                std::uint32_t stamp = bv::MakeDosStamp(2001, 2, 3, 4, 5, 6))
{
    bv::ArchiveMember member;
    member.path = path;
    member.data = std::move(data);
    member.attributes = attributes;
    member.dosStamp = stamp;
    return member;
}

// Writes dir\SETUP.E00, ... from the input; volumeSize 0 gives one volume.
inline std::vector<std::vector<std::uint8_t>> WriteArchive(const std::string& dir, const bv::ArchiveInput& input,
                                                           std::uint64_t volumeSize = bv::VOLUME_UNLIMITED)
{
    std::vector<std::vector<std::uint8_t>> volumes;
    std::string error;
    EXPECT_TRUE(bv::WriteArchive(input, volumeSize, &volumes, &error)) << error;
    EXPECT_TRUE(bv::WriteVolumeFiles(dir, "SETUP", volumes, &error)) << error;
    return volumes;
}

// Writes raw volume files, for archives the writer would never make.
inline void WriteRawVolumes(const std::string& dir, const std::vector<std::string>& volumes)
{
    for (std::size_t n = 0; n < volumes.size(); n++) WriteFile(dir + "\\" + bv::VolumeFileName("SETUP", n), volumes[n]);
}

inline std::string AsString(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

inline std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// SETUP.EXE started in dir, with its setup dialog on screen.
struct Installer {
    Process process;
    HWND dialog = nullptr;

    explicit Installer(const std::string& dir)
    {
        process = Start(PlaceInstaller(dir), dir);
        dialog = WaitWindow(process, "#32770", "BREVANT");
    }
    ~Installer() { Kill(process); }

    // Types the entry into the destination field and presses Next.
    void Next(const std::string& entry)
    {
        SetItemText(dialog, EDIT, entry);
        Click(dialog, NEXT);
    }
    // Waits for the extraction layout (the status lines shown).
    bool WaitExtracting(int timeoutMs = 15000)
    {
        for (int waited = 0; waited <= timeoutMs; waited += 50) {
            if (IsItemVisible(dialog, STATUS1)) return true;
            Sleep(50);
        }
        return false;
    }
    bool DialogOpen() { return IsWindow(dialog) && IsWindowVisible(dialog); }
    long WaitEnd(int timeoutMs = 60000) { return WaitExit(process, timeoutMs); }
};

// Expects one box with this text; answers it.
inline void ExpectBox(const Installer& setup, const std::string& text, const std::string& answer = "OK")
{
    Box box = WaitBox(setup.process);
    EXPECT_EQ(box.text, text);
    Answer(box, answer);
}

}  // namespace installer_test
