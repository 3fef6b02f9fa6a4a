// Installation benchmark: installs a packed kit with the real SETUP.EXE, as a
// user would (Next, Yes to create the destination), and times it.
//   install_bench KIT_DIR [RUNS]
//     several installations of one kit; prints the install time and the
//     install steps counted inside SETUP.EXE by the step counter hook,
//     against the step count the archive calls for.
//   install_bench --compare RUNS LABEL KIT_DIR ONE_DIR [LABEL KIT_DIR ONE_DIR]...
//     installers side by side: in each round, every installer installs its
//     one-member release ONE_DIR and its kit KIT_DIR, the installers in
//     turn (the order reversed every other round). The time of an
//     installation less the one-member installation's is the time the
//     installer spends on the kit's members; medians and the ratios to the
//     first installer's are printed. Each kit is installed once untimed
//     before the rounds. No hook is loaded.
// KIT_DIR holds SETUP.EXE, SETUP.E00, ... and SIZES.TXT, the member sizes
// of the archive in order, one a line. Each run installs to a fresh D:\BENCHn.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"

using namespace driver;

namespace {

enum { EDIT = 1, NEXT = 4 };
constexpr std::uint64_t SLICE = 2048;   // a slice ends at the first token boundary at or after this

struct Expected {
    std::uint64_t members = 0, bytes = 0;
    std::uint64_t step2 = 0, step3 = 0;   // step 2 includes the one that reads the end-of-files record
    std::uint64_t line3 = 0;              // texts on status line 3, if every slice gave exactly 2048 bytes
    std::uint64_t line3Repeats = 0;       // of which the same text as before
};

// What the archive calls for: one announce; per member one step 2 for its
// record and first slice and one step 3 per further slice; one step 2 that
// reads the end-of-files record. Slices overshoot 2048 bytes by up to a
// match, so the real count of step 3 may fall a little short of this.
Expected ExpectFromSizes(const std::vector<std::uint64_t>& sizes)
{
    Expected e;
    for (std::uint64_t size : sizes) {
        std::uint64_t slices = std::max<std::uint64_t>(1, (size + SLICE - 1) / SLICE);
        e.members++;
        e.bytes += size;
        e.step2++;
        e.step3 += slices - 1;
        // "0 %" when the member opens, one text per changed percentage after
        // each slice, "100 %" when the member is finished.
        e.line3 += 2;
        if (size == 0) continue;
        long last = -1;
        for (std::uint64_t n = 1; n <= slices; n++) {
            long pc = static_cast<long>(std::min(n * SLICE, size) * 100 / size);
            if (pc != last) e.line3++;
            if (n == 1 && pc == 0) e.line3Repeats++;   // "0 %" again after the opening one
            last = pc;
        }
        e.line3Repeats++;   // "100 %" from the finish after the last slice's
    }
    e.step2++;
    e.line3++;   // the script phase clears the status lines
    return e;
}

struct Run {
    double installMs = 0;   // Next pressed to the end of SETUP.EXE (the create question included)
    double next = 0, answered = 0, exited = 0;   // performance-counter seconds
    std::map<std::string, double> counted;   // from the hook's report
    std::uint64_t files = 0, bytes = 0;      // installed
};

std::map<std::string, double> ReadReport(const std::string& path)
{
    std::map<std::string, double> values;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = std::atof(line.c_str() + equals + 1);
    }
    return values;
}

