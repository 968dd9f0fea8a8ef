#pragma once

#include "ReaderCore/EPUBBook.h"

#include <QList>
#include <QString>

namespace tavrine::test {

using Navigation = EPUBBook::Navigation;
using Destination = EPUBBook::Destination;

inline Destination at(const QString& sectionID, qsizetype offset) {
    return Destination::position(sectionID, offset);
}

inline Navigation entry(const QString& id,
                        Destination destination = Destination::unavailable(EPUBBook::Unavailable::group),
                        QList<Navigation> children = {}) {
    std::optional<QString> reference;
    if (destination.asPosition()) reference = QStringLiteral("chapter.xhtml#") + id;
    return Navigation(id, QStringLiteral("Label ") + id, reference, std::move(destination), std::move(children));
}

// A chain of `depth` entries, each the only child of the one before; ids "<prefix>1" (the top) onwards.
// Built bottom-up without recursion, so any depth can be made.
inline Navigation chain(qsizetype depth, const QString& prefix = QStringLiteral("c")) {
    Navigation node = entry(prefix + QString::number(depth));
    for (qsizetype level = depth - 1; level >= 1; --level) {
        node = entry(prefix + QString::number(level), Destination::unavailable(EPUBBook::Unavailable::group),
                     {std::move(node)});
    }
    return node;
}

}  // namespace tavrine::test
