#include "langpack/catalogue.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace lng {
namespace {

bool ReadFileText(const std::string& path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    content = all.str();
    return true;
}

// Splits content into lines; a CR before the LF (a table saved with DOS
// line ends) is not part of the line.
std::vector<std::string> SplitLines(const std::string& content)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < content.size()) {
        std::string::size_type end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool ParseId(const std::string& field, unsigned& id)
{
    if (field.empty() || field.size() > 5) return false;
    unsigned value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > 65535) return false;
    id = value;
    return true;
}

std::vector<std::string> SplitWords(const std::string& field)
{
    std::vector<std::string> words;
    std::istringstream in(field);
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

std::string Hex2(unsigned char c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

std::string Visible(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string JoinForms(const std::vector<std::string>& forms)
{
    std::string out;
    for (const std::string& s : forms) out += (out.empty() ? "" : " ") + s;
    return out.empty() ? "none" : out;
}

}  // namespace

std::string Describe(const Breach& breach)
{
    if (breach.id >= 0) return "ID " + std::to_string(breach.id) + ": " + breach.message;
    return "line " + std::to_string(breach.line) + ": " + breach.message;
}

bool ParseCatalogue(const std::string& content, Catalogue& catalogue, std::vector<Breach>& breaches)
{
    std::vector<std::string> lines = SplitLines(content);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        int lineNo = int(n) + 1;
        if (line.empty() || line[0] == '#') continue;
        std::string::size_type tab = line.find('\t');
        unsigned id = 0;
        if (tab == std::string::npos || !ParseId(line.substr(0, tab), id)) {
            breaches.push_back({-1, lineNo, "expected a message ID (0-65535), a tab and the text"});
            continue;
        }
        std::string text;
        bool escapesOk = true;
        for (std::string::size_type i = tab + 1; i < line.size(); ++i) {
            if (line[i] != '\\') {
                text += line[i];
                continue;
            }
            char next = i + 1 < line.size() ? line[i + 1] : '\0';
            if (next == 'n') text += '\n';
            else if (next == 'r') text += '\r';
            else if (next == '\\') text += '\\';
            else {
                breaches.push_back({long(id), lineNo,
                                    next ? std::string("unknown escape \\") + next
                                         : std::string("backslash at the end of the text")});
                escapesOk = false;
                break;
            }
            ++i;
        }
        if (!escapesOk) continue;
        if (catalogue.texts.count(id)) {
            breaches.push_back({long(id), lineNo,
                                "given twice (first on line " + std::to_string(catalogue.lines[id]) + ")"});
            continue;
        }
        catalogue.texts[id] = text;
        catalogue.lines[id] = lineNo;
    }
    return true;
}

bool ReadCatalogue(const std::string& path, Catalogue& catalogue, std::vector<Breach>& breaches)
{
    std::string content;
    if (!ReadFileText(path, content)) return false;
    return ParseCatalogue(content, catalogue, breaches);
}

std::vector<Conversion> FindConversions(const std::string& text, std::string& error)
{
    std::vector<Conversion> found;
    error.clear();
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        std::string::size_type j = i + 1;
        while (j < text.size() && text[j] == '-') ++j;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        if (j < text.size() && text[j] == '.') {
            ++j;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        }
        bool isLong = j < text.size() && text[j] == 'l';
        if (isLong) ++j;
        char c = j < text.size() ? text[j] : '\0';
        std::string type;
        if (c == 'd') type = isLong ? "long" : "int";
        else if (!isLong && (c == 'u' || c == 'X')) type = "unsigned";
        else if (!isLong && c == 's') type = "string";
        else if (!isLong && c == 'c') type = "char";
        if (type.empty()) {
            std::string near = text.substr(i, j + 1 - i);
            error = c == '%' && j == i + 1 ? "literal percent sign \"%%\" at column " + std::to_string(i + 1)
                                           : "stray percent sign \"" + Visible(near) + "\" at column " +
                                                 std::to_string(i + 1);
            return found;
        }
        found.push_back({text.substr(i, j + 1 - i), type});
        i = j;
    }
    return found;
}

std::string LineEndKind(const std::string& text)
{
    size_t cr = 0, lf = 0, crlf = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            ++cr;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++crlf;
        } else if (text[i] == '\n') {
            ++lf;
        }
    }
    if (cr == 0 && lf == 0) return "none";
    if (crlf > 0) return crlf == cr && crlf == lf ? "crlf" : "mixed";
    if (cr > 0) return lf > 0 ? "mixed" : "cr";
    return "lf";
}

