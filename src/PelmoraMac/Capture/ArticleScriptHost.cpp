#include "PelmoraMac/Capture/ArticleScriptHost.h"

#include "PelmoraMac/Capture/internal/ArticleScriptRun.h"
#include "PelmoraMac/Capture/internal/ScriptBase64.h"

#include <QFile>
#include <QJSEngine>
#include <QLoggingCategory>
#include <QSet>
#include <QStringDecoder>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// The own properties of an ECMAScript global object (with the two functions of its web annex). The
// engine adds a few of its own (URL, URLSearchParams); they go, so that a script sees the language and
// `atob`, and nothing else.
const QSet<QString>& ecmaScriptGlobals() {
    static const QSet<QString> names{
        u"globalThis"_s,
        u"Infinity"_s,
        u"NaN"_s,
        u"undefined"_s,
        u"eval"_s,
        u"isFinite"_s,
        u"isNaN"_s,
        u"parseFloat"_s,
        u"parseInt"_s,
        u"decodeURI"_s,
        u"decodeURIComponent"_s,
        u"encodeURI"_s,
        u"encodeURIComponent"_s,
        u"escape"_s,
        u"unescape"_s,
        u"AggregateError"_s,
        u"Array"_s,
        u"ArrayBuffer"_s,
        u"Atomics"_s,
        u"BigInt"_s,
        u"BigInt64Array"_s,
        u"BigUint64Array"_s,
        u"Boolean"_s,
        u"DataView"_s,
        u"Date"_s,
        u"Error"_s,
        u"EvalError"_s,
        u"FinalizationRegistry"_s,
        u"Float32Array"_s,
        u"Float64Array"_s,
        u"Function"_s,
        u"Int8Array"_s,
        u"Int16Array"_s,
        u"Int32Array"_s,
        u"JSON"_s,
        u"Map"_s,
        u"Math"_s,
        u"Number"_s,
        u"Object"_s,
        u"Promise"_s,
        u"Proxy"_s,
        u"RangeError"_s,
        u"ReferenceError"_s,
        u"Reflect"_s,
        u"RegExp"_s,
        u"Set"_s,
        u"SharedArrayBuffer"_s,
        u"String"_s,
        u"Symbol"_s,
        u"SyntaxError"_s,
        u"TypeError"_s,
        u"Uint8Array"_s,
        u"Uint8ClampedArray"_s,
        u"Uint16Array"_s,
        u"Uint32Array"_s,
        u"URIError"_s,
        u"WeakMap"_s,
        u"WeakRef"_s,
        u"WeakSet"_s,
    };
    return names;
}

// The engine's compiler warns about the bundled libraries' style (a function used above its
// declaration, say) on every evaluation; in the worker that is noise on standard error.
QLoggingCategory::CategoryFilter previousLoggingFilter = nullptr;

void filterScriptCompilerWarnings(QLoggingCategory* category) {
    if (previousLoggingFilter) previousLoggingFilter(category);
    if (qstrcmp(category->categoryName(), "qt.qml.compiler") == 0) category->setEnabled(QtWarningMsg, false);
}

// The garbage collector's mark stack, in bytes. The engine's default holds too few entries for the
// DOM of a large page (an element with 100,000 children, say): past it the engine aborts the process.
// Reserved, not used: only what a collection reaches is ever touched.
constexpr QByteArrayView kMarkStackBytes = "268435456";

// Before the first engine of the process: the engine reads its settings from the environment.
void prepareScriptEngines() {
    static std::once_flag once;
    std::call_once(once, [] {
        previousLoggingFilter = QLoggingCategory::installFilter(filterScriptCompilerWarnings);
        if (!qEnvironmentVariableIsSet("QV4_GC_MAX_STACK_SIZE")) {
            qputenv("QV4_GC_MAX_STACK_SIZE", kMarkStackBytes.toByteArray());
        }
    });
}

