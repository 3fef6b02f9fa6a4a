// Member extraction: reads a member record, makes its directories below the
// destination, opens the output file; finishes the file after decoding.
#include <cstring>

#include "archive/archive.h"
#include "archive/device_name.h"
#include "archive/format_text.h"

// The working copy of CreateDirectoriesOnPath holds any outputPath.
enum { DIRECTORY_WALK_SIZE = OUTPUT_PATH_SIZE };

// Length of the root of a full path, which the directory walk never tests:
// "C:\" (or "C:"), the "\\server\share\" of a network path, a leading "/".
static std::size_t RootLength(const char* path)
{
#if defined(_WIN32)
    if (path[0] && path[1] == ':')
        return IsPathSeparator(path[2]) ? 3 : 2;
    if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        std::size_t pos = 2;
        for (int part = 0; part < 2; part++) {
            while (path[pos] && !IsPathSeparator(path[pos]))
                pos++;
            if (path[pos])
                pos++;
        }
        return pos;
    }
#endif
    return IsPathSeparator(path[0]) ? 1 : 0;
}

int CreateDirectoriesOnPath(const char* path, int throughLast)
{
    char work[DIRECTORY_WALK_SIZE];
    std::size_t length = std::strlen(path);
    if (length >= sizeof work)
        return -1;
    std::memcpy(work, path, length + 1);

    std::size_t end = length;
    if (!throughLast) {
        while (end > 0 && !IsPathSeparator(work[end - 1]))
            end--;
        if (end == 0)
            return 0;   // no directory part
        end--;          // the last separator
    }

    std::size_t pos = RootLength(work);
    while (pos < end && work[pos]) {
        if (IsPathSeparator(work[pos])) {   // empty component, as in C:\\DATA
            pos++;
            continue;
        }
        std::size_t cut = pos;
        while (work[cut] && !IsPathSeparator(work[cut]))
            cut++;
        char saved = work[cut];
        work[cut] = '\0';
        if (!archiveHost->pathExists(work)) {
            archiveHost->makeDirectory(work);
            if (!archiveHost->pathExists(work))
                return -1;
        }
        work[cut] = saved;
        pos = cut + 1;
    }
    return 0;
}

// A member path must stay below the destination: no drive or stream colon,
// no leading separator, no component of dots (".." and the forms that the
// platform trims to it, such as "..." or ".. "), no component that names a
// DOS device (its bytes would go to the device, and no file would appear).
// Both slashes separate.
static bool MemberPathSafe(const char* path)
{
    if (path[0] == '\0' || path[0] == '\\' || path[0] == '/')
        return false;
    const char* part = path;
    for (;;) {
        const char* stop = part;
        int dots = 0;
        bool onlyDots = true;
        while (*stop && *stop != '\\' && *stop != '/') {
            if (*stop == ':')
                return false;
            if (*stop == '.')
                dots++;
            else if (*stop != ' ')
                onlyDots = false;
            stop++;
        }
        if (onlyDots && dots >= 2)
            return false;
        if (NamesDosDevice(part, static_cast<std::size_t>(stop - part)))
            return false;
        if (*stop == '\0')
            return true;
        part = stop + 1;
    }
}

// outputPath = destDir, one separator (none after a root that ends with
// one), the member path with its separators made the platform's.
static int ComposeOutputPath()
{
    std::size_t dest = std::strlen(install.destDir);
    std::size_t member = std::strlen(install.recordValue);
    bool join = dest > 0 && !IsPathSeparator(install.destDir[dest - 1]);
    if (dest + join + member >= sizeof install.outputPath)
        return -1;
    char* out = install.outputPath;
    std::memcpy(out, install.destDir, dest);
    out += dest;
    if (join)
        *out++ = PATH_SEPARATOR;
    for (std::size_t i = 0; i < member; i++) {
        char c = install.recordValue[i];
        *out++ = (c == '\\' || c == '/') ? PATH_SEPARATOR : c;
    }
    *out = '\0';
    return 0;
}

static int Damaged()
{
    archiveHost->showError(MSG_SOURCE_DAMAGED);
    return -1;
}

int BeginMember()
{
    if (install.outputStream) {   // a member left unfinished
        std::fclose(install.outputStream);
        install.outputStream = nullptr;
    }
    int c = ReadRecordStart();
    if (c == NO_VOLUME)
        return -1;
    std::FILE* in = install.volumeStream;
    if (c != RECORD_OPEN)
        return Damaged();
    char tag[sizeof TAG_MEMBER - 1];
    if (std::fread(tag, 1, sizeof tag, in) != sizeof tag || std::memcmp(tag, TAG_MEMBER, sizeof tag) != 0)
        return Damaged();
    if (std::fscanf(in, SCAN_RECORD_VALUE, install.recordValue) != 1)
        return Damaged();
    if (std::getc(in) != RECORD_CLOSE)
        return Damaged();
    if (std::strcmp(install.recordValue, END_OF_FILES_NAME) == 0) {
        install.filesDone = 1;
        return 0;
    }
    unsigned char fields[MEMBER_ENTRY_FIELDS];
    if (std::fread(fields, 1, sizeof fields, in) != sizeof fields)
        return Damaged();
    install.memberAttributes = LoadLittleEndian32(fields);
    install.memberStamp = LoadLittleEndian32(fields + 4);

    if (!MemberPathSafe(install.recordValue)) {
        archiveHost->showError(MSG_UNSAFE_PATH);
        return -1;
    }

    const char* name = install.recordValue;
    for (const char* p = name; *p; p++)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    FormatText(install.textBuffer, sizeof install.textBuffer, STATUS_EXTRACTING, name);
    archiveHost->showStatus(2, install.textBuffer);
    archiveHost->showStatus(3, STATUS_PERCENT_START);

    if (ComposeOutputPath() != 0) {
        archiveHost->showError(MSG_CANNOT_OPEN_OUTPUT);
        return -1;
    }
    if (CreateParentDirectories(install.outputPath) != 0) {
        archiveHost->showError(MSG_CANNOT_CREATE_DIR);
        return -1;
    }
    std::uint32_t foundReadOnly = archiveHost->clearReadOnly(install.outputPath);
    install.outputStream = archiveHost->openOutput(install.outputPath);
    if (!install.outputStream) {
        if (foundReadOnly)   // the file in the way stays as it was found
            archiveHost->setAttributes(install.outputPath, foundReadOnly);
        archiveHost->showError(MSG_CANNOT_OPEN_OUTPUT);
        return -1;
    }
    return 0;
}

int FinishMember()
{
    std::FILE* out = install.outputStream;
    if (!out)
        return -1;
    // Flush before the stamp, so that no later write moves the time.
    bool failed = std::fflush(out) != 0 || std::ferror(out);
    if (!failed)
        archiveHost->setFileStamp(out, install.memberStamp);
    failed |= std::fclose(out) != 0;
    install.outputStream = nullptr;
    if (failed) {
        archiveHost->showError(MSG_CANNOT_WRITE);
        return -1;
    }
    archiveHost->setAttributes(install.outputPath, install.memberAttributes);
    archiveHost->showStatus(3, STATUS_PERCENT_DONE);
    return 0;
}
