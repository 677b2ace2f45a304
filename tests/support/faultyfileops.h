#pragma once
// Test support: the real file operations, of which any one call can be made
// to fail, or to stop the process right there (a crash), taking with it what
// a power loss would take. Every load and save goes through this one seam,
// so a test can walk a save step by step and check what each stop leaves.
#include "fileops.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <vector>

struct SimulatedCrash {};

// What a crash takes with it.
enum class Loss {
    Nothing,             // the process stopped; every call made reached the disk
    Unflushed,           // power failed: writes since a file's last flush are lost, and so are
                         // names made or removed in a folder not flushed since
    EveryOtherUnflushed, // power failed and the disk kept every second unflushed write
};

class FaultyFileOps : public FileOps
{
public:
    // Counting starts, and faults apply, only once armed: a test loads first.
    bool armed = false;
    int crashAt = 0;            // the call (1-based, counted while armed) that crashes
    Loss loss = Loss::Nothing;
    int failAt = 0;             // the call that fails instead...
    QByteArray failing;         // ...or every call of this name from the failingFrom-th on
    int failingFrom = 1;
    int failWith = ENOSPC;
    QByteArray crashOnWriteTo;  // or crash at a write to this file...
    int writesBeforeCrash = 0;  // ...after letting this many through
    int64_t maxIo = 0;          // shorter reads and writes, so that each takes several steps
    int noKernelCopy = 0;       // fail kernel copies and hole searches with this errno
    QByteArray refusedFolder;   // no new file is made in here (EACCES)
    std::function<void(const QByteArray &from)> beforeRename;
    std::function<void(const QByteArray &path)> beforeWrite;

    QByteArray triggeredCall;   // the call that failed or crashed
    QStringList violations;     // orders a real crash could punish
    QList<QByteArray> created;  // names made while armed

    int open(const QByteArray &path, int flags, uint32_t mode) override
    {
        if ((flags & CreateNew) && !refusedFolder.isEmpty() && path.startsWith(refusedFolder + '/'))
            return -EACCES;
        if (const int r = step("open"))
            return r;
        const int fd = FileOps::open(path, flags, mode);
        if (fd >= 0)
            m_paths[fd] = path;
        if (fd >= 0 && (flags & CreateNew)) {
            m_createdUnflushed.insert(path);
            if (armed)
                created.append(path);
        }
        return fd;
    }
    int close(int fd) override
    {
        m_paths.erase(fd);
        // Descriptors close on the way out of a crash too, and a destructor
        // cannot throw: closing never crashes.
        const int r = m_crashed ? 0 : step("close", false);
        FileOps::close(fd);
        return r;
    }
    int64_t read(int fd, void *buffer, int64_t size) override
    {
        return at("read", [&] { return FileOps::read(fd, buffer, capped(size)); });
    }
    int64_t pread(int fd, void *buffer, int64_t size, int64_t offset) override
    {
        return at("pread", [&] { return FileOps::pread(fd, buffer, capped(size), offset); });
    }
    int64_t pwrite(int fd, const void *buffer, int64_t size, int64_t offset) override
    {
        if (armed && !crashOnWriteTo.isEmpty() && m_paths[fd] == crashOnWriteTo && writesBeforeCrash-- == 0)
            crash();
        if (armed && beforeWrite)
            beforeWrite(m_paths[fd]);
        if (const int r = step("pwrite"))
            return r;
        remember(fd, offset, capped(size));
        return FileOps::pwrite(fd, buffer, capped(size), offset);
    }
    int fsync(int fd, bool dataOnly) override
    {
        if (const int r = step("fsync"))
            return r;
        const int r = FileOps::fsync(fd, dataOnly);
        const QByteArray path = m_paths[fd];
        m_unflushed.erase(path);
        std::erase_if(m_createdUnflushed, [&](const QByteArray &p) { return FileIo::folderOf(p) == path; });
        std::erase_if(m_removedUnflushed, [&](const auto &p) { return FileIo::folderOf(p.first) == path; });
        return r;
    }
    int ftruncate(int fd, int64_t length) override
    {
        if (const int r = step("ftruncate"))
            return r;
        remember(fd, length, std::numeric_limits<int64_t>::max() / 2);
        return FileOps::ftruncate(fd, length);
    }
    int fstat(int fd, FileStatus &out) override { return at("fstat", [&] { return FileOps::fstat(fd, out); }); }
    int stat(const QByteArray &path, FileStatus &out) override
    {
        return at("stat", [&] { return FileOps::stat(path, out); });
    }
    int lstat(const QByteArray &path, FileStatus &out) override
    {
        return at("lstat", [&] { return FileOps::lstat(path, out); });
    }
    int readlink(const QByteArray &path, QByteArray &target) override
    {
        return at("readlink", [&] { return FileOps::readlink(path, target); });
    }
    int access(const QByteArray &path, int what) override
    {
        if ((what & MayWrite) && !refusedFolder.isEmpty() && path == refusedFolder)
            return -EACCES;
        return at("access", [&] { return FileOps::access(path, what); });
    }
    int rename(const QByteArray &from, const QByteArray &to) override
    {
        if (const int r = step("rename"))
            return r;
        if (m_unflushed.count(from))
            violations << QStringLiteral("%1 was renamed before it was flushed").arg(QString::fromLocal8Bit(from));
        if (beforeRename)
            beforeRename(from);
        m_createdUnflushed.erase(from);
        return FileOps::rename(from, to);
    }
    int unlink(const QByteArray &path) override
    {
        if (const int r = step("unlink"))
            return r;
        // A power loss before the folder is flushed brings the name back.
        if (!m_createdUnflushed.erase(path)) {
            QFile f(QString::fromLocal8Bit(path));
            if (f.size() <= (int64_t(16) << 20) && f.open(QIODevice::ReadOnly))
                m_removedUnflushed[path] = f.readAll();
        }
        m_unflushed.erase(path);
        return FileOps::unlink(path);
    }
    int mkdir(const QByteArray &path, uint32_t mode) override
    {
        return at("mkdir", [&] { return FileOps::mkdir(path, mode); });
    }
    int listFolder(const QByteArray &path, QList<QByteArray> &names) override
    {
        return at("listFolder", [&] { return FileOps::listFolder(path, names); });
    }
    int fchown(int fd, uint32_t owner, uint32_t group) override
    {
        return at("fchown", [&] { return FileOps::fchown(fd, owner, group); });
    }
    int fchmod(int fd, uint32_t mode) override { return at("fchmod", [&] { return FileOps::fchmod(fd, mode); }); }
    int fsetxattr(int fd, const char *name, const void *value, int64_t size) override
    {
        return at("fsetxattr", [&] { return FileOps::fsetxattr(fd, name, value, size); });
    }
    int64_t seek(int fd, int64_t offset, Seek which) override
    {
        if (const int r = step("seek"))
            return r;
        return noKernelCopy ? -noKernelCopy : FileOps::seek(fd, offset, which);
    }
    int64_t copyFileRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t len) override
    {
        if (const int r = step("copyFileRange"))
            return r;
        if (noKernelCopy)
            return -noKernelCopy;
        remember(out, outOffset, capped(len));
        return FileOps::copyFileRange(in, inOffset, out, outOffset, capped(len));
    }
    int lock(int fd) override { return at("lock", [&] { return FileOps::lock(fd); }); }

