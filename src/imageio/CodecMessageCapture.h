#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include <QString>
#include <QtGlobal>

namespace quarvel {

/// Collects the warnings Qt's image plugins and the codec libraries under them emit while one
/// image is read or written, instead of letting them reach the terminal.
///
/// Qt has one message handler per process. The first capture installs the program's own and the
/// last one to end puts the previous handler back; in between, each message goes to the capture
/// of the thread that emitted it, so images read or written on several threads at once keep
/// their messages apart. Messages of threads without a capture go on to the previous handler.
/// Captures on one thread may nest; the innermost one receives the messages.
class CodecMessageCapture {
public:
    CodecMessageCapture();
    ~CodecMessageCapture();
    CodecMessageCapture(const CodecMessageCapture&) = delete;
    CodecMessageCapture& operator=(const CodecMessageCapture&) = delete;

    /// The messages so far, each once, joined by "; ".
    std::string Text() const;
    bool Mentions(const char* phrase) const;

private:
    static std::mutex& Mutex();
    /// Complaints about an embedded colour profile: the pixels are intact and the program does
    /// not use the profile, so they are not worth a warning to the user.
    static bool IsColourProfileNotice(const QString& message);
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text);

    /// The innermost capture of the calling thread.
    static inline thread_local CodecMessageCapture* active_ = nullptr;
    /// Captures alive on all threads; changed under Mutex.
    static inline std::size_t installed_ = 0;
    static inline std::atomic<QtMessageHandler> previous_{nullptr};

    CodecMessageCapture* outer_;
    std::vector<std::string> messages_;
};

/// reason, followed by the messages of the capture in brackets when there are any.
std::string WithDetail(std::string reason, const CodecMessageCapture& messages);

}  // namespace quarvel
