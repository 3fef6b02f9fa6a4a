// A release's output folder, written all or nothing. The new release is
// made in a staging folder of its own inside the output folder and put in
// place only when every file is complete; the previous release's files
// (those its manifest lists, while unchanged) are replaced or removed, and
// any other file in the way stops the build before anything is written.
// Until Commit succeeds, the destructor leaves the folder as it was.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "packer/release/manifest.h"

namespace bv {

// Whether a folder of the output folder is a staging folder of a run
// (".bvpack-new-N"); one is left only when a run was killed or could not
// put the previous release back.
bool IsStagingFolderName(const std::string& name);

// Interrupts (Ctrl+C, SIGTERM, SIGHUP) while a release is staged and put in
// place are noted instead of ending the program, so that the run can leave
// the folder as it was; the signal is raised again when the watch ends.
// Before staging nothing is written, and an interrupt ends the run at once.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    static bool Interrupted();
    // Holds signals back while files are put in place (POSIX), and lets them
    // through again.
    static void Hold(bool hold);
};

class ReleaseOutput {
public:
    explicit ReleaseOutput(std::string outDir);
    ~ReleaseOutput();
    ReleaseOutput(const ReleaseOutput&) = delete;
    ReleaseOutput& operator=(const ReleaseOutput&) = delete;

    // Reads the previous release's manifest. False with *error when it
    // cannot be read.
    bool ReadPrevious(std::string* error);
    const ReleaseManifest& Previous() const { return previous_; }

    // Whether the new release may write each of names (and its manifest):
    // each is free, or a file of the previous release unchanged since.
    // False with *error naming the first file in the way.
    bool MayWrite(const std::vector<std::string>& names, std::string* error) const;

    // Creates the output folder (if need be) and the staging folder, and
    // watches for interrupts from here until the destructor has cleaned up.
    bool BeginStaging(std::string* error);
    // Where the new file name is made before it is put in place.
    std::string StagedPath(const std::string& name) const;

    // Puts every staged file in place and removes the previous release's
    // files that the new one lacks; on failure puts everything back (what
    // cannot go back stays in the staging folder, which *error names).
    // *warnings: files of the previous release left alone because they were
    // changed since.
    bool Commit(const std::vector<std::string>& names, std::string* error, std::vector<std::string>* warnings);

private:
    // Whether the file name in the output folder is the previous release's
    // and unchanged.
    bool Unchanged(const std::string& name) const;

    std::string outDir_;
    std::string staging_;
    bool havePrevious_ = false;
    bool createdOutDir_ = false;
    bool keepStaging_ = false;   // it holds previous files a failed Commit could not put back
    ReleaseManifest previous_;
    std::optional<InterruptWatch> interrupts_;
};

}  // namespace bv
