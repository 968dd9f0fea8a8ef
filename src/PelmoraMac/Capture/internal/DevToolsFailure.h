#pragma once

namespace tavrine {

// Why a conversation with a browser over the DevTools protocol ended without an answer.
enum class DevToolsFailure {
    noBrowser,         // no browser of this desktop listens for the protocol
    refused,           // the browser's port refused the connection
    timedOut,          // a wait for the browser passed its limit
    tooLarge,          // a message from the browser was larger than the limit
    disconnected,      // the browser closed the connection (or ended) before it answered
    protocolError,     // an answer that is not what the protocol promises, or the browser refused a command
    programException,  // the program run in the page threw
    noPage,            // the browser shows no page
    noWindow,          // the page's window is unknown
    noFrontPage,       // which page the browser shows in its window in front cannot be told
    pageChanged,       // the page's document or the page itself went away while a command for it was under way:
                       // it navigated, was closed or replaced, or its renderer crashed
};

}  // namespace tavrine
