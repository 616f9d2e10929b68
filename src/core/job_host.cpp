#include "core/job_host.h"

namespace quorvane {

void JobHost::startProgress(const std::string& action, int maximum) {
    if (!progressVisible_) {
        cancel_.store(false, std::memory_order_relaxed);
        progressVisible_ = true;
    }
    onStartProgress(action, maximum);
}

void JobHost::closeProgress() {
    progressVisible_ = false;
    onCloseProgress();
}

void FileMessageTree::post(const std::string& currentFile, const std::string& message) {
    if (!hasNode_ || nodeText_ != currentFile) {
        host_.addFileNode(currentFile);
        hasNode_ = true;
        nodeText_ = currentFile;
        lastMessage_.clear();
    }
    if (message != lastMessage_) host_.addFileFinding(message);
    lastMessage_ = message;
}

void FileMessageTree::reset() {
    hasNode_ = false;
    nodeText_.clear();
    lastMessage_.clear();
}

}  // namespace quorvane
