// What the packer shows on standard error while it works: on a terminal a
// progress line redrawn in place (files, bytes, ratio, time left), then a
// one-line summary; elsewhere only the summary; nothing at all when quiet.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace bv {

enum class ProgressMode { QUIET, SUMMARY, LIVE };

// LIVE when standard error is a terminal, SUMMARY otherwise, QUIET if asked.
ProgressMode ProgressModeFor(bool quiet);

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

class Progress {
public:
    explicit Progress(ProgressMode mode);
    // Redraws the progress line (LIVE only), at most ten times a second.
    void Show(const char* verb, ProgressFigures figures, const std::string& current);
    // Removes the progress line, if one is shown.
    void Clear();
    // The closing line, unless quiet.
    void Summary(const std::string& line);
    // A warning, always shown: "bvpack: warning: message".
    void Warn(const std::string& message);
    // An error, always shown: "bvpack: message". Returns code.
    int Fail(int code, const std::string& message);
    double Seconds() const;
    ProgressMode Mode() const { return mode_; }

private:
    ProgressMode mode_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
    std::size_t shownWidth_ = 0;
};

}  // namespace bv
