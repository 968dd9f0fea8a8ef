#pragma once

#include "ReaderCore/Json.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"

namespace tavrine {

// Every symbol with its name, in declaration order: the symbols' one list of cases (enumCases). Apart
// from ReaderSymbol.h, whose readers include moc, which cannot read the JSON layer's headers.
template <>
struct EnumTable<ReaderSymbol> {
    using S = ReaderSymbol;
    static constexpr auto entries = std::to_array<std::pair<S, std::u16string_view>>({
        {S::chevronLeft, u"chevron.left"},
        {S::chevronRight, u"chevron.right"},
        {S::chevronUp, u"chevron.up"},
        {S::chevronDown, u"chevron.down"},
        {S::backwardEndFill, u"backward.end.fill"},
        {S::forwardEndFill, u"forward.end.fill"},
        {S::playFill, u"play.fill"},
        {S::pauseFill, u"pause.fill"},
        {S::minus, u"minus"},
        {S::plus, u"plus"},
        {S::xmark, u"xmark"},
        {S::docOnClipboard, u"doc.on.clipboard"},
        {S::locationFill, u"location.fill"},
        {S::textAlignLeft, u"text.alignleft"},
        {S::listBulletIndent, u"list.bullet.indent"},
        {S::magnifyingGlass, u"magnifyingglass"},
        {S::scope, u"scope"},
        {S::squareAndArrowDown, u"square.and.arrow.down"},
        {S::booksVertical, u"books.vertical"},
        {S::checkmarkCircleFill, u"checkmark.circle.fill"},
        {S::sidebarLeft, u"sidebar.left"},
        {S::exclamationmarkTriangle, u"exclamationmark.triangle"},
        {S::textformatSize, u"textformat.size"},
        {S::keyboard, u"keyboard"},
        {S::arrowDownCircle, u"arrow.down.circle"},
    });
};

}  // namespace tavrine
