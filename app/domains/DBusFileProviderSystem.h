// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QDBusConnection>

#include <memory>

class FileProvider1Proxy;

namespace OrvelanNimbal {

// The file-provider system of this desktop: the `nimbal-fileprovider` daemon on the session bus
// (net.orvelan.nimbal.sync.fileprovider), which the bus starts on the first call. Each operation
// is one call of the extension's interface; its refusals arrive as the extension's named errors
// with their French messages. Completions run on the thread that owns the connection's objects
// (the main thread).
class DBusFileProviderSystem final : public FileProviderSystem {
public:
    explicit DBusFileProviderSystem(QDBusConnection bus = QDBusConnection::sessionBus());
    ~DBusFileProviderSystem() override;

    void domains(std::function<void(QList<FileProviderDomain>, std::optional<FileProviderError>)>
                     completion) override;
    void addDomain(FileProviderDomain domain, FileProviderCompletion completion) override;
    void removeDomain(FileProviderDomain domain, FileProviderCompletion completion) override;
    void manager(QString identifier,
                 std::function<void(std::shared_ptr<FileProviderManager>)> completion) override;
    void setUserEnabled(QString identifier, bool enabled,
                        FileProviderCompletion completion) override;

private:
    std::shared_ptr<FileProvider1Proxy> m_proxy;
};

} // namespace OrvelanNimbal
