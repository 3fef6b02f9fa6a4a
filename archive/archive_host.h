// The seam between the portable archive reader and its surroundings: the
// installer implements it with Win32 calls, the tools on the console, the
// tests with a recorder. One table, set once before reading begins.
#pragma once
#include <cstdint>
#include <cstdio>

struct ArchiveHost {
    // Text of status line 1, 2 or 3.
    void (*showStatus)(int line, const char* text);
    // Error box captioned "Brevant" with the error icon.
    void (*showError)(const char* text);
    // Disk prompt with Retry and Cancel: nonzero for Retry, 0 for Cancel.
    int (*askForDisk)(const char* prompt);
    // Directory search for the exact path with the directory attribute:
    // nonzero for a directory, or a file that is neither hidden nor system.
    int (*pathExists)(const char* path);
    // Creates one directory; the result is found by testing again.
    void (*makeDirectory)(const char* path);
    // Clears the read-only attribute of an existing file, keeping the rest.
    // Returns the attribute word it found when it cleared the bit (so that
    // it can be set back), else 0.
    std::uint32_t (*clearReadOnly)(const char* path);
    // Opens a member file for writing, empty, shared with no other writer:
    // a second installer that reaches the same file while this one writes
    // it cannot open it. Null on failure.
    std::FILE* (*openOutput)(const char* path);
    // Sets the last-write time of an open, flushed file from a DOS stamp
    // (low half time, high half date, local time). Nonzero on failure.
    int (*setFileStamp)(std::FILE* file, std::uint32_t dosStamp);
    // Sets the file's attribute word as stored. Nonzero on failure.
    int (*setAttributes)(const char* path, std::uint32_t attributes);
};

extern const ArchiveHost* archiveHost;
