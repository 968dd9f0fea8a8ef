#pragma once

namespace tavrine {

// Slot: filled by the source text views. Until then nothing implements it.
//
// What every source text view is to the rest of the application: a view of the whole text. While one that
// cannot be edited has the focus, the Space key toggles playback as it does in the window itself.
class InteractionTextView {
public:
    virtual ~InteractionTextView() = default;

    virtual bool isEditable() const { return false; }
};

}  // namespace tavrine
