#include "PelmoraMac/Capture/X11/PrimarySelection.h"

#include "PelmoraMac/Capture/X11/X11InputActivity.h"
#include "PelmoraMac/Capture/X11/X11SelectionTransfer.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/Characters.h"

#include <xcb/xcb.h>

namespace tavrine {
namespace {

CaptureFailure failureOf(SelectionTransferFailure failure) {
    switch (failure) {
    case SelectionTransferFailure::timedOut: return CaptureFailure::timedOut;
    case SelectionTransferFailure::tooLarge: return CaptureFailure::tooLong;
    case SelectionTransferFailure::lost: return CaptureFailure::unavailable;
    }
    return CaptureFailure::unavailable;
}

}  // namespace

CaptureResult<std::optional<QString>> readPrimarySelection(pid_t pid, qsizetype unitLimit, CaptureDeadline deadline,
                                                           const X11InputLog* activity) {
    const auto transfer = X11SelectionTransfer::open(deadline);
    if (!transfer) return std::optional<QString>{};
    const std::uint32_t owner = transfer->owner(XCB_ATOM_PRIMARY);
    if (owner == XCB_WINDOW_NONE) return std::optional<QString>{};
    if (X11Desktop(transfer->connection()).creatorProcessOf(owner) != pid) return std::optional<QString>{};

    // Asked first, so that an old selection's text is never even read.
    const auto taken = transfer->acquisitionTime(XCB_ATOM_PRIMARY);
    if (!taken) {
        if (taken.error() == SelectionTransferFailure::lost) return std::optional<QString>{};
        return tl::unexpected(failureOf(taken.error()));
    }
    if (!*taken || !activity || !selectionMayBeCurrent(activity->history(), **taken)) return std::optional<QString>{};

    // A UTF-16 unit takes at most three bytes of UTF-8: more bytes than this are more units than allowed.
    const auto bytes = transfer->convert(XCB_ATOM_PRIMARY, transfer->atom("UTF8_STRING"), unitLimit * 3);
    if (!bytes) {
        if (bytes.error() == SelectionTransferFailure::lost) return std::optional<QString>{};
        return tl::unexpected(failureOf(bytes.error()));
    }
    if (!*bytes) return std::optional<QString>{};
    auto text = decodeUTF8Strictly((*bytes)->bytes);
    if (!text) return tl::unexpected(CaptureFailure::selectionUnknown);
    return std::optional(std::move(*text));
}

}  // namespace tavrine
