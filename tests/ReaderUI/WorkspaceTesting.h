#pragma once

#include "PlayerTesting.h"

#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"

#include <QStringList>

#include <memory>

namespace tavrine::test {

// A workspace controller over the fixture's player (fake clock, fake store, held chunk source), with
// closures that write what they are called for into `log`: "interaction", "navigation", and "release"
// for every new editor focus token. Windows of prepared readings are 8-unit chunks over 400 units from
// the offset asked for, five to a sentence.
class WorkspaceFixture : public PlayerFixture {
public:
    WorkspaceFixture();
    ~WorkspaceFixture();

    // A new player and a workspace over it, not shown yet; with presentation, the application's flag.
    // The paste closures of paste are the workspace's (the others are the fixture's own).
    ReaderWorkspaceController& makeWorkspace(ReaderEPUBPresentation* presentation = nullptr,
                                             ReaderWorkspaceClosures paste = {});
    ReaderWorkspaceController& workspace() { return *m_workspace; }
    // Shows the workspace and lets the passes it causes run.
    void appear();
    // Hands the workspace a request for action and lets its pass run.
    void request(ReaderPlaybackRequest::Action action);

    // A new plain text on its way in, dated by the fixture's clock.
    ImportedReading imported(const QString& text, bool autoplay = false) const;

    QStringList log;

private:
    std::shared_ptr<qsizetype> m_textLength = std::make_shared<qsizetype>(0);
    std::unique_ptr<ReaderWorkspaceController> m_workspace;
};

// A short text of three sentences, chunked at once.
inline const QString kThreeSentences =
    QStringLiteral("吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。");

}  // namespace tavrine::test
