// The reporter: the progress line, the summary, warnings and errors.
#include "packer/release/reporter.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define BV_ISATTY _isatty
#define BV_FILENO _fileno
#else
#include <unistd.h>
#define BV_ISATTY isatty
#define BV_FILENO fileno
#endif

namespace bv {

namespace {

std::string Size(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

}  // namespace

ReportMode ReportModeFor(bool quiet)
{
    if (quiet)
        return ReportMode::QUIET;
    return BV_ISATTY(BV_FILENO(stderr)) ? ReportMode::LIVE : ReportMode::SUMMARY;
}

std::string FormatProgress(const char* verb, const ProgressFigures& f, const std::string& current, std::size_t width)
{
    std::string line = verb;
    line += " " + std::to_string(f.filesDone);
    if (f.filesTotal != 0)
        line += "/" + std::to_string(f.filesTotal);
    line += (f.filesTotal != 0 ? f.filesTotal : f.filesDone) == 1 ? " file, " : " files, ";
    line += Size(f.bytesDone);
    if (f.bytesTotal != 0)
        line += " of " + Size(f.bytesTotal);
    char text[64];
    if (f.bytesDone != 0 && f.packedDone != 0) {
        std::snprintf(text, sizeof text, ", ratio %.1f%%",
                      100.0 * static_cast<double>(f.packedDone) / static_cast<double>(f.bytesDone));
        line += text;
    }
    // An estimate needs a second of work to go by.
    if (f.fraction > 0 && f.fraction < 1 && f.seconds >= 1) {
        long left = static_cast<long>(f.seconds * (1 - f.fraction) / f.fraction + 0.5);
        std::snprintf(text, sizeof text, ", %ld:%02ld left", left / 60, left % 60);
        line += text;
    }
    if (!current.empty() && line.size() + 2 < width) {
        std::string name = current;
        std::size_t room = width - line.size() - 2;
        if (name.size() > room)
            name = "..." + name.substr(name.size() - (room > 3 ? room - 3 : 0));
        line += "  " + name;
    }
    if (line.size() > width)
        line.resize(width);
    return line;
}

Reporter::Reporter(ReportMode mode)
    : mode_(mode), start_(std::chrono::steady_clock::now()), lastDrawn_()
{
}

double Reporter::Seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Reporter::Show(const char* verb, ProgressFigures figures, const std::string& current)
{
    if (mode_ != ReportMode::LIVE)
        return;
    auto now = std::chrono::steady_clock::now();
    if (shownWidth_ != 0 && now - lastDrawn_ < std::chrono::milliseconds(100))
        return;
    lastDrawn_ = now;
    figures.seconds = Seconds();
    std::string line = FormatProgress(verb, figures, current);
    // Blanks over the rest of a longer line before: no terminal escapes, so
    // that a Windows console shows it as well.
    std::size_t width = line.size();
    if (line.size() < shownWidth_)
        line.append(shownWidth_ - line.size(), ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    shownWidth_ = width == 0 ? 1 : width;
}

void Reporter::Clear()
{
    if (shownWidth_ == 0)
        return;
    std::fprintf(stderr, "\r%s\r", std::string(shownWidth_, ' ').c_str());
    std::fflush(stderr);
    shownWidth_ = 0;
}

void Reporter::Summary(const std::string& line)
{
    Clear();
    if (mode_ != ReportMode::QUIET)
        std::fprintf(stderr, "%s\n", line.c_str());
}

void Reporter::Warn(const std::string& message)
{
    Clear();
    std::fprintf(stderr, "bvpack: warning: %s\n", message.c_str());
}

int Reporter::Fail(int code, const std::string& message)
{
    Clear();
    std::fprintf(stderr, "bvpack: %s\n", message.c_str());
    return code;
}

}  // namespace bv
