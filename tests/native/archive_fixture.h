// A scratch source and destination directory for reader tests, the
// recording host installed and the install record reset.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/archive.h"
#include "tests/native/recording_host.h"
#include "tests/native/scratch_dir.h"

class ArchiveFixture : public ::testing::Test {
protected:
    std::filesystem::path root, source, dest;

    void SetUp() override
    {
        root = MakeScratchDir("bvtest");
        source = root / "src";
        dest = root / "dest";
        std::filesystem::create_directory(source);
        std::filesystem::create_directory(dest);
        ResetInstallState();
        recordingHost.Install();
        std::snprintf(install.archiveName, sizeof install.archiveName, "SETUP");
        std::snprintf(install.sourceDir, sizeof install.sourceDir, "%s", source.c_str());
        std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    }

    void TearDown() override
    {
        CloseArchiveStreams();
        RemoveScratchDir(root);
    }

    static std::string VolumeName(int n)
    {
        char name[32];
        std::snprintf(name, sizeof name, "SETUP.E%02X", static_cast<unsigned>(n));
        return name;
    }

    // Writes volume n; volumes after 0 get their continuation header first
    // unless raw is set.
    void WriteVolume(int n, const std::string& bytes, bool raw = false)
    {
        std::string all = bytes;
        if (n > 0 && !raw)
            all = "[TARNBOLT " + std::to_string(n) + "]" + bytes;
        WriteFile(source / VolumeName(n), all);
    }

    static void WriteFile(const std::filesystem::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::string ReadFile(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Writes volume 0 with a valid header and the payload, opens it, and
    // points destDir back at the scratch destination.
    void OpenPayload(const std::string& bytes)
    {
        WriteVolume(0, std::string(kHeader) + bytes);
        install.volumeNumber = 0;
        ASSERT_EQ(OpenFirstVolume(), 0);
        std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    }

    // Opens an output file for the decoder, as BeginMember does.
    void OpenOutput(const char* name = "out.bin")
    {
        std::snprintf(install.outputPath, sizeof install.outputPath, "%s", (dest / name).c_str());
        install.outputStream = std::fopen(install.outputPath, "wb");
        ASSERT_NE(install.outputStream, nullptr);
    }

    static constexpr const char* kHeader = "[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]";
};
