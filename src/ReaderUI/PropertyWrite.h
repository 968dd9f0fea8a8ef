#pragma once

#include <utility>

namespace tavrine {

// Stores value in the field of a notifying property and emits the property's change signal, only when
// the two differ: the one rule of every property setter of the interface models.
template <typename Object, typename T, typename U>
void writeProperty(Object* object, T& field, U&& value, void (Object::*changed)()) {
    if (field == value) return;
    field = std::forward<U>(value);
    (object->*changed)();
}

}  // namespace tavrine
