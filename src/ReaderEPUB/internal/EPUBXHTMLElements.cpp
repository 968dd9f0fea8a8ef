#include "ReaderEPUB/internal/EPUBXHTMLElements.h"

#include <algorithm>
#include <array>
#include <initializer_list>
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

// Every element the renderer knows, by what it does.
struct Group {
    Rule rule;
    std::initializer_list<std::u16string_view> names;
};
constexpr Group kGroups[] = {
    {kBlock, {u"address", u"article", u"aside", u"body", u"div", u"figure", u"footer", u"header", u"li", u"section"}},
    {kBlock, {u"td", u"th", u"tr"}},
    {kParagraph, {u"dd", u"dt", u"figcaption", u"p"}},
    {kUnsupported, {u"canvas", u"embed", u"form", u"iframe", u"input", u"object", u"script", u"select"}},
    {kCode, {u"code", u"kbd", u"samp"}},
    {kStrong, {u"b", u"strong"}},
    {kEmphasis, {u"em", u"i"}},
    {{Role::inlineElement, Mark::link}, {u"a"}},
    {{Role::block, Mark::quote}, {u"blockquote"}},
    {{Role::block, Mark::codeBlock}, {u"pre"}},
    {heading(1), {u"h1"}},
    {heading(2), {u"h2"}},
    {heading(3), {u"h3"}},
    {heading(4), {u"h4"}},
    {heading(5), {u"h5"}},
    {heading(6), {u"h6"}},
    {{Role::list}, {u"ol", u"ul"}},
    {{Role::table}, {u"table"}},
    {{Role::lineBreak}, {u"br"}},
    {{Role::rule}, {u"hr"}},
    {{Role::image}, {u"img"}},
    {{Role::media}, {u"audio", u"video"}},
    {{Role::mediaSource}, {u"source", u"track"}},
    {{Role::rubyAnnotation}, {u"rp", u"rt", u"rtc"}},
    {{Role::skipped}, {u"head", u"style"}},
};

constexpr bool byName(const Entry& a, const Entry& b) {
    return a.name < b.name;
}

constexpr std::size_t kEntryCount = [] {
    std::size_t count = 0;
    for (const Group& group : kGroups) count += group.names.size();
    return count;
}();

// In ascending order of name, for a binary search: looking up every element of a book by hash cost
// more than rendering it.
constexpr auto kEntries = [] {
    std::array<Entry, kEntryCount> entries{};
    std::size_t next = 0;
    for (const Group& group : kGroups) {
        for (const std::u16string_view name : group.names) entries[next++] = {name, group.rule};
    }
    std::sort(entries.begin(), entries.end(), byName);
    return entries;
}();
static_assert(std::adjacent_find(kEntries.begin(), kEntries.end(),
                                 [](const Entry& a, const Entry& b) { return a.name == b.name; }) == kEntries.end(),
              "an element is named twice");

}  // namespace

const Rule& ruleFor(QStringView name) {
    const Entry key{{reinterpret_cast<const char16_t*>(name.utf16()), std::size_t(name.size())}, kInline};
    const auto found = std::lower_bound(kEntries.begin(), kEntries.end(), key, byName);
    return found != kEntries.end() && found->name == key.name ? found->rule : kInline;
}

}  // namespace tavrine::EPUBXHTMLElements
