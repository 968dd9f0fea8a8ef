#pragma once

namespace tavrine {

// The application's identifier: it names the application's folders in the user's data and configuration
// directories, so it is stored data and never changes.
inline constexpr char16_t kApplicationIdentifier[] = u"org.tavrine.Tavrine";

}  // namespace tavrine