// Interrupts the engine once the call has run for its time limit. finish() stops the watch and tells
// whether it fired; an engine that finished first is never interrupted.
class Watchdog {
public:
    Watchdog(QJSEngine& engine, std::chrono::milliseconds limit)
        : m_thread([this, &engine, limit] {
              std::unique_lock lock(m_mutex);
              if (m_finishedCondition.wait_for(lock, limit, [this] { return m_finished; })) return;
              m_fired = true;
              engine.setInterrupted(true);
          }) {}
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() { finish(); }

    bool finish() {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_finishedCondition.notify_all();
        if (m_thread.joinable()) m_thread.join();
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finishedCondition;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread;
};

CaptureFailure failed() {
    return CaptureFailure::extractionFailed;
}

// The engine reports an exception thrown inside a call only as the call's value (a thrown "ok"
// object would pass for a result), so every step that runs script code goes through these guards:
// each returns [value], or null when the step threw. They are made before the extractor runs, from
// built-ins it cannot have changed yet, and no global names them.
constexpr QStringView kGuards =
    uR"((function (apply, toText, stringify) {
  "use strict";
  return {
    call: function (target, name, argument) {
      try {
        var method = target[name];
        return typeof method === "function" ? [apply(method, target, [argument])] : null;
      } catch (error) { return null; }
    },
    get: function (target, key) { try { return [target[key]]; } catch (error) { return null; } },
    text: function (value) { try { return [toText(value)]; } catch (error) { return null; } },
    json: function (value) { try { return [stringify(value)]; } catch (error) { return null; } }
  };
})(Reflect.apply, String, JSON.stringify))";

class Guards {
public:
    explicit Guards(QJSEngine& engine) : m_guards(engine.evaluate(kGuards.toString())) {}

    std::optional<QJSValue> call(const QJSValue& target, const QString& name, const QString& argument) const {
        return unwrap(m_guards.property(u"call"_s).call({target, name, argument}));
    }
    std::optional<QJSValue> get(const QJSValue& target, const QString& key) const {
        return unwrap(m_guards.property(u"get"_s).call({target, key}));
    }
    std::optional<QString> text(const QJSValue& value) const {
        const std::optional<QJSValue> text = unwrap(m_guards.property(u"text"_s).call({value}));
        return text ? std::optional(text->toString()) : std::nullopt;
    }
    // The JSON text of the value; nothing when it throws or has none (undefined, a function).
    std::optional<QString> json(const QJSValue& value) const {
        const std::optional<QJSValue> json = unwrap(m_guards.property(u"json"_s).call({value}));
        return json && json->isString() ? std::optional(json->toString()) : std::nullopt;
    }

private:
    static std::optional<QJSValue> unwrap(const QJSValue& boxed) {
        if (!boxed.isArray()) return std::nullopt;
        return boxed.property(0);
    }

    QJSValue m_guards;
};

void prepareGlobals(QJSEngine& engine, ScriptBase64& base64) {
    QJSValue global = engine.globalObject();
    const QJSValue names = engine.evaluate(u"Object.getOwnPropertyNames(this)"_s);
    const int count = names.property(u"length"_s).toInt();
    for (int index = 0; index < count; ++index) {
        const QString name = names.property(quint32(index)).toString();
        if (!ecmaScriptGlobals().contains(name)) global.deleteProperty(name);
    }
    global.setProperty(u"atob"_s, engine.newQObject(&base64).property(u"atob"_s));
}

