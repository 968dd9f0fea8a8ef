#pragma once

#include "ReaderEPUB/EPUBArchive.h"
#include "ReaderEPUB/EPUBReaderOperation.h"
#include "ReaderEPUB/EPUBXML.h"

#include "EPUBXMLTestSupport.h"
#include "support/QtPrinters.h"
#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace tavrine {

inline void PrintTo(const EPUBBook::Notice& notice, std::ostream* out) {
    *out << rawValue(notice.kind).toStdString() << "(" << notice.resource.value_or(QString()).toStdString() << ")";
}

namespace test {

inline EPUBReader::Failure failureOfKind(EPUBReader::Failure::Kind kind) {
    return EPUBReader::Failure::of(kind);
}

// The document element of a small XML text, parsed by the importer's XML layer.
inline std::unique_ptr<EPUBXMLNode> xmlTree(const QString& text) {
    EPUBXMLBudget budget;
    auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(text.toUtf8());
    EXPECT_TRUE(root.has_value()) << text.toStdString();
    return root ? std::move(*root) : std::make_unique<EPUBXMLNode>(QString(), QString());
}

// The extracted files of a test book, as the archive intake hands them to an import run.
inline EPUBArchiveFiles extractedFiles(const TestEPUBBuilder& book) {
    auto files = readArchive(book.build(), EPUBReader::Limits::standard(), CancellationToken::none());
    EXPECT_TRUE(files.has_value());
    return files ? std::move(*files) : EPUBArchiveFiles();
}

// The default book with its package document written from these pieces.
inline TestEPUBBuilder bookWithPackage(const QString& version, const QString& manifest, const QString& spine,
                                       const QString& spineAttributes = {},
                                       const QString& metadata = TestEPUBBuilder::standardMetadata()) {
    TestEPUBBuilder book;
    book.setFile(QString::fromLatin1(TestEPUBBuilder::kPackagePath),
                 TestEPUBBuilder::packageDocument(version, metadata, manifest, spine, spineAttributes));
    return book;
}

// The package stages of a run over a book; the run is kept, for the package points into it.
struct PackageRead {
    std::unique_ptr<EPUBReader::Operation> operation;
    EPUBReader::Result<EPUBReader::Operation::Package> package;

    std::optional<EPUBReader::Failure> failure() const {
        return package ? std::nullopt : std::optional(package.error());
    }
};

inline PackageRead readPackage(EPUBArchiveFiles files) {
    auto operation = std::make_unique<EPUBReader::Operation>(std::move(files), EPUBReader::Limits::standard(),
                                                             CancellationToken::none());
    auto package = operation->readPackage();
    return {std::move(operation), std::move(package)};
}

// The package stages and the spine walk over a book, with each document that is to become text parsed
// as the run parses it.
struct SpineWalk {
    std::optional<EPUBReader::Failure> failure;
    QStringList shown;  // idrefs, in the order the walk showed them
    QList<EPUBBook::Notice> notices;
};

inline SpineWalk walkSpine(EPUBArchiveFiles files) {
    PackageRead read = readPackage(std::move(files));
    SpineWalk walk;
    if (!read.package) {
        walk.failure = read.package.error();
    } else {
        auto walked = read.operation->walkSpine(
            *read.package, [&](const EPUBManifestItem& item, const QString& idref) -> EPUBReader::Result<void> {
                auto root = read.operation->parse(item.path);
                if (!root) return tl::unexpected(root.error());
                walk.shown.append(idref);
                return {};
            });
        if (!walked) walk.failure = walked.error();
    }
    walk.notices = read.operation->notices();
    return walk;
}

inline PackageRead readPackage(const TestEPUBBuilder& book) {
    return readPackage(extractedFiles(book));
}

inline SpineWalk walkSpine(const TestEPUBBuilder& book) {
    return walkSpine(extractedFiles(book));
}

}  // namespace test
}  // namespace tavrine
