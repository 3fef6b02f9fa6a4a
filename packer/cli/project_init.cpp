#include "packer/cli/project_init.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "packer/archive/archive_writer.h"
#include "packer/media/diskette.h"
#include "packer/release/reporter.h"

namespace fs = std::filesystem;

namespace bv {

namespace {

bool IsProgram(const std::string& name)
{
    std::string ext = UpperCase(fs::path(name).extension().string());
    return ext == ".EXE" || ext == ".COM" || ext == ".BAT";
}

// "HELLO.EXE" -> "Hello"
std::string TitleOf(const std::string& name)
{
    std::string title = fs::path(name).stem().string();
    for (std::size_t i = 0; i < title.size(); i++) {
        unsigned char c = static_cast<unsigned char>(title[i]);
        title[i] = static_cast<char>(i == 0 ? std::toupper(c) : std::tolower(c));
    }
    return title;
}

// The product folder's own name, also for DIR/ or DIR/. (its last element
// empty or ".").
std::string FolderNameOf(const std::string& dir)
{
    std::error_code ec;
    fs::path folder = fs::absolute(dir, ec).lexically_normal();
    std::string name = folder.filename().string();
    return name.empty() ? folder.parent_path().filename().string() : name;
}

}  // namespace

std::string ReleaseNameFor(const std::string& folder)
{
    std::string name;
    for (char c : UpperCase(folder))
        if ((std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) || c == '_' ||
            c == '-')
            name += c;
    name = name.substr(0, 8);
    return name.empty() ? "SETUP" : name;
}

std::string ProjectFileFor(const std::string& dir, const std::string& relative, std::string* error)
{
    const std::string folderName = FolderNameOf(dir);
    const std::string name = ReleaseNameFor(folderName);

    std::error_code ec;
    std::vector<std::string> files, folders;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        const std::string entry = e.path().filename().string();
        if (e.is_directory(ec))
            folders.push_back(entry);
        else if (e.is_regular_file(ec))
            files.push_back(entry);
    }
    if (ec) {
        *error = "cannot read the folder " + dir;
        return "";
    }
    if (files.empty() && folders.empty()) {
        *error = "the folder " + dir + " holds nothing to pack";
        return "";
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    const std::string prefix = relative.empty() || relative == "." ? "" : relative + "/";

    std::string text;
    text += "; The release of " + folderName + ", written by bvpack init. Build it with\n";
    text += ";     bvpack build " + name + ".INI\n";
    text += "; Paths are relative to this file; a line starting with ';' is a comment.\n";
    text += "[Setup]\n";
    text += "; The installer's name: volumes " + name + ".E00, " + name + ".E01, ... and " + name + ".EXE.\n";
    text += "Name = " + name + "\n";
    text += "Destination = C:\\" + name + "\n";
    text += "; ChangeDestination = no\n";
    text += "; Volumes laid out on diskettes of one kind (" + DisketteKindNames() + "),\n";
    text += "; with their images:\n";
    text += "; Diskette = 1.44M\n";
    text += "; Images = yes\n";
    text += "; Without Installer, bvpack adds its own; \"none\" makes volumes only.\n";
    text += "; Installer = none\n";
    text += "Output = release\n";
    text += "\n[Files]\n";
    text += "; Each Source a file, or a folder with everything below it (=> FOLDER: below\n";
    text += "; that folder of the destination).\n";
    for (const std::string& f : folders)
        text += "Source = " + prefix + f + " => " + f + "\n";
    for (const std::string& f : files)
        text += "Source = " + prefix + f + "\n";

    std::vector<std::string> programs;
    std::copy_if(files.begin(), files.end(), std::back_inserter(programs), IsProgram);
    text += "\n; A Program Manager group with an item for each program: COMMAND, TITLE.\n";
    const char* off = programs.empty() ? "; " : "";
    text += std::string(off) + "[Group]\n";
    text += std::string(off) + "Name = " + folderName + "\n";
    for (const std::string& p : programs)
        text += "Item = " + p + ", " + TitleOf(p) + "\n";
    if (programs.empty())
        text += "; Item = PROGRAM.EXE, Title\n";
    text += "\n; The program to start in the destination at the end:\n";
    text += "; [Run]\n";
    text += "; Program = " + (programs.empty() ? std::string("PROGRAM.EXE") : programs.front()) + "\n";
    return text;
}

int InitProject(const std::string& dir)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::fprintf(stderr, "bvpack: no folder %s\n", dir.c_str());
        return EXIT_IO;
    }
    const std::string file = ReleaseNameFor(FolderNameOf(dir)) + ".INI";
    if (fs::exists(file, ec) || fs::is_symlink(file, ec)) {
        std::fprintf(stderr, "bvpack: %s exists; init does not overwrite it\n", file.c_str());
        return EXIT_USAGE;
    }
    const fs::path folder = fs::absolute(dir, ec).lexically_normal();
    fs::path relative = fs::proximate(folder, fs::current_path(ec), ec);
    std::string error;
    std::string text = ProjectFileFor(dir, ec ? folder.generic_string() : relative.generic_string(), &error);
    if (text.empty()) {
        std::fprintf(stderr, "bvpack: %s\n", error.c_str());
        return EXIT_USAGE;
    }
    std::ofstream out(file, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        fs::remove(file, ec);
        std::fprintf(stderr, "bvpack: cannot write %s\n", file.c_str());
        return EXIT_IO;
    }
    std::printf("wrote %s for %s; build it with: bvpack build %s\n", file.c_str(), dir.c_str(), file.c_str());
    return EXIT_OK;
}

}  // namespace bv
