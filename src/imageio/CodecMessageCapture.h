#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QString>
#include <QtGlobal>

namespace quarvel {

/// Collects the warnings Qt's image plugins and the codec libraries under them emit while one
/// image is read or written, instead of letting them reach the terminal.
///
/// Qt has one message handler per process. A capture installs its own for its lifetime and puts
/// the previous one back afterwards; captures on different threads run one after the other, and
/// messages from other threads go on to the previous handler.
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

    static inline std::atomic<CodecMessageCapture*> active_{nullptr};
    static inline QtMessageHandler previous_ = nullptr;

    std::lock_guard<std::mutex> lock_;
    std::thread::id thread_;
    std::vector<std::string> messages_;
};

/// reason, followed by the messages of the capture in brackets when there are any.
std::string WithDetail(std::string reason, const CodecMessageCapture& messages);

}  // namespace quarvel
