#pragma once

#include <QByteArray>
#include <QString>

namespace tavrine::test {

// A path given relative to the checkout, as the build gives the tests and the benchmarks the files they
// run or read (a program of a build tree, "build/src/tavrine"; a fixture; the shared data beside the
// checkout, "../shared/data"), made absolute. The checkout's own place is compiled into this helper alone:
// no other compile command and no other object carries it, so every clone's objects come from one compiler
// cache.
QString inCheckout(const char* relative);
// The same, in the file system's encoding, for exec and posix_spawn.
QByteArray inCheckoutEncoded(const char* relative);

}  // namespace tavrine::test
