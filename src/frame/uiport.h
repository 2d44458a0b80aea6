#pragma once
// The narrow interface through which the core reaches the screens. The link logic calls
// only these; the Qt screens implement them, and tests put a scripted fake in their place.
#include "frame/host.h"

#include <string>

namespace qelp {

class UiPort {
public:
    virtual ~UiPort() = default;

    // The console's status line (text as cp1252 bytes).
    virtual void setStatusLine(const std::string& text) = 0;
    // Runs the window events that are pending, and returns without waiting.
    virtual void processPendingEvents() = 0;
    // Blocks until the watch signals, a window event arrives or timeoutMs passes, then runs
    // the pending window events. The result wait calls this once per pass, so that a pass
    // costs nothing while neither the driver nor the operator does anything. watch may be
    // null (then only window events and the timeout end the wait).
    virtual void waitForEvents(DirectoryWatch* watch, int timeoutMs) = 0;
    // The console's abort button.
    virtual void setAbortEnabled(bool enabled) = 0;
    // Shows the message window, modeless, built afresh from the program's message state.
    // Returns at once; the window sets messageWindowOpen while it is loaded.
    virtual void showMessageWindow() = 0;
};

// A port that does nothing: for tools and for code that runs without screens. Its message
// window never opens.
class NullUiPort : public UiPort {
public:
    void setStatusLine(const std::string&) override {}
    void processPendingEvents() override {}
    void waitForEvents(DirectoryWatch* watch, int timeoutMs) override;
    void setAbortEnabled(bool) override {}
    void showMessageWindow() override {}
};

} // namespace qelp
