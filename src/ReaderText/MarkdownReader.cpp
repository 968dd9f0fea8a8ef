#include "ReaderText/MarkdownReader.h"

#include "ReaderCore/Characters.h"
#include "ReaderText/internal/MarkdownChecks.h"
#include "ReaderText/internal/MarkdownDocumentBuilder.h"

#include <limits>

namespace tavrine {
namespace {
using internal::MarkdownDocumentBuilder;

MarkdownDocumentBuilder& builder(void* userData) {
    return *static_cast<MarkdownDocumentBuilder*>(userData);
}

constexpr MD_PARSER kParser{
    .abi_version = 0,
    .flags = MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_TASKLISTS | MD_FLAG_PERMISSIVEAUTOLINKS,
    .enter_block = [](MD_BLOCKTYPE type, void* detail, void* data) { return builder(data).enterBlock(type, detail); },
    .leave_block = [](MD_BLOCKTYPE type, void* detail, void* data) { return builder(data).leaveBlock(type, detail); },
    .enter_span = [](MD_SPANTYPE type, void*, void* data) { return builder(data).enterSpan(type); },
    .leave_span = [](MD_SPANTYPE type, void*, void* data) { return builder(data).leaveSpan(type); },
    .text = [](MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size,
               void* data) { return builder(data).text(type, text, size); },
    .debug_log = nullptr,
    .syntax = nullptr,
};

}  // namespace

MarkdownReader::Result MarkdownReader::convert(QByteArrayView utf8, LineEnds lineEnds) {
    return internal::convertMarkdownWith(utf8, &md_parse, lineEnds);
}

MarkdownReader::Result internal::convertMarkdownWith(QByteArrayView utf8, MarkdownParse parse,
                                                     MarkdownReader::LineEnds lineEnds) {
    using Failure = MarkdownReader::Failure;
    if (utf8.size() > qsizetype(std::numeric_limits<MD_SIZE>::max())) return tl::unexpected(Failure::unreadable);
    // On some malformed UTF-8 the parser reads a byte past the end of its input: the copy ends in a NUL
    // (as every QByteArray does), so that byte is always there to read.
    const QByteArray input = utf8.toByteArray();
    MarkdownDocumentBuilder builder(input, lineEnds);
    const int status = parse(input.constData(), MD_SIZE(input.size()), &kParser, &builder);
    if (const auto failure = builder.failure()) return tl::unexpected(*failure);
    if (status != 0) return tl::unexpected(Failure::unreadable);
    return builder.takeDocument();
}

MarkdownReader::Result MarkdownReader::read(const QString& markdown, const CancellationToken& cancellation) {
    return internal::readMarkdownWith(markdown, cancellation, [](QByteArrayView utf8) { return convert(utf8); });
}

MarkdownReader::Result MarkdownReader::readWithLineEnds(const QString& markdown, LineEnds lineEnds,
                                                        const CancellationToken& cancellation) {
    return internal::readMarkdownWith(markdown, cancellation,
                                      [lineEnds](QByteArrayView utf8) { return convert(utf8, lineEnds); });
}

MarkdownReader::Result MarkdownReader::readKeepingLineEnds(const QString& markdown,
                                                           const CancellationToken& cancellation) {
    return readWithLineEnds(markdown, LineEnds::kept, cancellation);
}

MarkdownReader::Result internal::readMarkdownWith(
    const QString& markdown, const CancellationToken& cancellation,
    const std::function<MarkdownReader::Result(QByteArrayView)>& convert) {
    using Failure = MarkdownReader::Failure;
    constexpr qsizetype kMaximumLength = MarkdownReader::kMaximumLength;
    if (markdown.size() > kMaximumLength) return tl::unexpected(Failure::tooLong);
    if (isBlank(markdown)) return tl::unexpected(Failure::empty);
    if (cancellation.isCancelled()) return tl::unexpected(Failure::cancelled);

    MarkdownReader::Result document = convert(markdown.toUtf8());
    if (cancellation.isCancelled()) return tl::unexpected(Failure::cancelled);
    if (!document) return document;
    if (!document->isValid()) return tl::unexpected(Failure::unreadable);
    if (document->text.size() > kMaximumLength) return tl::unexpected(Failure::tooLong);
    if (isBlank(document->text)) return tl::unexpected(Failure::empty);
    return document;
}

}  // namespace tavrine
