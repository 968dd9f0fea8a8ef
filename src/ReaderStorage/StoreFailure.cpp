#include "ReaderStorage/StoreFailure.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

QString describe(const ReadingStoreError& error) {
    using Kind = ReadingStoreError::Kind;
    switch (error.kind) {
    case Kind::unsupportedVersion: return u"unsupportedVersion(%1)"_s.arg(error.version);
    case Kind::invalidData: return u"invalidData"_s;
    case Kind::missingDocument: return u"missingDocument"_s;
    case Kind::duplicateIdentity: return u"duplicateIdentity"_s;
    case Kind::lockUnavailable: return u"lockUnavailable"_s;
    }
    return QString();
}

QString describe(const FileError& error) {
    return error.description();
}

QString describe(const DecodingError& error) {
    return u"decoding error at \"%1\": %2"_s.arg(error.codingPath, error.debugDescription);
}

QString describe(LibraryTextFile::Failure failure) {
    return u"text file: "_s + rawValue(failure);
}

QString describe(OperationCancelled) {
    return u"cancelled"_s;
}

}  // namespace

QString describeStoreFailure(const StoreFailure& failure) {
    return std::visit([](const auto& value) { return describe(value); }, failure);
}

}  // namespace tavrine
