// Fuzz target: arbitrary bytes as one to three archive volumes, read the way
// the installer reads them (members extracted, then the script), with every
// disk prompt cancelled. Nothing may be written outside the destination.
//
// Input layout: byte 0 chooses the number of volumes (bits 0-1, 1-3) and
// whether continuation headers are put in front of volumes 1 and 2 (bit 2);
// bytes 1-2 and 3-4 place the cuts; the rest is the volume bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/archive.h"
#include "codec/member_decoder.h"
#include "tests/native/recording_host.h"

namespace fs = std::filesystem;

namespace {

fs::path base, source, dest;

void Fail(const char* what, const std::string& path)
{
    std::fprintf(stderr, "reader_fuzz: %s: %s\n", what, path.c_str());
    std::abort();
}

void MakeScratch()
{
    const char* tmp = fs::is_directory("/dev/shm") ? "/dev/shm/bvfuzz-XXXXXX" : "/tmp/bvfuzz-XXXXXX";
    std::string name = tmp;
    if (!mkdtemp(name.data()))
        std::abort();
    base = name;
    source = base / "src";
    dest = base / "dest";
    fs::create_directory(source);
    fs::create_directory(dest);
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    });
}

// True when path, taken lexically, lies below the destination.
bool BelowDestination(const std::string& path)
{
    fs::path normal = fs::path(path).lexically_normal();
    fs::path rel = normal.lexically_relative(dest);
    return !rel.empty() && *rel.begin() != ".." && rel != ".";
}

void WriteVolume(int n, const std::string& bytes)
{
    char name[16];
    std::snprintf(name, sizeof name, "SETUP.E%02X", static_cast<unsigned>(n));
    std::ofstream(source / name, std::ios::binary) << bytes;
}

void Run()
{
    for (;;) {
        if (BeginMember() != 0)
            return;
        if (install.filesDone)
            break;
        if (!BelowDestination(install.outputPath))
            Fail("member written outside the destination", install.outputPath);
        int result = DecodeMember(0);
        while (result == 0 && install.PumpStep == STEP_CONTINUE)
            result = DecodeMember(1);
        if (result != 0)
            return;
        if (memberDecoder.outputCount > memberDecoder.memberSize)
            Fail("member longer than its size", install.outputPath);
    }
    for (;;) {
        int code = ReadScriptRecord();
        if (code == SCRIPT_FAILED || code == SCRIPT_END || code == SCRIPT_PRGEXEC)
            return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (base.empty())
        MakeScratch();
    if (size < 5)
        return 0;
    int volumes = 1 + data[0] % 3;
    bool headers = data[0] & 4;
    std::size_t cut1 = data[1] | data[2] << 8, cut2 = data[3] | data[4] << 8;
    std::string bytes(reinterpret_cast<const char*>(data + 5), size - 5);
    cut1 = volumes > 1 ? cut1 % (bytes.size() + 1) : bytes.size();
    cut2 = volumes > 2 ? cut1 + cut2 % (bytes.size() - cut1 + 1) : bytes.size();

    WriteVolume(0, bytes.substr(0, cut1));
    if (volumes > 1)
        WriteVolume(1, (headers ? "[TARNBOLT 1]" : "") + bytes.substr(cut1, cut2 - cut1));
    if (volumes > 2)
        WriteVolume(2, (headers ? "[TARNBOLT 2]" : "") + bytes.substr(cut2));

    ResetInstallState();
    recordingHost.Install();
    std::snprintf(install.archiveName, sizeof install.archiveName, "SETUP");
    std::snprintf(install.sourceDir, sizeof install.sourceDir, "%s", source.c_str());
    if (OpenFirstVolume() == 0) {
        std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
        Run();
    }
    CloseArchiveStreams();

    for (const auto& made : recordingHost.madeDirectories)
        if (!BelowDestination(made))
            Fail("directory made outside the destination", made);
    for (const auto& e : fs::directory_iterator(base))
        if (e.path() != source && e.path() != dest)
            Fail("stray file", e.path().string());

    std::error_code ignored;
    for (const auto& e : fs::directory_iterator(dest)) {
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(e.path(), ignored);
    }
    for (const auto& e : fs::directory_iterator(source))
        fs::remove(e.path(), ignored);
    return 0;
}
