#include "base/file_failures.h"

#include <new>
#include <physfs.h>
#include <string>
#include <unordered_map>

namespace {
struct file_stamp {
    bool present;
    int64_t size;
    int64_t modtime;
    uint64_t checked_pass;
};
} // namespace

struct file_failures {
    std::unordered_map<std::string, file_stamp> failed;
};

static file_stamp stamp_now(const char *path, uint64_t pass)
{
    PHYSFS_Stat st;
    if (!PHYSFS_stat(path, &st)) return file_stamp{false, -1, -1, pass};
    return file_stamp{true, st.filesize, st.modtime, pass};
}

file_failures *file_failures_create(void) { return new (std::nothrow) file_failures(); }

void file_failures_delete(file_failures *failures) { delete failures; }

int file_failures_unchanged(file_failures *failures, const char *path, uint64_t pass)
{
    if (!failures || !path) return 0;
    auto found = failures->failed.find(path);
    if (found == failures->failed.end()) return 0;
    file_stamp &was = found->second;
    if (was.checked_pass == pass) return 1;
    file_stamp now = stamp_now(path, pass);
    if (now.present != was.present || now.size != was.size || now.modtime != was.modtime) return 0;
    was.checked_pass = pass;
    return 1;
}

void file_failures_record(file_failures *failures, const char *path, uint64_t pass)
{
    if (!failures || !path) return;
    failures->failed[path] = stamp_now(path, pass);
}

void file_failures_forget(file_failures *failures, const char *path)
{
    if (!failures) return;
    if (path) failures->failed.erase(path);
    else failures->failed.clear();
}
