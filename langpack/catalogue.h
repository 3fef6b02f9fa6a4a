// Language catalogues of the Korvane language libraries: reading the plain
// table (ID, tab, text with \n \r \\ escapes), checking it against the host
// interface table, and writing it as a resource-script string table.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lng {

// One rule breach. id is -1 when the fault lies in a line without a usable ID.
struct Breach {
    long id;
    int line;
    std::string message;
};

// Printable form: "ID 205: ..." or "line 12: ...".
std::string Describe(const Breach& breach);

struct Catalogue {
    std::map<unsigned, std::string> texts;  // by message ID, escapes resolved
    std::map<unsigned, int> lines;          // line of each ID in the table
};

// Reads a catalogue table; malformed lines, bad escapes and repeated IDs are
// added to breaches. Returns false when the file cannot be read.
bool ReadCatalogue(const std::string& path, Catalogue& catalogue, std::vector<Breach>& breaches);
bool ParseCatalogue(const std::string& content, Catalogue& catalogue, std::vector<Breach>& breaches);

// What the host expects of one message.
struct HostMessage {
    std::vector<std::string> conversions;  // e.g. "%-10s", in argument order
    std::vector<std::string> types;        // e.g. "string", parallel to conversions
    std::string lineEnds;                  // cr, crlf, lf or none
};

using HostInterface = std::map<unsigned, HostMessage>;

// Reads the host interface table; errors (which make the table unusable)
// are returned as text, one per line, empty on success.
std::string ReadInterface(const std::string& path, HostInterface& host);
std::string ParseInterface(const std::string& content, HostInterface& host);

// A printf conversion found in a text.
struct Conversion {
    std::string form;  // as written, e.g. "%25.25s"
    std::string type;  // argument type it takes: int, unsigned, long, string, char
};

// Splits out the conversions of a text. A percent sign that does not start a
// conversion of the supported set (or "%%") is reported in error.
std::vector<Conversion> FindConversions(const std::string& text, std::string& error);

// Line ends of a text: none, lf, cr, crlf, or mixed.
std::string LineEndKind(const std::string& text);

// Checks every rule of a catalogue against the host interface.
std::vector<Breach> Check(const Catalogue& catalogue, const HostInterface& host);

// The catalogue as a resource-script STRINGTABLE (neutral language).
std::string StringTableScript(const Catalogue& catalogue, const std::string& sourceName);

}  // namespace lng
