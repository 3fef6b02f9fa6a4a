// Install script reader: one bracketed record per call, told apart by the
// first letter of its keyword.
#include "archive/archive.h"

int ReadScriptRecord()
{
    std::FILE* in = install.volumeStream;
    if (install.sourceExhausted || !in)
        return SCRIPT_FAILED;

    int c = std::getc(in);
    if (c == EOF) {
        if (OpenNextVolume() != 0) {
            install.sourceExhausted = 1;
            return SCRIPT_FAILED;
        }
        in = install.volumeStream;
        c = std::getc(in);
    }

    int code = SCRIPT_FAILED;
    char last = 0;
    if (c == '[') {
        switch (std::getc(in)) {
        case 'G':
            if (std::fscanf(in, "ROUPNAME=%256[^]]%c", install.recordValue, &last) == 2 && last == ']')
                code = SCRIPT_GROUPNAME;
            break;
        case 'I':
            if (std::fscanf(in, "TEMNAME=%256[^]]%c", install.recordValue, &last) == 2 && last == ']')
                code = SCRIPT_ITEMNAME;
            break;
        case 'P':
            if (std::fscanf(in, "RGEXEC=%256[^]]%c", install.recordValue, &last) == 2 && last == ']')
                code = SCRIPT_PRGEXEC;
            break;
        case 'T':
            // No value: recordValue keeps what it held.
            if (std::fscanf(in, "ARNBOLT=END%c", &last) == 1 && last == ']')
                code = SCRIPT_END;
            break;
        default:
            break;
        }
    }
    if (code == SCRIPT_FAILED)
        archiveHost->showError(MSG_SOURCE_DAMAGED);
    return code;
}
