#include "base/physfsrwops.h"
#include "base/files.h"

#include <physfs.h>

static PHYSFS_File *rw_file(SDL_RWops *rw) { return (PHYSFS_File *)rw->hidden.unknown.data1; }

static Sint64 SDLCALL physfsrwops_size(SDL_RWops *rw)
{
    return (Sint64)PHYSFS_fileLength(rw_file(rw));
}

static Sint64 SDLCALL physfsrwops_seek(SDL_RWops *rw, Sint64 offset, int whence)
{
    PHYSFS_File *f = rw_file(rw);
    Sint64 target;
    if (whence == RW_SEEK_SET) {
        target = offset;
    } else if (whence == RW_SEEK_CUR) {
        PHYSFS_sint64 current = PHYSFS_tell(f);
        if (current == -1) {
            SDL_SetError("Can't find position in file: %s", physfs_last_error());
            return -1;
        }
        if (offset == 0) return current;
        target = current + offset;
    } else if (whence == RW_SEEK_END) {
        PHYSFS_sint64 length = PHYSFS_fileLength(f);
        if (length == -1) {
            SDL_SetError("Can't find end of file: %s", physfs_last_error());
            return -1;
        }
        target = length + offset;
    } else {
        SDL_SetError("Invalid 'whence' parameter.");
        return -1;
    }
    if (target < 0) {
        SDL_SetError("Attempt to seek past start of file.");
        return -1;
    }
    if (!PHYSFS_seek(f, (PHYSFS_uint64)target)) {
        SDL_SetError("PhysicsFS error: %s", physfs_last_error());
        return -1;
    }
    return target;
}

static size_t SDLCALL physfsrwops_read(SDL_RWops *rw, void *ptr, size_t size, size_t maxnum)
{
    if (size == 0 || maxnum == 0) return 0;
    if (maxnum > SIZE_MAX / size) { // the byte count would wrap
        SDL_SetError("PhysicsFS error: read too large");
        return 0;
    }
    PHYSFS_File *f = rw_file(rw);
    size_t want = size * maxnum;
    PHYSFS_sint64 got = PHYSFS_readBytes(f, ptr, want);
    if (got < 0) {
        SDL_SetError("PhysicsFS error: %s", physfs_last_error());
        return 0;
    }
    if ((size_t)got < want && !PHYSFS_eof(f)) {
        SDL_SetError("PhysicsFS error: %s", physfs_last_error());
        return 0;
    }
    return (size_t)got / size;
}

static size_t SDLCALL physfsrwops_write(SDL_RWops *rw, const void *ptr, size_t size, size_t num)
{
    if (size == 0 || num == 0) return 0;
    if (num > SIZE_MAX / size) {
        SDL_SetError("PhysicsFS error: write too large");
        return 0;
    }
    size_t want = size * num;
    PHYSFS_sint64 put = PHYSFS_writeBytes(rw_file(rw), ptr, want);
    if (put < 0 || (size_t)put < want) SDL_SetError("PhysicsFS error: %s", physfs_last_error());
    return put < 0 ? 0 : (size_t)put / size;
}

static int SDLCALL physfsrwops_close(SDL_RWops *rw)
{
    if (!PHYSFS_close(rw_file(rw))) {
        SDL_SetError("PhysicsFS error: %s", physfs_last_error());
        return -1;
    }
    SDL_FreeRW(rw);
    return 0;
}

SDL_RWops *PHYSFSRWOPS_openRead(const char *path)
{
    PHYSFS_File *f = files_open_regular(path);
    if (!f) {
        SDL_SetError("PhysicsFS error: %s", physfs_last_error());
        return nullptr;
    }
    SDL_RWops *rw = SDL_AllocRW();
    if (!rw) {
        PHYSFS_close(f);
        return nullptr;
    }
    rw->size = physfsrwops_size;
    rw->seek = physfsrwops_seek;
    rw->read = physfsrwops_read;
    rw->write = physfsrwops_write;
    rw->close = physfsrwops_close;
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->hidden.unknown.data1 = f;
    return rw;
}
