#pragma once

// A size-limited tmpfs mounted for one test, so a full disk is a real one:
// every write past the limit fails with ENOSPC. Needs root (or a mount
// namespace); `mounted()` says whether it worked, so a test can skip.
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>

#include <string>

namespace orvane::test {

class SmallFilesystem {
public:
    explicit SmallFilesystem(long long bytes) {
        if (!dir_.isValid()) {
            return;
        }
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        const QByteArray target = QFile::encodeName(dir_.path());
        mounted_ = ::mount("orvane-test", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                           options.c_str()) == 0;
    }
    ~SmallFilesystem() {
        if (mounted_) {
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
        }
    }
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

} // namespace orvane::test
