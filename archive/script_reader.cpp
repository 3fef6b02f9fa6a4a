// Install script reader: one bracketed record per call, told apart by the
// first letter of its keyword.
#include "archive/archive.h"

// Reads text as the next bytes of in; false at the first byte that differs,
// which is left unread.
static bool ReadTag(std::FILE* in, const char* text)
{
    for (; *text; text++) {
        int c = std::getc(in);
        if (c != static_cast<unsigned char>(*text)) {
            if (c != EOF)
                std::ungetc(c, in);
            return false;
        }
    }
    return true;
}

// The script records, told apart by the first letter of their tag.
static const struct {
    const char* tag;
    int code;
} SCRIPT_RECORDS[] = {
    {TAG_GROUP, SCRIPT_GROUPNAME},
    {TAG_ITEM, SCRIPT_ITEMNAME},
    {TAG_PROGRAM, SCRIPT_PRGEXEC},
    {TAG_SCRIPT_END, SCRIPT_END},
};

int ReadScriptRecord()
{
    int c = ReadRecordStart();
    if (c == NO_VOLUME)
        return SCRIPT_FAILED;
    std::FILE* in = install.volumeStream;

    int code = SCRIPT_FAILED;
    char last = 0;
    if (c == RECORD_OPEN) {
        int letter = std::getc(in);
        for (const auto& record : SCRIPT_RECORDS) {
            if (letter != record.tag[0])
                continue;
            if (!ReadTag(in, record.tag + 1))
                break;
            if (record.code == SCRIPT_END) {
                // No value: recordValue keeps what it held.
                if (std::getc(in) == RECORD_CLOSE)
                    code = SCRIPT_END;
            } else if (std::fscanf(in, SCAN_RECORD_VALUE "%c", install.recordValue, &last) == 2 &&
                       last == RECORD_CLOSE) {
                code = record.code;
            }
            break;
        }
    }
    if (code == SCRIPT_FAILED)
        archiveHost->showError(MSG_SOURCE_DAMAGED);
    return code;
}
