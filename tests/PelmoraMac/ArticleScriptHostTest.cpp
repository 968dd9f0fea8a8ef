#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/internal/ArticleScriptRun.h"

#include "CaptureTesting.h"

#include <gtest/gtest.h>

#include <QSet>

#include <chrono>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::failureOf;
using Span = ReadingDocument::Span;

// An extractor whose extractArticle returns the object written in `result` (a script expression that
// may use the argument `html`).
QString returning(const QString& result) {
    return u"var RAVOVodeved = { extractArticle: function (html) { return "_s + result + u"; } };"_s;
}

ArticleExtraction run(const QString& source, const QString& argument = u"<p>x</p>"_s,
                      std::chrono::milliseconds limit = kArticleScriptTimeLimit) {
    return runArticleExtractorSource(source, argument, u"extractArticle"_s, limit);
}

ArticleExtraction runReturning(const QString& result) {
    return run(returning(result));
}

TEST(ArticleScriptHost, AnOkResultIsTheDocumentItHolds) {
    const auto plain = runReturning(u"{ status: 'ok', text: 'abc', spans: [] }"_s);
    ASSERT_TRUE(plain && *plain);
    EXPECT_EQ(**plain, (ReadingDocument{.sections = std::nullopt, .text = u"abc"_s, .spans = {}}));

    // Further properties are ignored; sections and spans come through as written.
    const auto full = runReturning(
        u"{ status: 'ok', title: 'x', text: 'ab\\ncd', spans: [{ kind: 'heading', start: 0, end: 3, level: 1 }],"
        u" sections: [{ id: 's', start: 0, end: 5 }] }"_s);
    ASSERT_TRUE(full && *full);
    EXPECT_EQ((*full)->spans, (QList<Span>{{Span::Kind::heading, 0, 3, 1}}));
    ASSERT_TRUE((*full)->sections);
    EXPECT_EQ((*full)->sections->size(), 1);

    // The argument reaches the function unchanged, however long.
    const QString html = QString(100'000, u'あ') + u"\u0000\U0001F600"_s;
    const auto echoed =
        run(returning(u"{ status: 'ok', text: String(html.length) + ':' + html.slice(-3), spans: [] }"_s), html);
    ASSERT_TRUE(echoed && *echoed);
    EXPECT_EQ((*echoed)->text, u"100003:\u0000\U0001F600"_s);
}

TEST(ArticleScriptHost, TheStatusDecidesBetweenADocumentNoneAndAFailure) {
    const auto none = runReturning(u"{ status: 'noBodyCandidate', text: 'ignored' }"_s);
    ASSERT_TRUE(none);
    EXPECT_FALSE(*none);

    EXPECT_EQ(failureOf(runReturning(u"{ status: 'sourceChanged' }"_s)), CaptureFailure::sourceChanged);
    EXPECT_EQ(failureOf(runReturning(u"{ status: 'htmlTooLarge' }"_s)), CaptureFailure::htmlTooLarge);
    EXPECT_EQ(failureOf(runReturning(u"{ status: 'tooLong' }"_s)), CaptureFailure::tooLong);
    for (const QString& result :
         {u"{ status: 'Ok', text: 'abc', spans: [] }"_s, u"{ status: 'fine' }"_s, u"{ status: 'SourceChanged' }"_s,
          u"{ text: 'abc', spans: [] }"_s, u"{ status: { toString: function () { throw 'no'; } } }"_s, u"'ok'"_s,
          u"null"_s, u"undefined"_s}) {
        EXPECT_EQ(failureOf(runReturning(result)), CaptureFailure::extractionFailed) << result.toStdString();
    }
    // The status is converted as the engine converts any value to a string.
    EXPECT_TRUE(runReturning(u"{ status: { toString: function () { return 'ok'; } }, text: 'abc', spans: [] }"_s));
}

TEST(ArticleScriptHost, TheTextLimitComesBeforeTheSpansAreLookedAt) {
    const auto atLimit = runReturning(u"{ status: 'ok', text: 'a'.repeat(20000), spans: [] }"_s);
    ASSERT_TRUE(atLimit && *atLimit);
    EXPECT_EQ((*atLimit)->text.size(), kArticleTextLimit);
    EXPECT_EQ(failureOf(runReturning(u"{ status: 'ok', text: 'a'.repeat(20001), spans: 'not spans' }"_s)),
              CaptureFailure::tooLong);
    // An astral character counts two units.
    EXPECT_EQ(failureOf(runReturning(u"{ status: 'ok', text: 'a'.repeat(19999) + '\\u{1F600}', spans: [] }"_s)),
              CaptureFailure::tooLong);
}

TEST(ArticleScriptHost, WhatDoesNotDecodeAsAValidDocumentFails) {
    for (const QString& result : {
             u"{ status: 'ok', text: '', spans: [] }"_s,
             u"{ status: 'ok', spans: [] }"_s,
             u"{ status: 'ok', text: null, spans: [] }"_s,
             u"{ status: 'ok', text: 'abc' }"_s,
             u"{ status: 'ok', text: 12, spans: [] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'paragraph', start: 0, end: 4, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'aside', start: 0, end: 1, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'heading', start: 0, end: 1, level: 101 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'paragraph', start: NaN, end: 1, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'paragraph', start: 0.5, end: 1, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'paragraph', start: 0, end: Infinity, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'paragraph', start: 0, end: 1e300, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [{ kind: 'paragraph', start: 0, end: '1', level: 0 }] }"_s,
             u"{ status: 'ok', text: '\\ud83d\\ude00', spans: [{ kind: 'strong', start: 0, end: 1, level: 0 }] }"_s,
             u"{ status: 'ok', text: 'abc', spans: [], sections: [{ id: 's', start: 0, end: 2 }] }"_s,
             // A cycle, and a getter that throws, both met only by the serialiser.
             u"(function () { var r = { status: 'ok', text: 'abc', spans: [] }; r.self = r; return r; })()"_s,
             u"{ status: 'ok', text: 'abc', spans: [], get boom() { throw new Error('boom'); } }"_s,
             u"{ status: 'ok', text: 'abc', spans: [], toJSON: function () { throw 'x'; } }"_s,
         }) {
        EXPECT_EQ(failureOf(runReturning(result)), CaptureFailure::extractionFailed) << result.toStdString();
    }
}

TEST(ArticleScriptHost, AScriptThatThrowsOrLacksItsFunctionFails) {
    for (
        const QString& source : {
            u"throw 'x';"_s,
            u"throw new Error('at evaluation');"_s,
            u"var RAVOVodeved = {"_s,
            u""_s,
            u"var RAVOVodeved = {};"_s,
            u"var RAVOVodeved = { extractArticle: 'not a function' };"_s,
            u"var RAVOVodeved = { extractArticle: function () { throw 'x'; } };"_s,
            // What is thrown never passes for a result, however much it looks like one.
            u"var RAVOVodeved = { extractArticle: function () { throw { status: 'ok', text: 'abc', spans: [] }; } };"_s,
            u"var RAVOVodeved = { extractArticle: function () { return { status: 'ok', text: 'abc', spans: [] }; } };"
            u"throw 'after the definitions';"_s,
            u"var RAVOVodeved = { extractArticle: function () { undefinedFunction(); } };"_s,
            u"var RAVOVodeved = { extractArticle: function () {} };"_s,
            u"var RAVOVodeved = { get extractArticle() { throw 'x'; } };"_s,
            u"var RAVOVodeved = { extractArticle: function () { return { get status() { throw 'x'; } }; } };"_s,
        }) {
        EXPECT_EQ(failureOf(run(source)), CaptureFailure::extractionFailed) << source.toStdString();
    }
    // The function is called as a method of the object.
    const auto method =
        run(u"var RAVOVodeved = { text: 'own', extractArticle: function () {"
            u" return { status: 'ok', text: this.text, spans: [] }; } };"_s);
    ASSERT_TRUE(method && *method);
    EXPECT_EQ((*method)->text, u"own"_s);
}

TEST(ArticleScriptHost, TheResultIsSerialisedByTheEnginesOwnSerialiser) {
    // A script that replaces JSON.stringify does not choose what its result decodes as.
    const auto outcome = run(u"JSON.stringify = function () { return '{\"text\":\"forged\",\"spans\":[]}'; };"_s +
                             returning(u"{ status: 'ok', text: 'real', spans: [] }"_s));
    ASSERT_TRUE(outcome && *outcome);
    EXPECT_EQ((*outcome)->text, u"real"_s);
}

TEST(ArticleScriptHost, ACallThatRunsTooLongIsInterrupted) {
    for (const QString& source : {
             u"var RAVOVodeved = { extractArticle: function () { for (;;) {} } };"_s,
             u"for (;;) {}"_s,
             // A script that catches the interruption is interrupted again.
             u"var RAVOVodeved = { extractArticle: function () { for (;;) { try { for (;;) {} } catch (e) {} } } };"_s,
             u"var RAVOVodeved = { extractArticle: function () { var a = []; for (;;) a.push(a.length); } };"_s,
             returning(u"{ status: 'ok', text: 'abc', spans: [], get late() { for (;;) {} } }"_s),
         }) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(failureOf(run(source, u"x"_s, 300ms)), CaptureFailure::timedOut) << source.toStdString();
        // Far above the limit, as a loaded machine delays the watch: what matters is that it stops loops
        // that would never end, not how promptly.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << source.toStdString();
    }
    // A call that ends in time is not touched by the watch.
    EXPECT_TRUE(run(returning(u"{ status: 'ok', text: 'abc', spans: [] }"_s), u"x"_s, 1ms * 300));
}

