// CreateProgramGroup in-process, against the stand-in server, with the
// script reader and the dialog replaced by fakes: destinations and values
// that no dialog can deliver (the destination field parses at most 128
// characters) reach the 512-byte command buffer's limit here.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "installer/shell.h"
#include "progman/progman.h"
#include "progman_standin.h"
#include "installer_texts.h"

InstallState install;

namespace {

struct Record {
    int code;
    std::string value;
};

std::vector<Record> script;
size_t recordsRead = 0;
std::vector<std::string> boxes;
std::vector<std::pair<int, std::string>> statusLines;

}  // namespace

int ReadScriptRecord()
{
    if (recordsRead >= script.size()) {
        ADD_FAILURE() << "read past the end of the script";
        return SCRIPT_FAILED;
    }
    const Record& record = script[recordsRead++];
    if (record.code > 0) std::snprintf(install.recordValue, sizeof install.recordValue, "%s", record.value.c_str());
    return record.code;
}

int ShowBox(const char* text, UINT)
{
    boxes.push_back(text);
    return IDOK;
}

void ShowStatusLine(int line, const char* text)
{
    statusLines.emplace_back(line, text);
}

namespace {


std::string CreateGroup(const std::string& group)
{
    return "[CreateGroup(" + group + ")]" + std::string(1, '\0');
}

std::string AddItem(const std::string& path, const std::string& title)
{
    return "[AddItem(\"" + path + "\"," + title + ")]" + std::string(1, '\0');
}

class ProgmanUnit : public ::testing::Test {
protected:
    void SetUp() override
    {
        silenced_ = std::make_unique<standin::WineProgmanSilenced>();
        ASSERT_FALSE(standin::ProgmanAnswers()) << "Wine's Program Manager still answers";
        install = InstallState{};
        script.clear();
        recordsRead = 0;
        boxes.clear();
        statusLines.clear();
    }
    void TearDown() override { silenced_.reset(); }

    // Runs CreateProgramGroup for the group with the records that follow it.
    int Run(const std::string& destination, const std::string& group, std::vector<Record> records)
    {
        std::snprintf(install.destDir, sizeof install.destDir, "%s", destination.c_str());
        std::snprintf(install.recordValue, sizeof install.recordValue, "%s", group.c_str());
        script = std::move(records);
        return CreateProgramGroup();
    }

    std::unique_ptr<standin::WineProgmanSilenced> silenced_;
};

// "[AddItem(" quote destination backslash command quote comma title ")]"
const size_t ADD_ITEM_FIXED = 15;

// A value "X.EXE,TTT..." whose AddItem command under destination is
// `length` characters long.
std::string ValueForLength(const std::string& destination, const std::string& command, size_t length)
{
    return command + "," + std::string(length - ADD_ITEM_FIXED - destination.size() - command.size(), 'T');
}

TEST_F(ProgmanUnit, AddItemOfFiveHundredElevenCharactersIsSentWholeAndOneMoreIsRefused)
{
    std::string destination = "C:\\" + std::string(247, 'D');
    std::string fits = ValueForLength(destination, "FITS.EXE", 511);
    std::string over = ValueForLength(destination, "OVER.EXE", 512);
    standin::StandInServer server;
    ASSERT_TRUE(server.Serving());
    int result = Run(destination, "Tools",
                     {{SCRIPT_ITEMNAME, fits}, {SCRIPT_ITEMNAME, over}, {SCRIPT_PRGEXEC, "NEVER.EXE"}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes, std::vector<std::string>{GROUP_FAILED});
    EXPECT_EQ(recordsRead, 2u) << "the records after a refused item are read";
    std::vector<std::string> commands = server.Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], CreateGroup("Tools"));
    EXPECT_EQ(commands[1], AddItem(destination + "\\FITS.EXE", fits.substr(9)));
    EXPECT_EQ(commands[1].size(), 512u);
}

TEST_F(ProgmanUnit, LongestDestinationAndLongestValueAreRefusedWithoutOverrun)
{
    std::string destination = "C:\\" + std::string(DEST_DIR_SIZE - 4, 'D');
    std::string value = "A.EXE," + std::string(RECORD_VALUE_MAX - 6, 'T');
    standin::StandInServer server;
    int result = Run(destination, "Tools", {{SCRIPT_ITEMNAME, value}, {SCRIPT_PRGEXEC, "NEVER.EXE"}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes, std::vector<std::string>{GROUP_FAILED});
    EXPECT_EQ(server.Commands(), std::vector<std::string>{CreateGroup("Tools")});
    EXPECT_EQ(recordsRead, 1u);
}

TEST_F(ProgmanUnit, ProgramEndingTheListIsLeftForTheLaunch)
{
    standin::StandInServer server;
    int result = Run("C:\\APPS", "Tools", {{SCRIPT_ITEMNAME, "BIN\\EDIT.EXE,Editor"}, {SCRIPT_PRGEXEC, "SETUP2.EXE /Q"}});
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(install.recordValue, "SETUP2.EXE /Q");
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(server.Commands(),
              (std::vector<std::string>{CreateGroup("Tools"), AddItem("C:\\APPS\\BIN\\EDIT.EXE", "Editor")}));
    EXPECT_EQ(statusLines, (std::vector<std::pair<int, std::string>>{{2, "Creating program group..."}, {3, "Tools"}}));
}

struct EndCase {
    const char* name;
    std::vector<standin::Answer> answers;
    std::vector<Record> records;
    size_t read;
    std::vector<std::string> boxes;
};

const EndCase END_CASES[] = {
    {"EndRecord", {}, {{SCRIPT_ITEMNAME, "A.EXE"}, {SCRIPT_END, ""}}, 2, {}},
    {"ReaderFailed", {}, {{SCRIPT_ITEMNAME, "A.EXE"}, {SCRIPT_FAILED, ""}}, 2, {}},
    {"SecondGroup", {}, {{SCRIPT_GROUPNAME, "More"}, {SCRIPT_END, ""}}, 1, {SOURCE_DAMAGED}},
    {"UnknownCode", {}, {{7, ""}, {SCRIPT_END, ""}}, 1, {SOURCE_DAMAGED}},
    {"CreateGroupRefused", {standin::Refuse()}, {{SCRIPT_PRGEXEC, "NEVER.EXE"}}, 0, {GROUP_FAILED}},
    {"ItemRefused", {standin::Accept(), standin::Refuse()},
     {{SCRIPT_ITEMNAME, "A.EXE"}, {SCRIPT_PRGEXEC, "NEVER.EXE"}}, 1, {GROUP_FAILED}},
};

TEST_F(ProgmanUnit, EveryOtherEndGivesOneAndAtMostOneMessage)
{
    for (const EndCase& c : END_CASES) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        recordsRead = 0;
        standin::StandInServer server(c.answers);
        EXPECT_EQ(Run("C:\\APPS", "Tools", c.records), 1);
        EXPECT_EQ(recordsRead, c.read);
        EXPECT_EQ(boxes, c.boxes);
    }
}

TEST_F(ProgmanUnit, NoServerGivesOneMessageAndReadsNothing)
{
    EXPECT_EQ(Run("C:\\APPS", "Tools", {{SCRIPT_PRGEXEC, "NEVER.EXE"}}), 1);
    EXPECT_EQ(recordsRead, 0u);
    EXPECT_EQ(boxes, std::vector<std::string>{GROUP_FAILED});
}

}  // namespace
