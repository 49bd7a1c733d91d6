#pragma once
// The system calls through which the file system names, replaces and flushes files, behind one
// small interface: tests wrap it to record the calls or to make one of them fail. Each call
// behaves as its POSIX namesake, errno included; interrupted calls are retried by the caller.

#include <sys/types.h>

#include <memory>

#include "util/FileSystem.h"

namespace zenivor {

class SystemCalls {
public:
    virtual ~SystemCalls() = default;
    virtual int OpenAt(int folder, const char* name, int flags, mode_t mode);
    virtual int LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags);
    virtual int RenameAt(int fromFolder, const char* from, int toFolder, const char* to);
    virtual int UnlinkAt(int folder, const char* name, int flags);
    virtual int Fsync(int descriptor);
};

// The calls as the system makes them.
SystemCalls& RealSystemCalls();

// This machine's file system, making its calls through calls.
std::unique_ptr<FileSystem> MakePosixFileSystem(TemporaryFiles temporaries, SystemCalls& calls);

}  // namespace zenivor
