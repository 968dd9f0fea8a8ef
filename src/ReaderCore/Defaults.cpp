#include "ReaderCore/Defaults.h"

namespace tavrine {

double Defaults::doubleForKey(const QString& key) const {
    const std::optional<DefaultsValue> value = object(key);
    const double* number = value ? std::get_if<double>(&*value) : nullptr;
    return number ? *number : 0;
}

void Defaults::setKeepsChanges(bool keeps) {
    if (keeps == m_keepsChanges) return;
    m_keepsChanges = keeps;
    if (m_keepsChangesObserver) m_keepsChangesObserver();
}

}  // namespace tavrine
