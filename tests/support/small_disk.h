// A small tmpfs mounted for a test: a disk that fills up. Mounting needs root; a test that
// cannot mount one says so with GTEST_SKIP, by name.
#pragma once
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>

struct small_disk {
    std::string dir;
    bool mounted = false;

    small_disk(const std::string &where, const std::string &size) : dir(where)
    {
        mkdir(dir.c_str(), 0755);
        mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~small_disk()
    {
        if (mounted) umount2(dir.c_str(), MNT_DETACH);
    }
};

#define SKIP_UNLESS_MOUNTED(disk) \
    if (!(disk).mounted) GTEST_SKIP() << "a full disk needs a small tmpfs, which only root can mount here"
