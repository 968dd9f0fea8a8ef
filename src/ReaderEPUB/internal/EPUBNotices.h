#pragma once

#include <QList>
#include <QString>

#include <set>

#include "ReaderCore/EPUBBook.h"

namespace tavrine::EPUBNotices {

// Notices are gathered through one import run in the order the stages raise them, duplicates
// included; the finished book carries each pair of kind and resource once, in a fixed order.

// Appends a notice for each kind raised while rendering the content document at `path`, kinds in
// ascending order of their names, each with that path as its resource.
void appendRendered(QList<EPUBBook::Notice>& notices, const std::set<EPUBBook::Notice::Kind>& kinds,
                    const QString& path);

// The order of a book's notices: by resource in text order (Unicode scalar values; an absent resource
// counts as the empty text, so notices about the whole book come first), then by the name of the
// kind. Equal resources and kinds answer false both ways.
bool comesBefore(const EPUBBook::Notice& a, const EPUBBook::Notice& b);

// The notices of a finished run as the book keeps them: each pair of kind and resource once (an
// absent resource differs from an empty one) in the order of comesBefore(). Of two notices that the
// order cannot tell apart, the one without a resource comes first.
QList<EPUBBook::Notice> finalNotices(QList<EPUBBook::Notice> notices);

}  // namespace tavrine::EPUBNotices
