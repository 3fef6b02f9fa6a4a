// Benchmark of the member codec on a directory of files (the bench kit):
// encode speed and ratio through the archive writer, decode speed through
// the installer's reader and decoder on the console host, and gzip -9 /
// gzip -d on the same files in the same run (one gzip process per file,
// output to a file). Each figure is the median of several runs. Beside the
// wall-clock time, CPU time: ours of this process, gzip's of its processes,
// which stays comparable when other work shares the machine.
//
//   bvbench [KIT_DIR] [--runs N] [--seeds DIR]
//
// --seeds DIR writes a few tiny packed archives into DIR as a fuzzing corpus
// and exits. Each seed is in the reader fuzzer's input layout: one byte
// (volume count - 1, bit 2: continuation headers added), two 16-bit cut
// offsets, then the volume bytes without continuation headers.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/member_encoder.h"
#include "packer/archive/whole_archive_reader.h"
#include "packer/archive/archive_writer.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct File {
    std::string relative;
    fs::path path;
    std::vector<std::uint8_t> data;
};

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// CPU seconds (user and system) used so far by this process, and by its
// children that have been waited for.
double OwnCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ChildrenCpu()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    auto seconds = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6; };
    return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs argv with stdin from in and stdout to out; true when it exits 0.
bool Run(const std::vector<std::string>& args, const std::string& in, const std::string& out)
{
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        int fdIn = open(in.c_str(), O_RDONLY);
        int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdIn < 0 || fdOut < 0)
            _exit(127);
        dup2(fdIn, 0);
        dup2(fdOut, 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::uint64_t FileSize(const fs::path& p)
{
    std::error_code ec;
    auto n = fs::file_size(p, ec);
    return ec ? 0 : n;
}

int WriteSeeds(const std::string& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    std::uint32_t stamp = bv::MakeDosStamp(1997, 3, 15, 12, 30, 0);

    struct Seed {
        const char* name;
        bv::ArchiveInput input;
    };
    std::vector<Seed> seeds;

    bv::ArchiveInput a;   // two members and a group with one item
    a.defaultDest = "C:\\TOOLS";
    a.members.push_back({"README.TXT", bytes("abc"), bv::ATTR_ARCHIVE, stamp});
    a.members.push_back({"DATA\\EMPTY.DAT", {}, bv::ATTR_ARCHIVE | bv::ATTR_READONLY, stamp});
    a.script.group = "Tools";
    a.script.items.push_back("README.TXT,Read me");
    seeds.push_back({"worked_example", a});

    bv::ArchiveInput b;   // matches, blanks from the preset window, a program run
    b.defaultDest = "D:\\APP";
    b.allowChange = false;
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "    line " + std::to_string(i % 7) + " of the text\r\n";
    b.members.push_back({"TEXT.TXT", bytes(text), bv::ATTR_ARCHIVE, stamp});
    b.members.push_back({"ZERO.BIN", std::vector<std::uint8_t>(300, 0), bv::ATTR_ARCHIVE, stamp});
    b.script.program = "NOTEPAD.EXE TEXT.TXT";
    seeds.push_back({"matches_and_run", b});

    bv::ArchiveInput c;   // no members, end record only
    c.defaultDest = "C:\\";
    seeds.push_back({"no_members", c});

    bv::ArchiveInput d;   // one byte, sub-directories, several items, no program
    d.defaultDest = "C:\\KIT";
    d.members.push_back({"A\\B\\C.DAT", {0x41}, bv::ATTR_ARCHIVE | bv::ATTR_HIDDEN, stamp});
    d.script.group = "Kit";
    d.script.items = {"A\\B\\C.DAT", "A\\B\\C.DAT,Title, with comma"};
    seeds.push_back({"items_no_run", d});

    // Each archive once in one volume, and once in three volumes cut where
    // the writer allows it, as far into the payload as it goes.
    for (const Seed& s : seeds) {
        bv::ArchivePayload payload;
        std::string error;
        if (!bv::BuildPayload(s.input, &payload, &error)) {
            std::fprintf(stderr, "bvbench: seed %s: %s\n", s.name, error.c_str());
            return 1;
        }
        std::vector<std::uint64_t> cuts;
        for (std::uint64_t n = 1; n < payload.bytes.size(); n++)
            if (bv::IsAllowedCut(payload, n))
                cuts.push_back(n);
        for (int volumes : {1, 3}) {
            if (volumes == 3 && cuts.size() < 2)
                continue;
            std::size_t header = payload.firstHeader.size();
            std::size_t cut1 = volumes == 3 ? header + cuts[cuts.size() / 3] : 0;
            std::size_t cut2 = volumes == 3 ? header + cuts[cuts.size() * 2 / 3] - cut1 : 0;
            std::string seed;
            seed += static_cast<char>(volumes == 3 ? 5 : 0);   // 5: 1 + 5 % 3 volumes, headers
            seed += static_cast<char>(cut1 & 0xFF);
            seed += static_cast<char>(cut1 >> 8);
            seed += static_cast<char>(cut2 & 0xFF);
            seed += static_cast<char>(cut2 >> 8);
            seed += payload.firstHeader;
            seed.append(payload.bytes.begin(), payload.bytes.end());
            fs::path p = fs::path(dir) / ("packed-" + std::string(s.name) + (volumes == 3 ? "-3vol" : ""));
            std::ofstream out(p, std::ios::binary);
            out << seed;
            if (!out) {
                std::fprintf(stderr, "bvbench: cannot write %s\n", p.c_str());
                return 1;
            }
            std::printf("%s\n", p.c_str());
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string kit = BV_SOURCE_DIR "/../shared/bench/kit";
    int runs = 5;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--seeds" && i + 1 < argc) {
            return WriteSeeds(argv[++i]);
        } else if (a == "--help" || (!a.empty() && a[0] == '-')) {
            std::fprintf(stderr, "usage: bvbench [KIT_DIR] [--runs N] [--seeds DIR]\n");
            return 2;
        } else {
            kit = a;
        }
    }

    std::vector<File> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(kit, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        File f;
        f.path = it->path();
        f.relative = fs::relative(f.path, kit, ec).generic_string();
        std::ifstream in(f.path, std::ios::binary);
        f.data.assign(std::istreambuf_iterator<char>(in), {});
        files.push_back(std::move(f));
    }
    if (ec || files.empty()) {
        std::fprintf(stderr, "bvbench: no files in %s\n", kit.c_str());
        return 3;
    }
    std::sort(files.begin(), files.end(), [](const File& x, const File& y) { return x.relative < y.relative; });

    bv::ArchiveInput input;
    input.defaultDest = "C:\\BENCH";
    std::uint64_t inputBytes = 0;
    for (const File& f : files) {
        std::string path = f.relative;
        std::replace(path.begin(), path.end(), '/', '\\');
        input.members.push_back({path, f.data, bv::ATTR_ARCHIVE, bv::MakeDosStamp(2000, 1, 1, 0, 0, 0)});
        inputBytes += f.data.size();
    }

    char scratchName[] = "/tmp/bvbench-XXXXXX";
    if (mkdtemp(scratchName) == nullptr) {
        std::fprintf(stderr, "bvbench: cannot make a scratch directory\n");
        return 3;
    }
    fs::path scratch = scratchName;
    fs::path volumesDir = scratch / "volumes", outDir = scratch / "out", gzDir = scratch / "gz";
    fs::create_directories(volumesDir);
    fs::create_directories(outDir);
    fs::create_directories(gzDir);

    std::vector<double> encodeTimes, decodeTimes, gzipTimes, gunzipTimes;
    std::vector<double> encodeCpu, decodeCpu, gzipCpu, gunzipCpu;
    std::uint64_t streamBytes = 0, archiveBytes = 0, gzipBytes = 0;
    bool gzipOk = true;
    for (int run = 0; run < runs; run++) {
        // Encode: compress every member and lay out the archive in memory.
        double c0 = OwnCpu();
        auto t0 = Clock::now();
        bv::ArchivePayload payload;
        std::string error;
        if (!bv::BuildPayload(input, &payload, &error)) {
            std::fprintf(stderr, "bvbench: %s\n", error.c_str());
            return 1;
        }
        auto t1 = Clock::now();
        encodeTimes.push_back(Seconds(t0, t1));
        encodeCpu.push_back(OwnCpu() - c0);
        streamBytes = 0;
        for (std::size_t k = 0; k < payload.cuts.size(); k++)
            if (payload.cuts[k].last > payload.cuts[k].first)
                streamBytes += payload.cuts[k].last - payload.cuts[k].first;
        std::vector<std::vector<std::uint8_t>> volumes;
        if (!bv::SplitPayload(payload, bv::VOLUME_UNLIMITED, &volumes, &error) ||
            !bv::WriteVolumeFiles(volumesDir.string(), "BENCH", volumes, &error)) {
            std::fprintf(stderr, "bvbench: %s\n", error.c_str());
            return 3;
        }
        archiveBytes = volumes[0].size();

        // Decode: the installer's reader, members written to files.
        c0 = OwnCpu();
        t0 = Clock::now();
        bv::ReadResult r = bv::ReadArchive(volumesDir.string(), "BENCH", outDir.string(), true);
        t1 = Clock::now();
        if (!r.ok) {
            std::fprintf(stderr, "bvbench: decode failed: %s\n", r.error.c_str());
            return 1;
        }
        decodeTimes.push_back(Seconds(t0, t1));
        decodeCpu.push_back(OwnCpu() - c0);
        for (const File& f : files) {
            std::ifstream back(outDir / f.relative, std::ios::binary);
            std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(back)), {});
            if (data != f.data) {
                std::fprintf(stderr, "bvbench: %s decoded wrongly\n", f.relative.c_str());
                return 1;
            }
        }

        // gzip -9 and gzip -d, one process per file, output to a file.
        double gz = 0, gunz = 0, gzCpu = 0, gunzCpu = 0;
        gzipBytes = 0;
        for (std::size_t k = 0; k < files.size() && gzipOk; k++) {
            fs::path packed = gzDir / (std::to_string(k) + ".gz"), unpacked = gzDir / std::to_string(k);
            double u0 = ChildrenCpu();
            auto g0 = Clock::now();
            gzipOk = Run({"gzip", "-9", "-c"}, files[k].path.string(), packed.string());
            auto g1 = Clock::now();
            double u1 = ChildrenCpu();
            gzipOk = gzipOk && Run({"gzip", "-d", "-c"}, packed.string(), unpacked.string());
            auto g2 = Clock::now();
            gz += Seconds(g0, g1);
            gunz += Seconds(g1, g2);
            gzCpu += u1 - u0;
            gunzCpu += ChildrenCpu() - u1;
            gzipBytes += FileSize(packed);
        }
        if (gzipOk) {
            gzipTimes.push_back(gz);
            gunzipTimes.push_back(gunz);
            gzipCpu.push_back(gzCpu);
            gunzipCpu.push_back(gunzCpu);
        }
    }
    fs::remove_all(scratch, ec);

    // For reference: the same encoder with a greedy parse (longest match).
    std::uint64_t greedyBytes = 0;
    for (const File& f : files)
        greedyBytes += EncodeMember(f.data.data(), f.data.size(), EncodeParse::Greedy).size();

    const double mb = static_cast<double>(inputBytes) / 1e6;
    double enc = Median(encodeTimes), dec = Median(decodeTimes);
    double encCpu = Median(encodeCpu), decCpu = Median(decodeCpu);
    std::printf("kit: %s, %zu files, %.2f MB; median of %d runs\n\n", kit.c_str(), files.size(), mb, runs);
    std::printf("%-28s %10s %10s %10s %12s\n", "", "MB/s", "seconds", "CPU s", "ratio");
    std::printf("%-28s %10.2f %10.3f %10.3f %12.4f\n", "bvpack encode (streams)", mb / enc, enc, encCpu,
                static_cast<double>(streamBytes) / static_cast<double>(inputBytes));
    std::printf("%-28s %10s %10s %10s %12.4f\n", "  whole archive", "", "", "",
                static_cast<double>(archiveBytes) / static_cast<double>(inputBytes));
    std::printf("%-28s %10s %10s %10s %12.4f\n", "  greedy parse, for reference", "", "", "",
                static_cast<double>(greedyBytes) / static_cast<double>(inputBytes));
    std::printf("%-28s %10.2f %10.3f %10.3f\n", "installer decode", mb / dec, dec, decCpu);
    if (gzipOk && !gzipTimes.empty()) {
        double gz = Median(gzipTimes), gunz = Median(gunzipTimes);
        double gzCpu = Median(gzipCpu), gunzCpu = Median(gunzipCpu);
        std::printf("%-28s %10.2f %10.3f %10.3f %12.4f\n", "gzip -9 (process per file)", mb / gz, gz, gzCpu,
                    static_cast<double>(gzipBytes) / static_cast<double>(inputBytes));
        std::printf("%-28s %10.2f %10.3f %10.3f\n", "gzip -d (process per file)", mb / gunz, gunz, gunzCpu);
        std::printf("\nencode / gzip -9: %.2f of the time, %.2f of the CPU time\n", enc / gz, encCpu / gzCpu);
        std::printf("decode / gzip -d: %.2f of the time, %.2f of the CPU time\n", dec / gunz, decCpu / gunzCpu);
    } else {
        std::printf("gzip: not available\n");
    }
    return 0;
}