// Evaluates the extractor, calls the function and turns its result into a document: everything but
// the time limit.
ArticleExtraction callExtractor(QJSEngine& engine, ScriptBase64& base64, const QString& source, const QString& argument,
                                const QString& functionName) {
    prepareGlobals(engine, base64);
    const Guards guards(engine);

    // The stack trace of an exception is the one sign of it that evaluation leaves.
    QStringList exceptionTrace;
    engine.evaluate(source, u"extractor.js"_s, 1, &exceptionTrace);
    if (!exceptionTrace.isEmpty()) return tl::unexpected(failed());

    const std::optional<QJSValue> object = guards.get(engine.globalObject(), u"RAVOVodeved"_s);
    if (!object) return tl::unexpected(failed());
    const std::optional<QJSValue> result = guards.call(*object, functionName, argument);
    if (!result || result->isUndefined()) return tl::unexpected(failed());

    const std::optional<QJSValue> statusValue = guards.get(*result, u"status"_s);
    const std::optional<QString> status = statusValue ? guards.text(*statusValue) : std::nullopt;
    if (!status) return tl::unexpected(failed());
    if (*status == u"noBodyCandidate") return std::nullopt;
    if (*status != u"ok") return tl::unexpected(enumFromRawValue<CaptureFailure>(*status).value_or(failed()));

    const std::optional<QJSValue> textValue = guards.get(*result, u"text"_s);
    if (!textValue || textValue->isUndefined() || textValue->isNull()) return tl::unexpected(failed());
    const std::optional<QString> text = guards.text(*textValue);
    if (!text || text->isEmpty()) return tl::unexpected(failed());
    if (text->size() > kArticleTextLimit) return tl::unexpected(CaptureFailure::tooLong);

    // The engine's own serialiser: NaN and infinities become null, a cycle or a throwing getter throws,
    // and each ends as a document that does not decode.
    const std::optional<QString> json = guards.json(*result);
    if (!json) return tl::unexpected(failed());
    auto document = decodeJsonText<ReadingDocument>(json->toUtf8());
    if (!document || !document->isValid()) return tl::unexpected(failed());
    return std::optional(std::move(*document));
}

bool isBase64Letter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+' || u == u'/';
}

}  // namespace

QJSValue ScriptBase64::atob(const QString& text) const {
    if (std::optional<QString> decoded = decodeBase64AsLatin1(text)) return QJSValue(*decoded);
    return QJSValue();
}

std::optional<QString> decodeBase64AsLatin1(QStringView text) {
    if (text.size() % 4 != 0) return std::nullopt;
    qsizetype padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == u'=') ++padding;
    for (qsizetype index = 0; index < text.size() - padding; ++index) {
        if (!isBase64Letter(text[index])) return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
    return QString::fromLatin1(bytes);
}

CaptureResult<QString> loadArticleExtractorScript(const QString& name) {
    QFile file(u":/ArticleExtractor/"_s + name + u".js"_s);
    if (!file.exists()) return tl::unexpected(CaptureFailure::extractionFailed);
    if (!file.open(QIODevice::ReadOnly)) return tl::unexpected(CaptureFailure::unavailable);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(file.readAll());
    if (decoder.hasError()) return tl::unexpected(CaptureFailure::unavailable);
    return text;
}

ArticleExtraction runArticleExtractorSource(const QString& source, const QString& argument, const QString& functionName,
                                            std::chrono::milliseconds timeLimit) {
    prepareScriptEngines();
    // Outlives the engine, which must not own it.
    ScriptBase64 base64;
    QJSEngine::setObjectOwnership(&base64, QJSEngine::CppOwnership);
    QJSEngine engine;
    Watchdog watchdog(engine, timeLimit);
    ArticleExtraction outcome = callExtractor(engine, base64, source, argument, functionName);
    if (watchdog.finish()) return tl::unexpected(CaptureFailure::timedOut);
    return outcome;
}

ArticleExtraction runArticleExtractorScript(const QString& argument, const QString& functionName) {
    auto source = loadArticleExtractorScript(u"extractor"_s);
    if (!source) return tl::unexpected(source.error());
    return runArticleExtractorSource(*source, argument, functionName);
}

ArticleExtraction extractArticle(const QString& html) {
    return runArticleExtractorScript(html, u"extractArticle"_s);
}

ArticleExtraction extractClipboardHTML(const QString& html) {
    return runArticleExtractorScript(html, u"extractClipboardHTML"_s);
}

}  // namespace tavrine
