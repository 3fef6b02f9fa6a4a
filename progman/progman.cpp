// Program Manager group creation through DDE: one conversation with the
// PROGMAN service, a CreateGroup command for the group, then one AddItem
// command per ITEMNAME record until the record that ends the item list.
#include "progman/progman.h"

#include <stdio.h>
#include <string.h>

#include "archive/archive.h"
#include "archive/format_text.h"
#include "installer/shell.h"
#include "progman/progman_messages.h"

namespace {

const char PROGMAN_NAME[] = "PROGMAN";   // service and topic
const char CREATE_GROUP_COMMAND[] = "[CreateGroup(%s)]";
const char ADD_ITEM_COMMAND[] = "[AddItem(%c%s\\%s%c,%s)]";
const char QUOTE = '"';
const DWORD CREATE_GROUP_TIMEOUT = 10000;   // ms
const DWORD ADD_ITEM_TIMEOUT = 1000;        // ms

// A group name of any length fits; an AddItem command may not.
static_assert(sizeof(CREATE_GROUP_COMMAND) - 2 + RECORD_VALUE_MAX <= PROGMAN_COMMAND_SIZE, "CreateGroup fits");

// The context of every conversation: its own size, everything else zero.
static_assert(sizeof(CONVCONTEXT) == 36, "CONVCONTEXT is 36 bytes on Win32");
const CONVCONTEXT PROGMAN_CONTEXT = {sizeof(CONVCONTEXT), 0, 0, 0, 0, 0, {}};

// Splits the ITEMNAME value in recordValue at its first comma: recordValue
// keeps the command, the result is the title (empty without a comma).
const char* SplitItemTitle()
{
    char* comma = strchr(install.recordValue, ',');
    if (!comma) return "";
    *comma = '\0';
    return comma + 1;
}

// Sends the AddItem command for the item in recordValue. A command that
// would not fit progmanCommand is not sent and counts as refused.
void AddProgramItem()
{
    const char* itemTitle = SplitItemTitle();
    int length = FormatText(progmanCommand, PROGMAN_COMMAND_SIZE, ADD_ITEM_COMMAND, QUOTE, install.destDir,
                            install.recordValue, QUOTE, itemTitle);
    if (length < 0 || length >= PROGMAN_COMMAND_SIZE) {
        progmanCommand[0] = '\0';
        progman.lastResult = nullptr;
        return;
    }
    SendProgmanCommand(ADD_ITEM_TIMEOUT);
}

// Reads the item list after an accepted CreateGroup: one AddItem per
// ITEMNAME record while Program Manager accepts them. Returns the loop
// mark: 1 when a PRGEXEC record ended the list, -1 at the end record or a
// fault, 0 when a refusal stopped it before the next record.
int AddProgramItems()
{
    int loopMark = 0;
    while (progman.lastResult && loopMark == 0) {
        switch (ReadScriptRecord()) {
        case SCRIPT_ITEMNAME:
            AddProgramItem();
            break;
        case SCRIPT_PRGEXEC:
            loopMark = 1;   // recordValue holds the program to launch
            break;
        case SCRIPT_END:
        case SCRIPT_FAILED:   // reported by the reader, or a cancelled disk prompt
            loopMark = -1;
            break;
        default:   // a second GROUPNAME
            ShowBox(MSG_SOURCE_DAMAGED, MB_ICONERROR);
            loopMark = -1;
            break;
        }
    }
    return loopMark;
}

}  // namespace

ProgmanClient progman;
char progmanCommand[PROGMAN_COMMAND_SIZE];

HDDEDATA CALLBACK ProgmanCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

// One execute transaction with the text in progmanCommand, terminating
// zero included. The data handle goes to the transaction, which frees it.
void SendProgmanCommand(DWORD timeout)
{
    DWORD length = static_cast<DWORD>(strlen(progmanCommand)) + 1;
    progman.data = DdeCreateDataHandle(progman.instance, reinterpret_cast<BYTE*>(progmanCommand), length, 0,
                                       nullptr, CF_TEXT, 0);
    progman.lastResult = DdeClientTransaction(reinterpret_cast<BYTE*>(progman.data), 0xFFFFFFFF,
                                              progman.conversation, nullptr, 0, XTYP_EXECUTE, timeout, nullptr);
}

// Creates the group named in recordValue and its items. 0 when everything
// was accepted and a PRGEXEC record (now in recordValue) ended the list;
// 1 otherwise, after at most one message.
int CreateProgramGroup()
{
    ShowStatusLine(2, STATUS_CREATING_GROUP);
    ShowStatusLine(3, install.recordValue);

    progman = ProgmanClient{};
    int loopMark = -1;
    if (DdeInitializeA(&progman.instance, ProgmanCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        progman = ProgmanClient{};
        ShowBox(MSG_GROUP_FAILED, MB_ICONERROR);
        return 1;
    }
    progman.service = DdeCreateStringHandleA(progman.instance, PROGMAN_NAME, CP_WINANSI);
    if (progman.service) {
        progman.conversation = DdeConnect(progman.instance, progman.service, progman.service,
                                          const_cast<CONVCONTEXT*>(&PROGMAN_CONTEXT));
        if (progman.conversation) {
            FormatText(progmanCommand, PROGMAN_COMMAND_SIZE, CREATE_GROUP_COMMAND, install.recordValue);
            SendProgmanCommand(CREATE_GROUP_TIMEOUT);
            loopMark = AddProgramItems();
            DdeDisconnect(progman.conversation);
        }
        DdeFreeStringHandle(progman.instance, progman.service);
    }
    DdeUninitialize(progman.instance);
    // Nothing of the client outlives the call: its handles are gone now.
    const bool accepted = progman.lastResult != nullptr;
    progman = ProgmanClient{};
    progmanCommand[0] = '\0';

    if (!accepted) {
        ShowBox(MSG_GROUP_FAILED, MB_ICONERROR);
        return 1;
    }
    return loopMark == 1 ? 0 : 1;
}
