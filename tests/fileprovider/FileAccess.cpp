// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileAccess.h"

#include <QFile>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace OrvelanNimbal::Testing {

void honourFilePermissions()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        qFatal("capget failed");
    constexpr quint32 bypass = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~bypass;
    if (::syscall(SYS_capset, &header, data) != 0)
        qFatal("capset failed");
}

void makeUnreadable(const QString &path)
{
    if (!QFile::setPermissions(path, {}))
        qFatal("cannot change the permissions of %s", qPrintable(path));
}

void makeReadable(const QString &path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace OrvelanNimbal::Testing
