// Program Manager group creation through DDE, the installer's last step
// before the launch.
#pragma once
#include <windows.h>

#include <ddeml.h>

// Creates the group named in recordValue and adds one item per ITEMNAME
// record that follows. 0 when a PRGEXEC record ended the item list (the
// program in recordValue is to be started), 1 otherwise (reported).
int CreateProgramGroup();

enum { PROGMAN_COMMAND_SIZE = 512 };   // one command text, terminating zero included

// The DDE client, alive for the length of one CreateProgramGroup call: it
// starts zeroed and is zeroed again before the call returns.
struct ProgmanClient {
    DWORD instance;         // 0 before DdeInitializeA
    HSZ service;            // "PROGMAN", service and topic
    HCONV conversation;
    HDDEDATA data;          // data handle of the command last sent
    HDDEDATA lastResult;    // 0: refused, timed out or nothing sent yet
};

extern ProgmanClient progman;
extern char progmanCommand[PROGMAN_COMMAND_SIZE];

// The client's DDE callback: answers nothing.
HDDEDATA CALLBACK ProgmanCallback(UINT type, UINT format, HCONV conversation, HSZ string1, HSZ string2,
                                  HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
// Sends progmanCommand as one execute transaction; lastResult holds the answer.
void SendProgmanCommand(DWORD timeout);
