#pragma once

#include "ReaderCore/Json.h"

#include <tl/expected.hpp>

namespace tavrine {

// The failure of a capture, whichever path raised it: the launcher and the worker, the clipboard
// reading, the selection reader and the capture model. It also travels inside the worker's response,
// coded as its raw value, which is its case name. The capture model words each case in Japanese.
enum class CaptureFailure {
    permissionRequired,
    noSource,
    noSelection,
    selectionUnknown,
    protectedField,
    unavailable,
    timedOut,
    cancelled,
    tooLong,
    emptyText,
    // Never raised: the script status of that name means that the page has no article.
    noBodyCandidate,
    sourceChanged,
    automationRequired,
    automationDenied,
    browserJavaScriptDisabled,
    diaLaunchRequired,
    browserUnsupported,
    htmlTooLarge,
    extractionFailed,
    markdownUnreadable,
    markdownTooComplex,
    clipboardNoText,
    clipboardUnreadable,
    clipboardFormatTooLarge,
    // Which page the browser shows in front cannot be told (no page of it has the focus).
    frontPageUnknown,
    // The browser shows its own page where it could not load the page (its error page): no page text to read.
    browserErrorPage,
};

template <>
struct EnumTable<CaptureFailure> {
    using F = CaptureFailure;
    static constexpr auto entries = std::to_array<std::pair<F, std::u16string_view>>({
        {F::permissionRequired, u"permissionRequired"},
        {F::noSource, u"noSource"},
        {F::noSelection, u"noSelection"},
        {F::selectionUnknown, u"selectionUnknown"},
        {F::protectedField, u"protectedField"},
        {F::unavailable, u"unavailable"},
        {F::timedOut, u"timedOut"},
        {F::cancelled, u"cancelled"},
        {F::tooLong, u"tooLong"},
        {F::emptyText, u"emptyText"},
        {F::noBodyCandidate, u"noBodyCandidate"},
        {F::sourceChanged, u"sourceChanged"},
        {F::automationRequired, u"automationRequired"},
        {F::automationDenied, u"automationDenied"},
        {F::browserJavaScriptDisabled, u"browserJavaScriptDisabled"},
        {F::diaLaunchRequired, u"diaLaunchRequired"},
        {F::browserUnsupported, u"browserUnsupported"},
        {F::htmlTooLarge, u"htmlTooLarge"},
        {F::extractionFailed, u"extractionFailed"},
        {F::markdownUnreadable, u"markdownUnreadable"},
        {F::markdownTooComplex, u"markdownTooComplex"},
        {F::clipboardNoText, u"clipboardNoText"},
        {F::clipboardUnreadable, u"clipboardUnreadable"},
        {F::clipboardFormatTooLarge, u"clipboardFormatTooLarge"},
        {F::frontPageUnknown, u"frontPageUnknown"},
        {F::browserErrorPage, u"browserErrorPage"},
    });
};

// The outcome of every step of a capture.
template <typename T>
using CaptureResult = tl::expected<T, CaptureFailure>;

}  // namespace tavrine