TEST(ArticleScriptHost, ScriptsSeeTheLanguageAndAtobAlone) {
    const auto names = run(
        u"var names = Object.getOwnPropertyNames(this).join(' ');"
        u"var RAVOVodeved = { extractArticle: function () { return { status: 'ok', text: names, spans: [] }; } };"_s);
    ASSERT_TRUE(names && *names);
    const QStringList seen = (*names)->text.split(u' ');
    const QStringList language =
        QStringLiteral(
            u"Object Function Array String Symbol Number Boolean Date RegExp Error EvalError RangeError "
            u"ReferenceError SyntaxError TypeError URIError Promise ArrayBuffer SharedArrayBuffer DataView "
            u"WeakSet Set WeakMap Map Int8Array Uint8Array Int16Array Uint16Array Int32Array Uint32Array "
            u"Uint8ClampedArray Float32Array Float64Array Atomics Math JSON Reflect Proxy undefined NaN Infinity "
            u"eval parseInt parseFloat isNaN isFinite decodeURI decodeURIComponent encodeURI encodeURIComponent "
            u"escape unescape globalThis BigInt WeakRef FinalizationRegistry AggregateError")
            .split(u' ');
    EXPECT_TRUE(seen.contains(u"atob"_s));
    for (const QString& name : seen) {
        // Besides the script's own two variables.
        if (name == u"names" || name == u"RAVOVodeved") continue;
        EXPECT_TRUE(name == u"atob" || language.contains(name))
            << "a global beyond the language: " << name.toStdString();
    }
    // Nothing of the host: no console, no print, no garbage collector, no translation.
    const auto probes = runReturning(
        u"{ status: 'ok', spans: [], text: [typeof console, typeof print, typeof gc, typeof qsTr, typeof Qt,"
        u" typeof URL, typeof XMLHttpRequest, typeof require, typeof process].join(' ') }"_s);
    ASSERT_TRUE(probes && *probes);
    EXPECT_EQ((*probes)->text,
              u"undefined undefined undefined undefined undefined undefined undefined undefined undefined"_s);
}

