// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal {

// A domain of the file-provider system: the folder of one signed-in account. The extension
// keeps them; the application and the command line register them and read them back.
struct FileProviderDomain {
    QString identifier; // the account, exactly as the session holds it
    QString displayName;
    // The user's own switch for this domain; a switched-off domain shows nothing.
    bool userEnabled = true;

    // The one domain of a signed-in account, named by the account: whichever front end signed
    // in registers the same, so that the other finds it as its own.
    static FileProviderDomain forAccount(const QString &account) { return {account, account}; }

    friend bool operator==(const FileProviderDomain &, const FileProviderDomain &) = default;
};

} // namespace OrvelanNimbal
