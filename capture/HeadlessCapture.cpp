#include "capture/HeadlessCapture.h"

#include <cerrno>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace kolvane {

CHeadlessCapture::CHeadlessCapture(CCaptureGraph& graph) : graph_(&graph) {
    graph_->SetCommandSink(this);
}

CHeadlessCapture::~CHeadlessCapture() {
    if (attached_) graph_->DetachWindow();
    graph_->SetCommandSink(nullptr);
}

void CHeadlessCapture::SendCommand(int id) {
    graph_->OnCommand(id);
}

void CHeadlessCapture::PostCommand(int id) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this, id] { graph_->OnCommand(id); }, Qt::QueuedConnection);
}

bool CHeadlessCapture::RunUntil(const std::function<bool()>& condition,
                                std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

Result CHeadlessCapture::Start(const QString& deviceName, std::chrono::milliseconds timeout) {
    if (const int error = graph_->ConstructionError(); error != 0) return error;
    if (!attached_) {
        if (graph_->AttachWindow(this) != kOk) return msg::kNotCorrectlyInstalled;
        attached_ = true;
    }
    graph_->OnCommand(cmd::kReopenVideoInput);
    const QDeadlineTimer deadline(timeout);
    auto wanted = [&] {
        return deviceName.isEmpty() ||
               graph_->DeviceName().contains(deviceName, Qt::CaseInsensitive);
    };
    for (int tried = 0; tried <= graph_->DeviceCount(); ++tried) {
        const auto left = std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime()));
        if (!RunUntil([&] { return graph_->IsReadyToGrab() && !graph_->GetFrameRect().isEmpty(); },
                      left)) {
            return ENODEV;
        }
        if (wanted()) return kOk;
        graph_->OnCommand(cmd::kRebuildCaptureGraph);  // the next device
    }
    return ENODEV;
}

}  // namespace kolvane
