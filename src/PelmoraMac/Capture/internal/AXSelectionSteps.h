#pragma once

// The steps every part of AXSelectionReader takes around a bus call; included by its source files only.

#include "PelmoraMac/Capture/AXSelectionReader.h"

namespace tavrine {

template <typename T>
CaptureResult<T> failed(CaptureFailure failure) {
    return tl::unexpected(failure);
}

template <typename Call>
auto AXSelectionReader::call(Call&& busCall) -> decltype(busCall(CaptureDeadline{})) {
    if (auto inTime = checkDeadline(); !inTime) return tl::unexpected(inTime.error());
    auto answer = busCall(m_deadline);
    if (auto inTime = checkDeadline(); !inTime) return tl::unexpected(inTime.error());
    return answer;
}

}  // namespace tavrine