void CountTree(const std::string& dir, std::uint64_t* files, std::uint64_t* bytes)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CountTree(dir + "\\" + name, files, bytes);
        } else {
            ++*files;
            *bytes += (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HOOKPROC HookProc(HMODULE library, const char* name, int argBytes)
{
    FARPROC found = GetProcAddress(library, (std::string(name) + "@" + std::to_string(argBytes)).c_str());
    if (!found) found = GetProcAddress(library, name);
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(found));
}

bool Fail(const std::string& what)
{
    std::fprintf(stderr, "install_bench: %s\n", what.c_str());
    return false;
}

// Next, Yes to the create question, and the wait for SETUP.EXE's end,
// timed from Next; false, said on stderr, unless it ended well.
bool NextYesAndEnd(Process& setup, HWND dialog, Run* run)
{
    run->next = Seconds();
    Click(dialog, NEXT);
    Box question = WaitBox(setup, "Brevant", 60000);
    if (question.text.rfind("The specified directory", 0) != 0) {
        Kill(setup);
        return Fail("unexpected box: " + question.text);
    }
    Answer(question, "Yes");
    run->answered = Seconds();
    long code = WaitExit(setup, 1800000);
    run->exited = Seconds();
    run->installMs = (run->exited - run->next) * 1000;
    return code == 0 || Fail("SETUP.EXE did not end well");
}

// The same with the step counter hook in SETUP.EXE; its report read into the run.
bool CountedNextYesAndEnd(Process& setup, HWND dialog, const std::string& report, Run* run)
{
    HMODULE library = LoadLibraryA(WinPath(BV_STEP_HOOK).c_str());
    if (!library) return Fail("cannot load the step counter hook");
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    HOOKPROC steps = HookProc(library, "CountStepsHook", 12), texts = HookProc(library, "CountTextsHook", 12);
    HHOOK stepHook = steps ? SetWindowsHookExA(WH_GETMESSAGE, steps, library, thread) : nullptr;
    HHOOK textHook = texts ? SetWindowsHookExA(WH_CALLWNDPROC, texts, library, thread) : nullptr;
    if (!stepHook || !textHook) return Fail("cannot hook the installer's thread");
    // The hook library enters SETUP.EXE with the first message its thread
    // takes: a message sent there returns once the WH_CALLWNDPROC hook has
    // run, so the library's loading is over before the timed part.
    DWORD_PTR ignored = 0;
    bool ended = SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored)
                     ? NextYesAndEnd(setup, dialog, run)
                     : Fail("SETUP.EXE's thread did not take the hook library");
    UnhookWindowsHookEx(stepHook);
    UnhookWindowsHookEx(textHook);
    FreeLibrary(library);
    if (!ended) return false;

    run->counted = ReadReport(report);
    return !run->counted.empty() || Fail("no step report from inside SETUP.EXE (" + report + ")");
}

