// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

namespace OrvelanNimbal {

// An item as the file-provider layer names it: a file or a folder by server id, or the root.
// Text forms: "f:42", "d:7", and the root container's fixed name.
class ItemIdentifier {
public:
    enum class Kind { file, folder, root };

    static ItemIdentifier file(qint64 id) { return {Kind::file, id}; }
    static ItemIdentifier folder(qint64 id) { return {Kind::folder, id}; }
    static ItemIdentifier root() { return {Kind::root, 0}; }
    // The container of an item whose parent id is given: the root for none or an id below 1.
    static ItemIdentifier folder(std::optional<qint64> parentID);

    static const QString rootRawValue; // "NSFileProviderRootContainerItemIdentifier"

    // Nothing for any other prefix, an empty or non-numeric rest, or a value out of range.
    static std::optional<ItemIdentifier> fromRawValue(QStringView text);
    QString rawValue() const;
    QString description() const { return rawValue(); }

    Kind kind() const { return m_kind; }
    qint64 id() const { return m_id; } // 0 for the root
    std::optional<qint64> serverFolderID() const;
    bool isFolderOrRoot() const { return m_kind != Kind::file; }

    friend bool operator==(const ItemIdentifier &, const ItemIdentifier &) = default;

private:
    ItemIdentifier(Kind kind, qint64 id)
        : m_kind(kind)
        , m_id(id)
    {}

    Kind m_kind;
    qint64 m_id;
};

// A discriminator first, so that file 5 and folder 5 hash apart.
size_t qHash(const ItemIdentifier &identifier, size_t seed = 0) noexcept;

} // namespace OrvelanNimbal
