// Benchmark of the member codec on a directory of files (the bench kit):
// encode speed and ratio through the archive writer, decode speed through
// the installer's reader and decoder on the console host, and in the same
// run zlib (deflate level 9, and inflate with its output written to a file
// as ours is, in this process) and gzip -9 / gzip -d (one process each, on
// the files concatenated into one). Each figure is the median of several
// runs. Beside the wall-clock time, CPU time: ours and zlib's of this
// process, gzip's of its process, which stays comparable when other work
// shares the machine.
//
//   bvbench [KIT_DIR] [--runs N] [--seeds DIR]
//   bvbench [KIT_DIR] [--runs N] --compare BVPACK_A BVPACK_B
//
// --seeds DIR writes a few tiny packed archives into DIR as a fuzzing corpus
// and exits. Each seed is in the reader fuzzer's input layout: one byte
// (volume count - 1, bit 2: continuation headers added), two 16-bit cut
// offsets, then the volume bytes without continuation headers.
//
// --compare packs the kit once and times `bvpack test` of it with two builds
// of bvpack (an older one and this one, say), in alternating rounds, so that
// both see the same machine: CPU time and wall time of each, and their
// ratio.
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

#include <zlib.h>

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
    std::vector<std::uint8_t> deflated;   // zlib stream, level 9
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

// One figure: median wall and CPU seconds of the runs.
struct Timing {
    std::vector<double> wall, cpu;

    void Add(double w, double c)
    {
        wall.push_back(w);
        cpu.push_back(c);
    }
    bool Empty() const { return wall.empty(); }
    double Wall() const { return Median(wall); }
    double Cpu() const { return Median(cpu); }
};

// A row of the table: MB/s by wall and by CPU time, the times, and the
// size ratio where there is one.
void PrintRow(const char* what, double mb, const Timing& t, double ratio = -1)
{
    std::printf("%-30s %9.2f %9.2f %9.3f %9.3f", what, mb / t.Wall(), mb / t.Cpu(), t.Wall(), t.Cpu());
    if (ratio >= 0)
        std::printf(" %9.4f", ratio);
    std::printf("\n");
}

bool Deflate(File& f)
{
    uLongf size = compressBound(static_cast<uLong>(f.data.size()));
    f.deflated.resize(size);
    if (compress2(f.deflated.data(), &size, f.data.data(), static_cast<uLong>(f.data.size()), 9) != Z_OK)
        return false;
    f.deflated.resize(size);
    return true;
}

bool Inflate(const File& f, std::vector<std::uint8_t>& out)
{
    out.resize(f.data.size());
    uLongf size = static_cast<uLongf>(out.size());
    return uncompress(out.data(), &size, f.deflated.data(), static_cast<uLong>(f.deflated.size())) == Z_OK &&
           size == out.size();
}