private:
    struct Undo {
        int64_t offset;
        QByteArray bytes;
        int64_t size;
    };

    template<typename Call>
    auto at(const char *name, Call call) -> decltype(call())
    {
        if (const int r = step(name))
            return r;
        return call();
    }

    int step(const char *name, bool mayCrash = true)
    {
        if (m_crashed)
            return -EIO;
        if (!armed)
            return 0;
        ++m_calls;
        if (m_calls == crashAt && !mayCrash)
            ++crashAt; // at the next call that can
        else if (m_calls == crashAt)
            crash();
        const bool byName = !failing.isEmpty() && failing == name && ++m_named >= failingFrom;
        if (m_calls == failAt || byName) {
            triggeredCall = name;
            return -failWith;
        }
        return 0;
    }

    int64_t capped(int64_t len) const { return maxIo > 0 ? std::min(len, maxIo) : len; }

    // Keeps what a write is about to replace, to take it back at a power
    // loss. Regions too large to keep in memory count as flushed.
    void remember(int fd, int64_t offset, int64_t len)
    {
        if (loss == Loss::Nothing)
            return;
        FileStatus st;
        FileOps::fstat(fd, st);
        const int64_t kept = std::max<int64_t>(0, std::min(len, st.id.size - offset));
        if (kept > (int64_t(64) << 20))
            return;
        QByteArray old(qsizetype(kept), '\0');
        if (!old.isEmpty())
            FileOps::pread(fd, old.data(), old.size(), offset);
        m_unflushed[m_paths[fd]].push_back({offset, old, st.id.size});
    }

    [[noreturn]] void crash()
    {
        m_crashed = true;
        triggeredCall = "crash";
        if (loss != Loss::Nothing) {
            for (auto &[path, undos] : m_unflushed) {
                const int fd = FileOps::open(path, ReadWrite, 0);
                for (int64_t i = int64_t(undos.size()) - 1; fd >= 0 && i >= 0; --i) {
                    if (loss == Loss::EveryOtherUnflushed && i % 2 == 1)
                        continue;
                    FileOps::ftruncate(fd, undos[size_t(i)].size);
                    FileOps::pwrite(fd, undos[size_t(i)].bytes.constData(), undos[size_t(i)].bytes.size(),
                                    undos[size_t(i)].offset);
                }
                if (fd >= 0)
                    FileOps::close(fd);
            }
            for (const QByteArray &path : m_createdUnflushed)
                FileOps::unlink(path);
            for (const auto &[path, bytes] : m_removedUnflushed) {
                QFile f(QString::fromLocal8Bit(path));
                if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                    f.write(bytes);
            }
        }
        throw SimulatedCrash{};
    }

    int m_calls = 0;
    int m_named = 0;
    bool m_crashed = false;
    std::map<int, QByteArray> m_paths;
    std::map<QByteArray, std::vector<Undo>> m_unflushed;
    std::set<QByteArray> m_createdUnflushed;
    std::map<QByteArray, QByteArray> m_removedUnflushed;
};
