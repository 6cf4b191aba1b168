// SPDX-License-Identifier: GPL-3.0-or-later
// Item identifiers from any text: what reads as an identifier writes back to a text that reads
// as the same identifier, equal identifiers hash alike, and every identifier's text is read.
#include "FuzzCheck.h"
#include "json/Utf8Text.h"
#include "models/ItemIdentifier.h"

#include <cstring>

using namespace OrvelanNimbal;

namespace {

void checkRoundTrip(const ItemIdentifier &identifier)
{
    const QString text = identifier.rawValue();
    const auto again = ItemIdentifier::fromRawValue(text);
    NIMBAL_FUZZ_CHECK(again && *again == identifier);
    NIMBAL_FUZZ_CHECK(again->rawValue() == text);
    NIMBAL_FUZZ_CHECK(qHash(*again, 7) == qHash(identifier, 7));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzzing::bytesOf(data, size);
    for (const QString &text : {utf8Text(bytes), QString::fromLatin1(bytes)}) {
        if (const auto identifier = ItemIdentifier::fromRawValue(text)) {
            checkRoundTrip(*identifier);
            // Only the root's name, or a prefix and a number, reads as an identifier.
            NIMBAL_FUZZ_CHECK(text == ItemIdentifier::rootRawValue || text.startsWith(u"f:")
                              || text.startsWith(u"d:"));
            NIMBAL_FUZZ_CHECK(identifier->kind() != ItemIdentifier::Kind::root
                              || text == ItemIdentifier::rootRawValue);
        }
    }
    // Any 64-bit id, as a file and as a folder.
    if (size >= sizeof(qint64)) {
        qint64 id = 0;
        std::memcpy(&id, data, sizeof id);
        checkRoundTrip(ItemIdentifier::file(id));
        checkRoundTrip(ItemIdentifier::folder(id));
        NIMBAL_FUZZ_CHECK(!(ItemIdentifier::file(id) == ItemIdentifier::folder(id)));
    }
    return 0;
}
