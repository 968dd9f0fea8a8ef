#pragma once

#include <QJSValue>
#include <QObject>
#include <QString>

namespace tavrine {

// The one native function of the extractor's engine, reached by the scripts as the global `atob`.
// A QObject because that is how a script engine calls into C++.
class ScriptBase64 : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The decoded text, or undefined when `text` is not strict standard Base64.
    Q_INVOKABLE QJSValue atob(const QString& text) const;
};

}  // namespace tavrine
