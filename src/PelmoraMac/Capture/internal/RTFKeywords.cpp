#include "PelmoraMac/Capture/internal/RTFKeywords.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavrine {
namespace {

using K = RTFKeyword;

// Sorted by name (byte order), for a binary search per control word.
constexpr auto kKeywords = std::to_array<std::pair<std::string_view, RTFKeyword>>({
    {"NeXTGraphic", K::picture},
    {"ansi", K::ansi},
    {"ansicpg", K::ansicpg},
    {"b", K::bold},
    {"bin", K::binary},
    {"bullet", K::bullet},
    {"cell", K::blockEnd},
    {"colortbl", K::skippedDestination},
    {"cpg", K::fontCodePage},
    {"deff", K::defaultFont},
    {"emdash", K::emDash},
    {"emspace", K::emSpace},
    {"endash", K::enDash},
    {"enspace", K::enSpace},
    {"f", K::font},
    {"fbidi", K::fontFamily},
    {"fcharset", K::fontCharset},
    {"fdecor", K::fontFamily},
    {"fldinst", K::skippedDestination},
    {"fldrslt", K::keptDestination},
    {"fmodern", K::modernFamily},
    {"fnil", K::fontFamily},
    {"fonttbl", K::fontTable},
    {"footer", K::skippedDestination},
    {"footerf", K::skippedDestination},
    {"footerl", K::skippedDestination},
    {"footerr", K::skippedDestination},
    {"footnote", K::skippedDestination},
    {"fprq", K::fontPitch},
    {"froman", K::fontFamily},
    {"fscript", K::fontFamily},
    {"fswiss", K::fontFamily},
    {"ftech", K::fontFamily},
    {"header", K::skippedDestination},
    {"headerf", K::skippedDestination},
    {"headerl", K::skippedDestination},
    {"headerr", K::skippedDestination},
    {"i", K::italic},
    {"ilvl", K::listLevel},
    {"info", K::skippedDestination},
    {"ldblquote", K::leftDoubleQuote},
    {"line", K::lineBreak},
    {"listtext", K::keptDestination},
    {"lquote", K::leftQuote},
    {"ls", K::listOverride},
    {"ltrmark", K::leftToRightMark},
    {"mac", K::mac},
    {"nestcell", K::blockEnd},
    {"nonesttables", K::skippedDestination},
    {"object", K::picture},
    {"obliqueness", K::obliqueness},
    {"outlinelevel", K::outlineLevel},
    {"page", K::blockEnd},
    {"par", K::paragraph},
    {"pard", K::paragraphDefault},
    {"pc", K::pc},
    {"pca", K::pca},
    {"pict", K::picture},
    {"plain", K::plain},
    {"pntext", K::keptDestination},
    {"qmspace", K::quarterEmSpace},
    {"rdblquote", K::rightDoubleQuote},
    {"rquote", K::rightQuote},
    {"rtlmark", K::rightToLeftMark},
    {"sect", K::blockEnd},
    {"shppict", K::keptDestination},
    {"shprslt", K::keptDestination},
    {"stylesheet", K::skippedDestination},
    {"tab", K::tab},
    {"tc", K::skippedDestination},
    {"txe", K::skippedDestination},
    {"u", K::unicode},
    {"uc", K::unicodeSkipCount},
    {"v", K::hidden},
    {"xe", K::skippedDestination},
    {"zwj", K::zeroWidthJoiner},
    {"zwnj", K::zeroWidthNonJoiner},
});

static_assert(std::ranges::is_sorted(kKeywords, {}, &std::pair<std::string_view, RTFKeyword>::first));

}  // namespace

RTFKeyword rtfKeyword(std::string_view name) {
    const auto found = std::ranges::lower_bound(kKeywords, name, {}, &std::pair<std::string_view, RTFKeyword>::first);
    return found != kKeywords.end() && found->first == name ? found->second : RTFKeyword::unknown;
}

}  // namespace tavrine
