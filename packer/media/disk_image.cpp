// Diskette images through mtools. The programs run without a shell, with
// no user configuration and without long file names, so that every file
// takes exactly one root directory entry.
#include "packer/media/disk_image.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace bv {

namespace {

const char* const kTools[] = {"mformat", "mcopy", "mdir"};

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = dirs.find(':', begin);
        std::string dir = dirs.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            return false;
        begin = end + 1;
    }
}

// Runs an mtools program; its exit status, or -1 when it could not run.
// *output receives what it printed on either stream.
int RunTool(const std::vector<std::string>& args, std::string* output)
{
    output->clear();
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);

    std::vector<std::string> env = {"MTOOLSRC=/dev/null", "MTOOLS_NO_VFAT=1", "MTOOLS_SKIP_CHECK=1"};
    for (char** e = environ; *e != nullptr; e++) {
        if (std::strncmp(*e, "MTOOLS", 6) != 0)
            env.push_back(*e);
    }
    std::vector<char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        *output = std::strerror(spawned);
        return -1;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        output->append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Run(const std::vector<std::string>& args, std::string* output, std::string* error)
{
    if (RunTool(args, output) == 0)
        return true;
    std::string command;
    for (const std::string& a : args)
        command += (command.empty() ? "" : " ") + a;
    while (!output->empty() && (output->back() == '\n' || output->back() == '\r'))
        output->pop_back();
    *error = command + " failed" + (output->empty() ? std::string() : ": " + *output);
    return false;
}

// FNV-1a over the diskette's label, names and sizes.
std::uint32_t SerialOf(const Diskette& diskette)
{
    std::uint32_t h = 2166136261u;
    auto mix = [&](const std::string& s) {
        for (unsigned char c : s + '\n')
            h = (h ^ c) * 16777619u;
    };
    mix(diskette.label);
    for (const DisketteFile& f : diskette.files) {
        mix(f.name);
        mix(std::to_string(f.size));
    }
    return h;
}

}  // namespace

std::string MissingImageTools()
{
    std::string missing;
    for (const char* tool : kTools) {
        if (!OnPath(tool))
            missing += (missing.empty() ? "" : ", ") + std::string(tool);
    }
    if (missing.empty())
        return missing;
    return "diskette images need " + missing + " from mtools, not found on PATH (Debian: apt-get install mtools)";
}

bool WriteDisketteImage(const DisketteKind& kind, const Diskette& diskette, const std::string& path,
                        std::string* error)
{
    std::remove(path.c_str());
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08X", SerialOf(diskette));
    std::string output;
    bool ok = Run({"mformat", "-C", "-i", path, "-f", std::to_string(kind.formatKiB), "-v", diskette.label, "-N",
                   serial, "::"},
                  &output, error);
    for (const DisketteFile& f : diskette.files) {
        if (ok)
            ok = Run({"mcopy", "-m", "-i", path, f.source, "::" + f.name}, &output, error);
    }
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

bool ListDisketteImage(const std::string& path, std::vector<std::string>* names, std::string* error)
{
    names->clear();
    std::string output;
    if (!Run({"mdir", "-b", "-i", path, "::"}, &output, error))
        return false;
    std::size_t begin = 0;
    while (begin < output.size()) {
        std::size_t end = output.find('\n', begin);
        std::string line = output.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (line.compare(0, 3, "::/") == 0)
            names->push_back(line.substr(3));
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    return true;
}

}  // namespace bv
