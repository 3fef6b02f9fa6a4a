// ArchiveHost for tests: records what the reader shows and asks, answers
// disk prompts through a callback (Cancel by default) and passes directory
// and file operations to the real file system, recording them too.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_host.h"

struct RecordingHost {
    struct Status {
        int line;
        std::string text;
    };
    std::vector<Status> statusLog;
    std::vector<std::string> errors;
    std::vector<std::string> prompts;
    std::vector<std::string> madeDirectories;   // every makeDirectory call
    std::vector<std::string> clearedReadOnly;
    std::vector<std::uint32_t> stamps;          // every setFileStamp call
    std::vector<std::string> attributedPaths;   // every setAttributes call

    // Answer to a disk prompt: nonzero for Retry. Default: Cancel.
    std::function<int(const std::string& prompt)> onDiskPrompt;
    // When set, makeDirectory does nothing (a directory that cannot be made).
    bool refuseDirectories = false;
    // When set, openOutput fails (a file another program holds open).
    bool refuseOutput = false;

    // Forgets everything and makes this the active archiveHost.
    void Install();
    // Last text shown on a status line, "" if none.
    std::string LastStatus(int line) const;
};

extern RecordingHost recordingHost;
