#pragma once

#include <utility>

namespace tavrine {

// Stores value in field when the two differ; whether it did.
template <typename T, typename U>
bool assignIfChanged(T& field, U&& value) {
    if (field == value) return false;
    field = std::forward<U>(value);
    return true;
}

// Stores value in the field of a notifying property and emits the property's change signal, only when
// the two differ: the one rule of every property setter of the interface models.
template <typename Object, typename T, typename U>
void writeProperty(Object* object, T& field, U&& value, void (Object::*changed)()) {
    if (assignIfChanged(field, std::forward<U>(value))) (object->*changed)();
}

}  // namespace tavrine
