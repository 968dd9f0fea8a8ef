#include "ReaderEPUB/internal/EPUBXHTMLElements.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tavrine::EPUBXHTMLElements {
namespace {

struct Entry {
    std::u16string_view name;
    Rule rule;
};

constexpr Rule kInline{Role::inlineElement};
constexpr Rule kBlock{Role::block};
constexpr Rule kUnsupported{Role::unsupported};
constexpr Rule kParagraph{Role::block, Mark::paragraph};
constexpr Rule kCode{Role::inlineElement, Mark::code};
constexpr Rule kStrong{Role::inlineElement, Mark::strong};
constexpr Rule kEmphasis{Role::inlineElement, Mark::emphasis};

constexpr Rule heading(int level) {
    return {Role::heading, Mark::none, level};
}

// In ascending order of name, for a binary search: looking up every element of a book by hash cost
// more than rendering it.
constexpr auto kEntries = std::to_array<Entry>({
    {u"a", {Role::inlineElement, Mark::link}},
    {u"address", kBlock},
    {u"article", kBlock},
    {u"aside", kBlock},
    {u"audio", {Role::media}},
    {u"b", kStrong},
    {u"blockquote", {Role::block, Mark::quote}},
    {u"body", kBlock},
    {u"br", {Role::lineBreak}},
    {u"canvas", kUnsupported},
    {u"code", kCode},
    {u"dd", kParagraph},
    {u"div", kBlock},
    {u"dt", kParagraph},
    {u"em", kEmphasis},
    {u"embed", kUnsupported},
    {u"figcaption", kParagraph},
    {u"figure", kBlock},
    {u"footer", kBlock},
    {u"form", kUnsupported},
    {u"h1", heading(1)},
    {u"h2", heading(2)},
    {u"h3", heading(3)},
    {u"h4", heading(4)},
    {u"h5", heading(5)},
    {u"h6", heading(6)},
    {u"head", {Role::skipped}},
    {u"header", kBlock},
    {u"hr", {Role::rule}},
    {u"i", kEmphasis},
    {u"iframe", kUnsupported},
    {u"img", {Role::image}},
    {u"input", kUnsupported},
    {u"kbd", kCode},
    {u"li", kBlock},
    {u"object", kUnsupported},
    {u"ol", {Role::list}},
    {u"p", kParagraph},
    {u"pre", {Role::block, Mark::codeBlock}},
    {u"rp", {Role::rubyAnnotation}},
    {u"rt", {Role::rubyAnnotation}},
    {u"rtc", {Role::rubyAnnotation}},
    {u"samp", kCode},
    {u"script", kUnsupported},
    {u"section", kBlock},
    {u"select", kUnsupported},
    {u"source", {Role::mediaSource}},
    {u"strong", kStrong},
    {u"style", {Role::skipped}},
    {u"table", {Role::table}},
    {u"td", kBlock},
    {u"th", kBlock},
    {u"tr", kBlock},
    {u"track", {Role::mediaSource}},
    {u"ul", {Role::list}},
    {u"video", {Role::media}},
});

constexpr bool byName(const Entry& a, const Entry& b) {
    return a.name < b.name;
}
static_assert(std::is_sorted(kEntries.begin(), kEntries.end(), byName));

}  // namespace

const Rule& ruleFor(QStringView name) {
    const Entry key{{reinterpret_cast<const char16_t*>(name.utf16()), std::size_t(name.size())}, kInline};
    const auto found = std::lower_bound(kEntries.begin(), kEntries.end(), key, byName);
    return found != kEntries.end() && found->name == key.name ? found->rule : kInline;
}

}  // namespace tavrine::EPUBXHTMLElements