std::string ParseInterface(const std::string& content, HostInterface& host)
{
    std::string errors;
    std::vector<std::string> lines = SplitLines(content);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        std::string where = "line " + std::to_string(n + 1) + ": ";
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::string::size_type start = 0, tab;
        while ((tab = line.find('\t', start)) != std::string::npos) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        unsigned id = 0;
        if (fields.size() != 3 || !ParseId(fields[0], id)) {
            errors += where + "expected ID, conversions and line ends, separated by tabs\n";
            continue;
        }
        if (host.count(id)) {
            errors += where + "ID " + fields[0] + " given twice\n";
            continue;
        }
        HostMessage message;
        message.lineEnds = fields[2];
        if (message.lineEnds != "cr" && message.lineEnds != "crlf" && message.lineEnds != "lf" &&
            message.lineEnds != "none") {
            errors += where + "line ends must be cr, crlf, lf or none\n";
            continue;
        }
        bool ok = true;
        if (fields[1] != "-") {
            for (const std::string& word : SplitWords(fields[1])) {
                std::string::size_type colon = word.rfind(':');
                std::string form = colon == std::string::npos ? word : word.substr(0, colon);
                std::string type = colon == std::string::npos ? "" : word.substr(colon + 1);
                std::string error;
                std::vector<Conversion> parsed = FindConversions(form, error);
                if (parsed.size() != 1 || parsed[0].form != form || parsed[0].type != type) {
                    errors += where + "\"" + word + "\" is not a conversion with its argument type\n";
                    ok = false;
                    break;
                }
                message.conversions.push_back(form);
                message.types.push_back(type);
            }
        }
        if (ok) host[id] = message;
    }
    return errors;
}

std::string ReadInterface(const std::string& path, HostInterface& host)
{
    std::string content;
    if (!ReadFileText(path, content)) return "cannot read " + path + "\n";
    return ParseInterface(content, host);
}

std::vector<Breach> Check(const Catalogue& catalogue, const HostInterface& host)
{
    std::vector<Breach> breaches;
    for (const auto& [id, text] : catalogue.texts) {
        long bid = long(id);
        int line = catalogue.lines.at(id);
        auto wanted = host.find(id);
        if (wanted == host.end()) {
            breaches.push_back({bid, line, "the host has no message with this ID"});
            continue;
        }
        if (text.empty()) breaches.push_back({bid, line, "empty text (reads as a missing message)"});
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 || c > 0x7E) && c != '\r' && c != '\n')
                breaches.push_back({bid, line, "character " + Hex2(c) + " at column " + std::to_string(i + 1) +
                                                   " is not printable ASCII, CR or LF"});
        }

        std::string error;
        std::vector<Conversion> found = FindConversions(text, error);
        if (!error.empty()) {
            breaches.push_back({bid, line, error});
        } else {
            std::vector<std::string> forms;
            for (const Conversion& c : found) forms.push_back(c.form);
            const HostMessage& want = wanted->second;
            if (forms.size() != want.conversions.size()) {
                breaches.push_back({bid, line, "conversions " + JoinForms(forms) + ", but the host passes " +
                                                   JoinForms(want.conversions)});
            } else {
                for (size_t k = 0; k < forms.size(); ++k) {
                    if (forms[k] == want.conversions[k]) continue;
                    breaches.push_back({bid, line, "conversion " + std::to_string(k + 1) + " is " + forms[k] + " (" +
                                                       found[k].type + "), but the host passes " +
                                                       want.conversions[k] + " (" + want.types[k] + ")"});
                }
            }
        }

        std::string kind = LineEndKind(text);
        const std::string& want = wanted->second.lineEnds;
        if (kind == "mixed")
            breaches.push_back({bid, line, "mixes line ends (CR, LF and CR LF)"});
        else if (kind != want)
            breaches.push_back({bid, line, "line ends are " + kind + ", but the host expects " + want});
    }
    for (const auto& [id, message] : host) {
        (void)message;
        if (!catalogue.texts.count(id)) breaches.push_back({long(id), 0, "text missing"});
    }
    return breaches;
}

std::string StringTableScript(const Catalogue& catalogue, const std::string& sourceName)
{
    std::string out = "// Generated from " + sourceName + "; edit that table, not this file.\n";
    out += "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n";
    for (const auto& [id, text] : catalogue.texts) {
        out += "  " + std::to_string(id) + ", \"";
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            unsigned char u = static_cast<unsigned char>(c);
            // The script goes through the C preprocessor: "??" could start a
            // trigraph there, so the first question mark is written in octal.
            if (c == '"') out += "\"\"";
            else if (c == '\\') out += "\\\\";
            else if (c == '?' && i + 1 < text.size() && text[i + 1] == '?') out += "\\077";
            else if (u >= 0x20 && u <= 0x7E) out += c;
            else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\%03o", u);
                out += buf;
            }
        }
        out += "\"\n";
    }
    out += "END\n";
    return out;
}

}  // namespace lng