TEST(ArticleScriptHost, AtobDecodesStrictBase64IntoLatin1) {
    EXPECT_EQ(decodeBase64AsLatin1(u"YWJj"), u"abc"_s);
    EXPECT_EQ(decodeBase64AsLatin1(u"YQ=="), u"a"_s);
    EXPECT_EQ(decodeBase64AsLatin1(u"YWI="), u"ab"_s);
    EXPECT_EQ(decodeBase64AsLatin1(u""), u""_s);
    // One character per byte, whatever the byte.
    EXPECT_EQ(decodeBase64AsLatin1(u"/+8A"), QString(QChar(0xff)) + QChar(0xef) + QChar(0));
    for (const char16_t* invalid : {u"YW\nJj", u"YW Jj", u" YWJj", u"YWJ", u"YQ=", u"Y===", u"====", u"YQ==YQ==",
                                    u"=YWJ", u"YW=j", u"YWJj\n", u"YW-_", u"YWJ\u00e9"}) {
        EXPECT_FALSE(decodeBase64AsLatin1(invalid)) << QString::fromUtf16(invalid).toStdString();
    }

    // Through the engine: a string, or undefined.
    const auto seen = runReturning(
        u"{ status: 'ok', spans: [], text: [atob('YWJj'), typeof atob('YW\\nJj'), atob('YWJj') === 'abc',"
        u" atob('/w==').charCodeAt(0)].join(' ') }"_s);
    ASSERT_TRUE(seen && *seen);
    EXPECT_EQ((*seen)->text, u"abc undefined true 255"_s);
}

TEST(ArticleScriptHost, ScriptsAreResourcesLookedUpByName) {
    const auto extractor = loadArticleExtractorScript(u"extractor"_s);
    ASSERT_TRUE(extractor);
    EXPECT_TRUE(extractor->contains(u"RAVOVodeved"_s));
    const auto snapshot = loadArticleExtractorScript(u"snapshot"_s);
    ASSERT_TRUE(snapshot);
    EXPECT_TRUE(snapshot->contains(u"RSVPSnapshot"_s));
    EXPECT_EQ(failureOf(loadArticleExtractorScript(u"missing"_s)), CaptureFailure::extractionFailed);
    EXPECT_EQ(failureOf(loadArticleExtractorScript(u"LICENSE"_s)), CaptureFailure::extractionFailed);
}

}  // namespace
}  // namespace tavrine
