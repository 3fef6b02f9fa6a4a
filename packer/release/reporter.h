// The packer's reporter: everything it tells the user on standard error
// while it works, and the exit codes its errors end with. On a terminal a
// progress line redrawn in place (files, bytes, ratio, time left), then a
// one-line summary; elsewhere only the summary; nothing of either when quiet.
// Warnings and errors are always shown.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace bv {

// bvpack's exit codes.
enum ExitCode { EXIT_OK = 0, EXIT_DAMAGED = 1, EXIT_USAGE = 2, EXIT_IO = 3 };

enum class ReportMode { QUIET, SUMMARY, LIVE };

// LIVE when standard error is a terminal, SUMMARY otherwise, QUIET if asked.
ReportMode ReportModeFor(bool quiet);

struct ProgressFigures {
    std::size_t filesDone = 0;
    std::size_t filesTotal = 0;       // 0: not known in advance
    std::uint64_t bytesDone = 0;      // uncompressed bytes so far
    std::uint64_t bytesTotal = 0;     // 0: not known in advance
    std::uint64_t packedDone = 0;     // compressed bytes so far
    double fraction = -1;             // share of the work done, 0 to 1; < 0 unknown
    double seconds = 0;               // time spent so far
};

// One progress line of at most width columns, e.g.
// "packing 3/12 files, 1.2 of 4.0 MiB, ratio 45.2%, 0:12 left  DOCS\GUIDE.TXT"
std::string FormatProgress(const char* verb, const ProgressFigures& figures, const std::string& current,
                           std::size_t width = 79);

class Reporter {
public:
    explicit Reporter(ReportMode mode);
    // Redraws the progress line (LIVE only), at most ten times a second.
    void Show(const char* verb, ProgressFigures figures, const std::string& current);
    // Removes the progress line, if one is shown.
    void Clear();
    // The closing line, unless quiet.
    void Summary(const std::string& line);
    // A warning, always shown: "bvpack: warning: message".
    void Warn(const std::string& message);
    // An error, always shown: "bvpack: message". Returns code, the exit code
    // it ends the run with.
    int Fail(int code, const std::string& message);
    double Seconds() const;
    ReportMode Mode() const { return mode_; }

private:
    ReportMode mode_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
    std::size_t shownWidth_ = 0;
};

}  // namespace bv
