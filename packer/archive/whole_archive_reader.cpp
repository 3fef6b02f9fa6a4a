// Drives the installer's reader as the install pump does, one member after
// another, on the console host; records what the host would have shown.
#include "packer/archive/whole_archive_reader.h"

#include <cstdio>
#include <cstring>

#include "archive/archive.h"
#include "archive/console_host.h"
#include "codec/member_decoder.h"

namespace bv {

namespace {

// The console host, with its error texts and disk prompts kept for the
// report instead of printed.
std::string lastError;
std::string lastPrompt;

std::string OneLine(const char* text)
{
    std::string s;
    for (const char* p = text; *p; p++) {
        if (*p == '\r')
            continue;
        s += *p == '\n' ? ' ' : *p;
    }
    return s;
}

void KeepError(const char* text)
{
    if (lastError.empty())
        lastError = OneLine(text);
}

int RefuseDisk(const char* prompt)
{
    lastPrompt = OneLine(prompt);
    return 0;
}

void Quiet(int, const char*) {}

ArchiveHost MakeHost()
{
    ArchiveHost host = consoleHost;
    host.showStatus = Quiet;
    host.showError = KeepError;
    host.askForDisk = RefuseDisk;
    return host;
}

std::string Where(int volume, const std::string& name)
{
    char ext[16];
    std::snprintf(ext, sizeof ext, VOLUME_EXTENSION, static_cast<unsigned>(volume));
    return "volume " + std::to_string(volume) + " (" + name + ext + ")";
}

// What the reader found, in one line.
std::string Failure(const std::string& where, const std::string& name)
{
    std::string what;
    if (!lastPrompt.empty())
        what = "archive ends early: the next volume is missing or not part of this archive";
    else if (!lastError.empty())
        what = lastError;
    else
        what = "read failed";
    return what + " (" + where + ", " + Where(install.volumeNumber, name) + ")";
}

}  // namespace

ReadResult ReadArchive(const std::string& sourceDir, const std::string& name, const std::string& destDir,
                       bool keepFiles, ReadProgress progress, void* context)
{
    ReadResult result;
    if (name.empty() || name.size() >= ARCHIVE_NAME_SIZE || sourceDir.size() >= SOURCE_DIR_SIZE ||
        destDir.size() >= DEST_DIR_SIZE) {
        result.ioError = true;
        result.error = "archive name or directory too long for the installer";
        return result;
    }
    static ArchiveHost host;
    host = MakeHost();
    lastError.clear();
    lastPrompt.clear();

    ResetInstallState();
    archiveHost = &host;
    std::snprintf(install.archiveName, sizeof install.archiveName, "%s", name.c_str());
    std::snprintf(install.sourceDir, sizeof install.sourceDir, "%s", sourceDir.c_str());
    install.volumeNumber = 0;
    if (OpenFirstVolume() != 0) {
        // Missing file or wrong header: the text is in textBuffer.
        result.ioError = std::strstr(install.textBuffer, "Cannot open") != nullptr;
        result.error = std::string(install.textBuffer) + " (" + Where(0, name) + ")";
        CloseArchiveStreams();
        return result;
    }
    result.defaultDest = install.destDir;
    result.allowChange = install.allowDestChange != 0;
    std::snprintf(install.destDir, sizeof install.destDir, "%s", destDir.c_str());
    install.InstallPhase = PHASE_EXTRACT;

    std::uint64_t bytesDone = 0;
    std::string previous;   // the member before, to place a damaged record
    for (;;) {
        if (BeginMember() != 0) {
            std::string where = previous.empty() ? "first member entry" : "member entry after \"" + previous + "\"";
            result.ioError = lastError.find("Cannot") != std::string::npos;
            result.error = Failure(where, name);
            CloseArchiveStreams();
            return result;
        }
        if (install.filesDone)
            break;
        ReadMember m;
        m.path = install.recordValue;
        m.attributes = install.memberAttributes;
        m.dosStamp = install.memberStamp;
        if (progress != nullptr)
            progress(result.members.size(), m.path, bytesDone, context);
        install.PumpStep = STEP_NEXT_MEMBER;
        int r = DecodeMember(0);
        while (r == 0 && install.PumpStep == STEP_CONTINUE) {
            if (progress != nullptr)
                progress(result.members.size(), m.path, bytesDone + memberDecoder.outputCount, context);
            r = DecodeMember(1);
        }
        if (r != 0) {
            result.ioError = lastError.find("Cannot") != std::string::npos;
            result.error = Failure("member \"" + m.path + "\"", name);
            CloseArchiveStreams();
            return result;
        }
        m.size = memberDecoder.memberSize;
        bytesDone += m.size;
        if (!keepFiles)
            std::remove(install.outputPath);
        previous = m.path;
        result.members.push_back(m);
    }

    // The script: an optional group with its items, then a program or the end.
    install.InstallPhase = PHASE_SCRIPT;
    for (;;) {
        int code = ReadScriptRecord();
        if (code == SCRIPT_FAILED) {
            result.error = Failure("install script", name);
            CloseArchiveStreams();
            return result;
        }
        bool misplaced = (code == SCRIPT_GROUPNAME && !result.script.empty()) ||
                         (code == SCRIPT_ITEMNAME && (result.script.empty() || result.script.front().code != SCRIPT_GROUPNAME));
        result.script.push_back({code, code == SCRIPT_END ? std::string() : std::string(install.recordValue)});
        if (misplaced) {
            lastError = code == SCRIPT_GROUPNAME ? "second group record" : "program item without a group";
            result.error = Failure("install script", name);
            CloseArchiveStreams();
            return result;
        }
        if (code == SCRIPT_END || code == SCRIPT_PRGEXEC)
            break;
    }
    result.volumes = install.volumeNumber + 1;
    result.ok = true;
    CloseArchiveStreams();
    return result;
}

}  // namespace bv
