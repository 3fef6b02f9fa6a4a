#include "tests/native/recording_host.h"

#include "archive/console_host.h"

RecordingHost recordingHost;

namespace {

void ShowStatus(int line, const char* text) { recordingHost.statusLog.push_back({line, text}); }
void ShowError(const char* text) { recordingHost.errors.push_back(text); }

int AskForDisk(const char* prompt)
{
    recordingHost.prompts.push_back(prompt);
    return recordingHost.onDiskPrompt ? recordingHost.onDiskPrompt(prompt) : 0;
}

int PathExists(const char* path) { return consoleHost.pathExists(path); }

void MakeDirectory(const char* path)
{
    recordingHost.madeDirectories.push_back(path);
    if (!recordingHost.refuseDirectories)
        consoleHost.makeDirectory(path);
}

std::uint32_t ClearReadOnly(const char* path)
{
    recordingHost.clearedReadOnly.push_back(path);
    return consoleHost.clearReadOnly(path);
}

std::FILE* OpenOutput(const char* path)
{
    if (recordingHost.refuseOutput)
        return nullptr;
    return consoleHost.openOutput(path);
}

int SetFileStamp(std::FILE* file, std::uint32_t stamp)
{
    recordingHost.stamps.push_back(stamp);
    return consoleHost.setFileStamp(file, stamp);
}

int SetAttributes(const char* path, std::uint32_t attributes)
{
    recordingHost.attributedPaths.push_back(path);
    return consoleHost.setAttributes(path, attributes);
}

const ArchiveHost table = {
    ShowStatus,    ShowError,  AskForDisk,   PathExists,    MakeDirectory,
    ClearReadOnly, OpenOutput, SetFileStamp, SetAttributes,
};

}  // namespace

void RecordingHost::Install()
{
    *this = RecordingHost();
    archiveHost = &table;
}

std::string RecordingHost::LastStatus(int line) const
{
    for (auto it = statusLog.rbegin(); it != statusLog.rend(); ++it)
        if (it->line == line)
            return it->text;
    return "";
}
