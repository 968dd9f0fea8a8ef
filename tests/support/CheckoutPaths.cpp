#include "support/CheckoutPaths.h"

#include <QFile>

namespace tavrine::test {

QString inCheckout(const char* relative) {
    return QStringLiteral(TAVRINE_CHECKOUT "/") + QString::fromUtf8(relative);
}

QByteArray inCheckoutEncoded(const char* relative) {
    return QFile::encodeName(inCheckout(relative));
}

}  // namespace tavrine::test
