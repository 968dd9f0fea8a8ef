#pragma once

#include <QtGlobal>

namespace tavrine {

// The errors the reading store raises itself. Failures of the file system, of JSON decoding and of the
// text-file gate pass through the store unchanged (StoreFailure holds any of them).
struct ReadingStoreError {
    enum class Kind {
        unsupportedVersion,  // the store file declares a format version the store cannot read
        invalidData,         // a file or an argument is malformed, inconsistent or not what the store expects
        missingDocument,     // no such document, or its identifier belongs to a deleted one
        duplicateIdentity,   // a new document carries an identifier that is already stored
        lockUnavailable,     // another store, in this process or another, holds the lock on these files
    };

    Kind kind = Kind::invalidData;
    // The version found in the store file; meaningful only for unsupportedVersion.
    qint64 version = 0;

    static ReadingStoreError unsupportedVersionOf(qint64 found) { return {Kind::unsupportedVersion, found}; }
    static ReadingStoreError invalidData() { return {Kind::invalidData}; }
    static ReadingStoreError missingDocument() { return {Kind::missingDocument}; }
    static ReadingStoreError duplicateIdentity() { return {Kind::duplicateIdentity}; }
    static ReadingStoreError lockUnavailable() { return {Kind::lockUnavailable}; }

    bool operator==(const ReadingStoreError& other) const {
        return kind == other.kind && (kind != Kind::unsupportedVersion || version == other.version);
    }
};

}  // namespace tavrine
