#include "imageio/CodecMessageCapture.h"

#include <algorithm>
#include <utility>

namespace quarvel {

CodecMessageCapture::CodecMessageCapture() : outer_(active_) {
    active_ = this;
    const std::lock_guard<std::mutex> lock(Mutex());
    if (installed_++ == 0) {
        previous_.store(qInstallMessageHandler(&Handler));
    }
}

CodecMessageCapture::~CodecMessageCapture() {
    active_ = outer_;
    const std::lock_guard<std::mutex> lock(Mutex());
    if (--installed_ == 0) {
        qInstallMessageHandler(previous_.load());
    }
}

std::string CodecMessageCapture::Text() const {
    std::string text;
    for (const std::string& message : messages_) {
        text += (text.empty() ? "" : "; ") + message;
    }
    return text;
}

bool CodecMessageCapture::Mentions(const char* phrase) const {
    return std::any_of(messages_.begin(), messages_.end(), [phrase](const std::string& m) {
        return m.find(phrase) != std::string::npos;
    });
}

std::mutex& CodecMessageCapture::Mutex() {
    static std::mutex mutex;
    return mutex;
}

bool CodecMessageCapture::IsColourProfileNotice(const QString& message) {
    return message.contains(QStringLiteral("iCCP")) ||
           message.contains(QStringLiteral("ICC profile"), Qt::CaseInsensitive) ||
           message.startsWith(QStringLiteral("QIcc")) ||
           message.startsWith(QStringLiteral("QColorSpace"));
}

void CodecMessageCapture::Handler(QtMsgType type, const QMessageLogContext& context,
                                  const QString& text) {
    CodecMessageCapture* capture = active_;
    if (capture != nullptr) {
        if (type == QtDebugMsg || type == QtInfoMsg || IsColourProfileNotice(text)) {
            return;
        }
        std::string message = text.trimmed().toStdString();
        if (!message.empty() && std::find(capture->messages_.begin(), capture->messages_.end(),
                                          message) == capture->messages_.end()) {
            capture->messages_.push_back(std::move(message));
        }
        return;
    }
    if (const QtMessageHandler previous = previous_.load()) {
        previous(type, context, text);
    }
}

std::string WithDetail(std::string reason, const CodecMessageCapture& messages) {
    const std::string detail = messages.Text();
    return detail.empty() ? reason : reason + " (" + detail + ")";
}

}  // namespace quarvel
