#pragma once

namespace quarvel {

/// Shows the wait cursor for its lifetime. The pending paint events are delivered first, so the
/// cursor and the window are up to date before the long work starts on this thread.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();

    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    /// Brings the normal cursor back early (before a message box); the destructor then does
    /// nothing.
    void Restore();

private:
    bool active_ = true;
};

}  // namespace quarvel
