// Staging, checking and putting a release in place.
#include "packer/release/release_output.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "packer/release/sha256.h"

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>
#endif

namespace bv {

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t interruptSignal = 0;

extern "C" void NoteInterrupt(int signal)
{
    // Windows' C library sets the signal back to its default before calling
    // the handler: a second Ctrl+C would end the run in mid-swap.
    std::signal(signal, NoteInterrupt);
    interruptSignal = signal;
}

#if defined(_WIN32)
const int kInterrupts[] = {SIGINT, SIGTERM};
#else
const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
#endif

const char kStagingPrefix[] = ".bvpack-new-";

}  // namespace

bool IsStagingFolderName(const std::string& name)
{
    return name.compare(0, sizeof kStagingPrefix - 1, kStagingPrefix) == 0;
}

InterruptWatch::InterruptWatch()
{
    interruptSignal = 0;
    for (int s : kInterrupts)
        std::signal(s, NoteInterrupt);
}

InterruptWatch::~InterruptWatch()
{
    for (int s : kInterrupts)
        std::signal(s, SIG_DFL);
    if (interruptSignal != 0)
        std::raise(interruptSignal);
}

bool InterruptWatch::Interrupted()
{
    return interruptSignal != 0;
}

void InterruptWatch::Hold(bool hold)
{
#if defined(_WIN32)
    (void)hold;
#else
    sigset_t set;
    sigemptyset(&set);
    for (int s : kInterrupts)
        sigaddset(&set, s);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
#endif
}

ReleaseOutput::ReleaseOutput(std::string outDir) : outDir_(std::move(outDir)) {}

ReleaseOutput::~ReleaseOutput()
{
    std::error_code ec;
    if (!staging_.empty() && !keepStaging_) {
        // Read-only copies too (Windows deletes no read-only file).
        std::error_code ignored;
        for (fs::recursive_directory_iterator it(staging_, ec), end; !ec && it != end; it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(staging_, ec);
    }
    if (createdOutDir_)
        fs::remove(outDir_, ec);   // only while empty
    interrupts_.reset();           // an interrupt noted is raised now
}

bool ReleaseOutput::ReadPrevious(std::string* error)
{
    ManifestState state = ReadManifest(outDir_, &previous_, error);
    havePrevious_ = state == ManifestState::Read;
    if (state == ManifestState::Unreadable)
        *error += "; move it away to build here";
    return state != ManifestState::Unreadable;
}

bool ReleaseOutput::Unchanged(const std::string& name) const
{
    const ManifestFile* f = havePrevious_ ? previous_.Find(name) : nullptr;
    if (f == nullptr)
        return false;
    std::string hex;
    std::uint64_t size = 0;
    std::error_code ec;
    const fs::path path = fs::path(outDir_) / name;
    return fs::is_regular_file(fs::symlink_status(path, ec)) && fs::file_size(path, ec) == f->size &&
           Sha256OfFile(path.string(), &hex, &size) && size == f->size && hex == f->sha256;
}

bool ReleaseOutput::MayWrite(const std::vector<std::string>& names, std::string* error) const
{
    for (const std::string& name : names) {
        const fs::path path = fs::path(outDir_) / name;
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec)) || Unchanged(name))
            continue;
        const bool listed = havePrevious_ && previous_.Find(name) != nullptr;
        *error = path.string() + (listed ? " was changed since bvpack wrote it"
                                         : " is in the way: it is no file of a release bvpack made here") +
                 "; nothing was written (move it away, or choose another Output)";
        return false;
    }
    return true;
}

bool ReleaseOutput::BeginStaging(std::string* error)
{
    interrupts_.emplace();
    std::error_code ec;
    if (!fs::exists(outDir_, ec)) {
        fs::create_directories(outDir_, ec);
        createdOutDir_ = !ec;
    }
    if (!fs::is_directory(outDir_, ec)) {
        *error = "cannot make the output folder " + outDir_ + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    for (unsigned n = 0; n < 1000 && staging_.empty(); n++) {
        fs::path p = fs::path(outDir_) / (kStagingPrefix + std::to_string(n));
        if (fs::create_directory(p, ec))
            staging_ = p.string();
        else if (ec)
            break;
    }
    if (staging_.empty() || !fs::create_directory(fs::path(staging_) / "previous", ec)) {
        *error = "cannot write in " + outDir_ + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    return true;
}

std::string ReleaseOutput::StagedPath(const std::string& name) const
{
    return (fs::path(staging_) / name).string();
}

bool ReleaseOutput::Commit(const std::vector<std::string>& names, std::string* error,
                           std::vector<std::string>* warnings)
{
    const fs::path out(outDir_), aside = fs::path(staging_) / "previous";
    std::vector<std::string> moved, placed;   // previous files set aside; new files put in place
    std::error_code ec;
    std::string failed;
    std::vector<std::string> all = names;
    all.push_back(kManifestName);

    // The previous release's files go aside: replaced, or no longer made.
    std::vector<std::string> previous;
    if (havePrevious_) {
        for (const auto* list : {&previous_.volumes, &previous_.files})
            for (const ManifestFile& f : *list)
                if (fs::exists(fs::symlink_status(out / f.name, ec)))
                    previous.push_back(f.name);
        previous.push_back(kManifestName);
    }
    InterruptWatch::Hold(true);
    for (const std::string& name : previous) {
        if (name != kManifestName && !Unchanged(name)) {
            // Changed since MayWrite looked: a new file must not replace it.
            if (std::find(all.begin(), all.end(), name) != all.end()) {
                failed = (out / name).string() + " was changed since bvpack wrote it; nothing was written";
                break;
            }
            warnings->push_back((out / name).string() + " was changed since bvpack wrote it; left as it is");
            continue;
        }
        fs::rename(out / name, aside / name, ec);
        if (ec) {
            failed = "cannot replace " + (out / name).string() + ": " + ec.message();
            break;
        }
        moved.push_back(name);
    }
    for (std::size_t i = 0; failed.empty() && i < all.size(); i++) {
        // A rename replaces what it meets: a file that came since is left alone.
        if (fs::exists(fs::symlink_status(out / all[i], ec))) {
            failed = (out / all[i]).string() + " is in the way; nothing was written";
            break;
        }
        fs::rename(fs::path(staging_) / all[i], out / all[i], ec);
        if (ec)
            failed = "cannot write " + (out / all[i]).string() + ": " + ec.message();
        else
            placed.push_back(all[i]);
    }
    if (!failed.empty()) {
        // Back as it was: the new files out, the previous ones in again. What
        // cannot go back is kept in the staging folder, never removed.
        bool back = true;
        for (const std::string& name : placed) {
            fs::rename(out / name, fs::path(staging_) / name, ec);
            back = back && !ec;
        }
        for (const std::string& name : moved) {
            fs::rename(aside / name, out / name, ec);
            back = back && !ec;
        }
        if (!back) {
            keepStaging_ = true;
            failed += "; the previous release's files that could not be put back are in " + aside.string();
        }
        warnings->clear();
        *error = failed;
    }
    InterruptWatch::Hold(false);
    return failed.empty();
}

}  // namespace bv