// One installation into a fresh destination; with the step counter hook
// in SETUP.EXE when counted.
bool InstallOnce(const std::string& kit, int number, Run* run, bool counted = true)
{
    std::string dest;
    for (int n = number; dest.empty() || Exists(dest); n += 10) {
        dest = "D:\\BENCH" + std::to_string(n);
        RemoveTree(dest);
    }
    std::string report = kit + "\\STEPS" + std::to_string(number) + ".TXT";
    DeleteFileA(report.c_str());
    SetEnvironmentVariableA("BV_STEP_REPORT", report.c_str());   // SETUP.EXE inherits it

    Process setup = Start(kit + "\\SETUP.EXE", kit);
    HWND dialog = WaitWindow(setup, "#32770", "BREVANT", 60000);
    if (!dialog) return Fail("no setup dialog\n" + DescribeScreen());
    SetItemText(dialog, EDIT, dest);
    if (!(counted ? CountedNextYesAndEnd(setup, dialog, report, run) : NextYesAndEnd(setup, dialog, run)))
        return false;
    CountTree(dest, &run->files, &run->bytes);
    RemoveTree(dest);
    RemoveDirectoryA(dest.c_str());
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Row(const char* label, const std::vector<Run>& runs, double (*value)(const Run&), const char* format,
         const std::string& expected = "")
{
    std::vector<double> values;
    std::printf("%-30s", label);
    for (const Run& run : runs) {
        values.push_back(value(run));
        std::printf(format, values.back());
    }
    std::printf(format, Median(values));
    std::printf("  %s\n", expected.c_str());
}

double Count(const Run& run, const char* key)
{
    auto found = run.counted.find(key);
    return found == run.counted.end() ? 0 : found->second;
}

double Steps(const Run& r)
{
    return Count(r, "steps_1") + Count(r, "steps_2") + Count(r, "steps_3") + Count(r, "steps_other");
}

std::string KitPath(std::string path)
{
    return !path.empty() && path[0] == '/' ? WinPath(path) : path;
}

std::vector<std::uint64_t> MemberSizes(const std::string& kit)
{
    std::vector<std::uint64_t> sizes;
    std::istringstream sizeLines(ReadFile(kit + "\\SIZES.TXT"));
    for (std::string line; std::getline(sizeLines, line);)
        if (!line.empty()) sizes.push_back(std::strtoull(line.c_str(), nullptr, 10));
    return sizes;
}

struct Installer {
    std::string label, kit, one;
    Expected kitExpected, oneExpected;
    std::vector<double> kitSeconds, oneSeconds, netSeconds;
};

// Installers side by side, interleaved round by round.
int Compare(int rounds, std::vector<Installer> installers)
{
    for (Installer& in : installers) {
        std::vector<std::uint64_t> kitSizes = MemberSizes(in.kit), oneSizes = MemberSizes(in.one);
        if (kitSizes.empty() || oneSizes.size() != 1)
            return Fail("no member sizes, or not one member, in " + in.kit + " / " + in.one), 1;
        in.kitExpected = ExpectFromSizes(kitSizes);
        in.oneExpected = ExpectFromSizes(oneSizes);
    }
    // One untimed installation of each kit first: the first start of a
    // program and the first read of its volumes are slower than the rest.
    int number = 0;
    for (Installer& in : installers) {
        Run warm;
        if (!InstallOnce(in.kit, ++number, &warm, false)) return 1;
    }
    for (int round = 1; round <= rounds; round++) {
        for (size_t k = 0; k < installers.size(); k++) {
            Installer& in = installers[round % 2 ? k : installers.size() - 1 - k];
            Run one, kit;
            if (!InstallOnce(in.one, ++number, &one, false) || !InstallOnce(in.kit, ++number, &kit, false)) return 1;
            if (one.files != 1 || one.bytes != in.oneExpected.bytes || kit.files != in.kitExpected.members ||
                kit.bytes != in.kitExpected.bytes)
                return Fail(in.label + ": an installation did not complete"), 1;
            in.oneSeconds.push_back(one.installMs / 1000);
            in.kitSeconds.push_back(kit.installMs / 1000);
            in.netSeconds.push_back((kit.installMs - one.installMs) / 1000);
            std::fprintf(stderr, "install_bench: round %d, %s: kit %.2f s, one member %.2f s\n", round,
                         in.label.c_str(), kit.installMs / 1000, one.installMs / 1000);
        }
    }

    const Expected& e = installers[0].kitExpected;
    std::printf("installation of %llu members, %llu bytes; %d rounds, the installers in turn; medians\n",
                static_cast<unsigned long long>(e.members), static_cast<unsigned long long>(e.bytes), rounds);
    // Per installer: the medians, and the least of the rounds' differences
    // (other load on the machine only ever adds time).
    std::printf("%-30s %8s %8s %14s %8s %8s %8s %8s\n", "", "kit", "one", "kit less one", "", "best", "", "");
    std::printf("%-30s %8s %8s %14s %8s %8s %8s %8s\n", "installer", "(s)", "(s)", "(s)", "ratio", "(s)", "MB/s",
                "ratio");
    double baseMedian = Median(installers[0].netSeconds);
    double baseBest = *std::min_element(installers[0].netSeconds.begin(), installers[0].netSeconds.end());
    for (const Installer& in : installers) {
        double net = Median(in.netSeconds), best = *std::min_element(in.netSeconds.begin(), in.netSeconds.end());
        std::printf("%-30s %8.2f %8.2f %14.2f %8.2f %8.2f %8.2f %8.2f\n", in.label.c_str(), Median(in.kitSeconds),
                    Median(in.oneSeconds), net, net > 0 ? baseMedian / net : 0.0, best,
                    best > 0 ? static_cast<double>(e.bytes) / 1e6 / best : 0.0, best > 0 ? baseBest / best : 0.0);
    }
    std::printf("Wall time from Next to SETUP.EXE's exit (the create question answered at once), medians of\n"
                "the rounds. \"kit less one\": in each round, the kit's installation less a one-member\n"
                "installation (start-up, dialogs, script, exit): its median, and its best (least) round with\n"
                "MB/s over it. Ratio: the first installer's time over this one's (above 1: faster). Other load\n"
                "on the machine only adds time: run it on an otherwise idle machine, with more rounds.\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "--compare") {
        if (argc < 6 || (argc - 3) % 3 != 0) {
            std::fprintf(stderr, "usage: install_bench --compare RUNS LABEL KIT_DIR ONE_DIR [LABEL KIT_DIR ONE_DIR]...\n");
            return 2;
        }
        std::vector<Installer> installers;
        for (int i = 3; i + 2 < argc; i += 3) {
            Installer in;
            in.label = argv[i];
            in.kit = KitPath(argv[i + 1]);
            in.one = KitPath(argv[i + 2]);
            installers.push_back(in);
        }
        return Compare(std::max(1, std::atoi(argv[2])), installers);
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: install_bench KIT_DIR [RUNS]\n"
                             "       install_bench --compare RUNS LABEL KIT_DIR ONE_DIR [LABEL KIT_DIR ONE_DIR]...\n");
        return 2;
    }
    std::string kit = KitPath(argv[1]);
    int count = argc == 3 ? std::atoi(argv[2]) : 3;
    if (count < 1) count = 1;

    std::vector<std::uint64_t> sizes = MemberSizes(kit);
    if (sizes.empty()) return Fail("no member sizes in " + kit + "\\SIZES.TXT"), 1;
    Expected e = ExpectFromSizes(sizes);

    std::vector<Run> runs;
    for (int n = 1; n <= count; n++) {
        Run run;
        if (!InstallOnce(kit, n, &run)) return 1;
        std::fprintf(stderr, "install_bench: run %d: %.2f s\n", n, run.installMs / 1000);
        runs.push_back(run);
    }

    std::printf("installation of %llu members, %llu bytes, from %s\n", static_cast<unsigned long long>(e.members),
                static_cast<unsigned long long>(e.bytes), kit.c_str());
    std::printf("%-30s", "");
    for (int n = 1; n <= count; n++) std::printf("%10s", ("run " + std::to_string(n)).c_str());
    std::printf("%10s  %s\n", "median", "expected from the archive");
    auto num = [](std::uint64_t v) { return std::to_string(v); };
    Row("install time, Next to exit (s)", runs, [](const Run& r) { return r.installMs / 1000; }, "%10.2f");
    Row("  Next to Yes answered (s)", runs, [](const Run& r) { return r.answered - r.next; }, "%10.2f");
    Row("  Yes to the layout (s)", runs, [](const Run& r) { return Count(r, "layout_s") - r.answered; },
        "%10.2f");
    Row("  layout to the first idle (s)", runs,
        [](const Run& r) { return Count(r, "first_idle_s") - Count(r, "layout_s"); }, "%10.2f");
    Row("  first idle to step 1 (s)", runs,
        [](const Run& r) { return Count(r, "first_step_s") - Count(r, "first_idle_s"); }, "%10.2f");
    Row("  pump, first to last step (s)", runs, [](const Run& r) { return Count(r, "pump_ms") / 1000; }, "%10.2f");
    Row("  last step to dialog end (s)", runs,
        [](const Run& r) { return Count(r, "dialog_destroyed_s") - Count(r, "pump_end_s"); }, "%10.2f");
    Row("  dialog end to window end (s)", runs,
        [](const Run& r) { return Count(r, "main_destroyed_s") - Count(r, "dialog_destroyed_s"); }, "%10.2f");
    Row("  window end to exit (s)", runs, [](const Run& r) { return r.exited - Count(r, "main_destroyed_s"); },
        "%10.2f");
    Row("install steps", runs, Steps, "%10.0f", num(1 + e.step2 + e.step3) + " (at most)");
    Row("  1 announce", runs, [](const Run& r) { return Count(r, "steps_1"); }, "%10.0f", "1");
    Row("  2 next member", runs, [](const Run& r) { return Count(r, "steps_2"); }, "%10.0f",
        num(e.step2) + " (members + end-of-files record)");
    Row("  3 continue a member", runs, [](const Run& r) { return Count(r, "steps_3"); }, "%10.0f",
        num(e.step3) + " (at most: slices of exactly 2048 bytes)");
    Row("  other codes", runs, [](const Run& r) { return Count(r, "steps_other"); }, "%10.0f", "0");
    Row("idle notifications", runs, [](const Run& r) { return Count(r, "idles"); }, "%10.0f");
    Row("time per step (ms)", runs, [](const Run& r) { return Count(r, "pump_ms") / std::max(1.0, Steps(r)); },
        "%10.3f");
    Row("  per step 2 (ms)", runs,
        [](const Run& r) { return Count(r, "ms_after_2") / std::max(1.0, Count(r, "steps_2")); }, "%10.3f");
    Row("  per step 3 (ms)", runs,
        [](const Run& r) { return Count(r, "ms_after_3") / std::max(1.0, Count(r, "steps_3")); }, "%10.3f");
    Row("line 3 texts (control 7)", runs, [](const Run& r) { return Count(r, "line3_texts"); }, "%10.0f",
        num(e.line3) + " (about: one per changed percentage)");
    Row("  same text again", runs, [](const Run& r) { return Count(r, "line3_repeats"); }, "%10.0f",
        num(e.line3Repeats) + " (\"0 %\" again after a first slice under 1 %; the finish's \"100 %\")");
    Row("line 2 texts (control 6)", runs, [](const Run& r) { return Count(r, "line2_texts"); }, "%10.0f",
        num(e.members + 1));
    Row("files installed", runs, [](const Run& r) { return static_cast<double>(r.files); }, "%10.0f", num(e.members));
    Row("bytes installed", runs, [](const Run& r) { return static_cast<double>(r.bytes); }, "%10.0f", num(e.bytes));
    std::printf("time per step: pump time over steps; per step 2/3: from the step to the next pump message.\n"
                "The bed runs Wine's virtual desktop: no window-manager waits when a window is hidden or\n"
                "destroyed; the pump time is the installer's own. The answer is timed just after it is\n"
                "posted, so \"Yes to the layout\" may come out slightly negative.\n");

    bool whole = true;
    for (const Run& run : runs) whole = whole && run.files == e.members && run.bytes == e.bytes && Count(run, "script_reached");
    if (!whole) std::printf("WARNING: an installation did not complete\n");
    return whole ? 0 : 1;
}
