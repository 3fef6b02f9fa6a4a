// A scratch directory for one test, and its removal even where a test left
// read-only files or directories in it.
#pragma once
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

inline std::filesystem::path MakeScratchDir(const char* tag)
{
    std::string name = std::string("/tmp/") + tag + "-XXXXXX";
    if (!mkdtemp(&name[0])) ADD_FAILURE() << "cannot make " << name;
    return name;
}

inline void RemoveScratchDir(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto& entry : fs::recursive_directory_iterator(root, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
}
