// Shared steps of the installer's end-to-end tests: archives built in
// process with the archive writer, SETUP.EXE started beside them, and the
// setup dialog driven through its controls as a user would.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver.h"
#include "installer_watch.h"
#include "packer/archive/archive_writer.h"

namespace installer_test {

using namespace driver;

enum { EDIT = 1, LIST = 2, ABORT = 3, NEXT = 4, STATUS1 = 5, STATUS2 = 6, STATUS3 = 7 };
// Install steps: announce, next member, continue the member.
enum { STEP_ANNOUNCE = 1, STEP_NEXT_MEMBER = 2, STEP_CONTINUE = 3 };

// The message boxes' icons and buttons.
const UINT ERROR_BOX = MB_ICONERROR | MB_OK;
const UINT WARNING_BOX = MB_ICONWARNING | MB_OK;
const UINT QUESTION_BOX = MB_ICONQUESTION | MB_YESNO;
const UINT DISK_PROMPT = MB_ICONEXCLAMATION | MB_RETRYCANCEL;

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

// The texts that are whole percentages ("%d %"), as numbers.
inline std::vector<int> Percentages(const std::vector<std::string>& texts)
{
    std::vector<int> values;
    for (const std::string& text : texts) {
        size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') digits++;
        if (digits > 0 && digits <= 3 && text.substr(digits) == " %") values.push_back(std::stoi(text));
    }
    return values;
}

// SETUP.EXE placed in dir as fileName and started in workDir (dir when
// empty) under watch, with its setup dialog on screen.
struct Installer {
    Watched watch;
    Process& process;
    HWND dialog = nullptr;

    explicit Installer(const std::string& dir, const std::string& fileName = "SETUP.EXE",
                       const std::string& workDir = "")
        : watch(PlaceInstaller(dir, fileName), workDir.empty() ? dir : workDir), process(watch.process)
    {
        dialog = WaitWindow(process, "#32770", "BREVANT");
    }

    // Types the entry into the destination field and presses Next.
    void Next(const std::string& entry)
    {
        SetItemText(dialog, EDIT, entry);
        Click(dialog, NEXT);
    }
    // Waits for the extraction layout (the status lines shown).
    bool WaitExtracting(int timeoutMs = DEADLINE_MS)
    {
        for (int waited = 0; waited <= timeoutMs; waited += 10) {
            if (IsItemVisible(dialog, STATUS1)) return true;
            Sleep(10);
        }
        return false;
    }
    // Holds the pump in the middle of the member, from the step after the
    // one that begins it; set before the member begins.
    void HoldInMember(const std::string& name) { watch.HoldAfterText(STATUS2, "Extracting: " + name); }
    // Waits until the pump is held in the middle of that member.
    bool WaitHeldInMember(const std::string& name)
    {
        return watch.WaitHeld() == STEP_CONTINUE && ItemText(dialog, STATUS2) == "Extracting: " + name;
    }
    // A mark through the dialog's queue: what was posted before is done.
    bool Settle() { return watch.Mark(dialog); }
    bool DialogOpen() { return IsWindow(dialog) && IsWindowVisible(dialog); }
    long WaitEnd(int timeoutMs = DEADLINE_MS) { return WaitExit(process, timeoutMs); }
};

// After a refused entry: the warning gone, and the dialog still choosing
// the destination with the entry (upper case) in its field.
inline void ExpectStillChoosing(const Installer& setup, const std::string& entry)
{
    ASSERT_TRUE(WaitNoWindow(setup.process, "#32770", "Brevant"));
    EXPECT_TRUE(IsItemVisible(setup.dialog, EDIT));
    EXPECT_TRUE(IsItemVisible(setup.dialog, NEXT));
    EXPECT_FALSE(IsItemVisible(setup.dialog, STATUS1));
    EXPECT_EQ(ItemText(setup.dialog, EDIT), Upper(entry));
}

// Waits for a box with this text and style, owned by the setup dialog.
inline Box WaitBoxOf(const Installer& setup, const std::string& text, UINT style)
{
    Box box = setup.watch.WaitBox();
    EXPECT_EQ(box.text, text);
    if (!box.window) return box;
    EXPECT_EQ(setup.watch.StyleOf(box), style) << box.text;
    EXPECT_EQ(box.owner, setup.dialog) << "box \"" << box.text << "\" is not owned by the setup dialog";
    return box;
}

// Expects one box with this text and style; answers it.
inline void ExpectBox(const Installer& setup, const std::string& text, UINT style, const std::string& answer = "OK")
{
    Answer(WaitBoxOf(setup, text, style), answer);
}

}  // namespace installer_test