// Times `bvpack test` of the archive with two builds, alternating which
// goes first, and prints both and their ratio.
int CompareBuilds(const std::string& a, const std::string& b, const fs::path& archive, double mb, int runs)
{
    const std::string builds[2] = {a, b};
    Timing t[2];
    for (int run = 0; run < runs; run++) {
        for (int k = 0; k < 2; k++) {
            int which = (run % 2 == 0) ? k : 1 - k;
            double c0 = ChildrenCpu();
            auto t0 = Clock::now();
            bool ok = Run({builds[which], "test", archive.string(), "--quiet"}, "/dev/null", "/dev/null");
            auto t1 = Clock::now();
            if (!ok) {
                std::fprintf(stderr, "bvbench: %s test %s failed\n", builds[which].c_str(), archive.c_str());
                return 1;
            }
            t[which].Add(Seconds(t0, t1), ChildrenCpu() - c0);
        }
    }
    std::printf("bvpack test of the kit archive, %.2f MB, %d alternating runs each (median)\n\n", mb, runs);
    std::printf("%-30s %9s %9s %9s %9s\n", "", "MB/s", "CPU MB/s", "seconds", "CPU s");
    PrintRow(("A " + a).c_str(), mb, t[0]);
    PrintRow(("B " + b).c_str(), mb, t[1]);
    std::printf("\nB / A: %.2fx the speed by CPU time, %.2fx by wall time\n", t[0].Cpu() / t[1].Cpu(),
                t[0].Wall() / t[1].Wall());
    return 0;
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
    std::string compareA, compareB;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--seeds" && i + 1 < argc) {
            return WriteSeeds(argv[++i]);
        } else if (a == "--compare" && i + 2 < argc) {
            compareA = argv[++i];
            compareB = argv[++i];
        } else if (a == "--help" || (!a.empty() && a[0] == '-')) {
            std::fprintf(stderr, "usage: bvbench [KIT_DIR] [--runs N] [--seeds DIR]\n"
                                 "       bvbench [KIT_DIR] [--runs N] --compare BVPACK_A BVPACK_B\n");
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
    const double mb = static_cast<double>(inputBytes) / 1e6;

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

    if (!compareA.empty()) {
        std::vector<std::vector<std::uint8_t>> volumes;
        std::string error;
        if (!bv::WriteArchive(input, bv::VOLUME_UNLIMITED, &volumes, &error) ||
            !bv::WriteVolumeFiles(volumesDir.string(), "BENCH", volumes, &error)) {
            std::fprintf(stderr, "bvbench: %s\n", error.c_str());
            return 3;
        }
        int result = CompareBuilds(compareA, compareB, volumesDir / "BENCH", mb, runs);
        fs::remove_all(scratch, ec);
        return result;
    }

    // The files as one, for gzip.
    fs::path all = gzDir / "all", allPacked = gzDir / "all.gz", allUnpacked = gzDir / "all.out";
    {
        std::ofstream out(all, std::ios::binary);
        for (const File& f : files)
            out.write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
        if (!out) {
            std::fprintf(stderr, "bvbench: cannot write %s\n", all.c_str());
            return 3;
        }
    }

    Timing encode, decode, deflate, inflate, gzip, gunzip;
    std::uint64_t streamBytes = 0, archiveBytes = 0, deflatedBytes = 0, gzipBytes = 0;
    bool gzipOk = true;
    std::vector<std::uint8_t> inflated;
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
        encode.Add(Seconds(t0, t1), OwnCpu() - c0);
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
        decode.Add(Seconds(t0, t1), OwnCpu() - c0);
        for (const File& f : files) {
            std::ifstream back(outDir / f.relative, std::ios::binary);
            std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(back)), {});
            if (data != f.data) {
                std::fprintf(stderr, "bvbench: %s decoded wrongly\n", f.relative.c_str());
                return 1;
            }
        }

        // zlib in this process: deflate level 9, then inflate into memory.
        c0 = OwnCpu();
        t0 = Clock::now();
        deflatedBytes = 0;
        for (File& f : files) {
            if (!Deflate(f)) {
                std::fprintf(stderr, "bvbench: zlib cannot compress %s\n", f.relative.c_str());
                return 1;
            }
            deflatedBytes += f.deflated.size();
        }
        t1 = Clock::now();
        deflate.Add(Seconds(t0, t1), OwnCpu() - c0);
        // Inflated into memory and written to a file, as our decoder writes
        // its members.
        double inflateWall = 0, inflateCpu = 0;
        fs::path inflatedFile = gzDir / "inflated";
        for (const File& f : files) {
            c0 = OwnCpu();
            t0 = Clock::now();
            bool ok = Inflate(f, inflated);
            std::FILE* out = std::fopen(inflatedFile.c_str(), "wb");
            ok = ok && out != nullptr && std::fwrite(inflated.data(), 1, inflated.size(), out) == inflated.size();
            if (out != nullptr)
                ok = std::fclose(out) == 0 && ok;
            t1 = Clock::now();
            inflateWall += Seconds(t0, t1);
            inflateCpu += OwnCpu() - c0;
            if (!ok || inflated != f.data) {
                std::fprintf(stderr, "bvbench: zlib inflated %s wrongly\n", f.relative.c_str());
                return 1;
            }
        }
        inflate.Add(inflateWall, inflateCpu);

        // gzip -9 and gzip -d, one process each on the concatenated files,
        // output to a file.
        if (gzipOk) {
            double u0 = ChildrenCpu();
            auto g0 = Clock::now();
            gzipOk = Run({"gzip", "-9", "-c"}, all.string(), allPacked.string());
            auto g1 = Clock::now();
            double u1 = ChildrenCpu();
            gzipOk = gzipOk && Run({"gzip", "-d", "-c"}, allPacked.string(), allUnpacked.string());
            auto g2 = Clock::now();
            gzipOk = gzipOk && FileSize(allUnpacked) == inputBytes;
            if (gzipOk) {
                gzip.Add(Seconds(g0, g1), u1 - u0);
                gunzip.Add(Seconds(g1, g2), ChildrenCpu() - u1);
                gzipBytes = FileSize(allPacked);
            }
        }
    }
    fs::remove_all(scratch, ec);

    // For reference: the same encoder with a greedy parse (longest match).
    std::uint64_t greedyBytes = 0;
    for (const File& f : files)
        greedyBytes += EncodeMember(f.data.data(), f.data.size(), EncodeParse::Greedy).size();

    auto ratio = [&](std::uint64_t bytes) { return static_cast<double>(bytes) / static_cast<double>(inputBytes); };
    std::printf("kit: %s, %zu files, %.2f MB; median of %d runs\n\n", kit.c_str(), files.size(), mb, runs);
    std::printf("%-30s %9s %9s %9s %9s %9s\n", "", "MB/s", "CPU MB/s", "seconds", "CPU s", "ratio");
    PrintRow("bvpack encode (streams)", mb, encode, ratio(streamBytes));
    std::printf("%-30s %49.4f\n", "  whole archive", ratio(archiveBytes));
    std::printf("%-30s %49.4f\n", "  greedy parse, for reference", ratio(greedyBytes));
    PrintRow("installer decode", mb, decode);
    PrintRow("zlib deflate -9 (in process)", mb, deflate, ratio(deflatedBytes));
    PrintRow("zlib inflate (in process)", mb, inflate);   // to a file, as ours
    if (gzipOk && !gzip.Empty()) {
        PrintRow("gzip -9 (one file)", mb, gzip, ratio(gzipBytes));
        PrintRow("gzip -d (one file)", mb, gunzip);
    } else {
        std::printf("gzip: not available\n");
    }
    std::printf("\nencode / zlib deflate -9: %.2f of the time, %.2f of the CPU time\n", encode.Wall() / deflate.Wall(),
                encode.Cpu() / deflate.Cpu());
    std::printf("decode / zlib inflate:    %.2f of the time, %.2f of the CPU time\n", decode.Wall() / inflate.Wall(),
                decode.Cpu() / inflate.Cpu());
    if (gzipOk && !gzip.Empty())
        std::printf("decode / gzip -d:         %.2f of the time, %.2f of the CPU time\n", decode.Wall() / gunzip.Wall(),
                    decode.Cpu() / gunzip.Cpu());
    return 0;
}
