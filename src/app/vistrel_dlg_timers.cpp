// The window's discovery socket and timers: what runs without the operator.
#include <QMessageBox>
#include <algorithm>
#include <limits>

#include "app/vistrel_dlg.h"

namespace vistrel {

namespace {

constexpr int kDiscoveryDrain = 64;  // datagrams handled per readable notification

}  // namespace

void CVistrelDlg::OnDiscoveryReadable() {
    // A burst of answers is handled in bounded slices so the window stays responsive.
    for (int i = 0; i < kDiscoveryDrain; ++i) {
        if (!backend_.HandleAnswer())
            break;
    }
}

void CVistrelDlg::OnSearchReadable() {
    for (int i = 0; i < kDiscoveryDrain; ++i) {
        if (!backend_.HandleSearchAnswer())
            break;
    }
}

void CVistrelDlg::ReportDiscoveryFailure(const ConsoleBackend::DiscoveryStatus& status) {
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                QString::fromStdString(status.reason), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("discoveryFailureBox"));
    box->setInformativeText(QString::fromStdString(status.remedy));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();  // not blocking: the console keeps working without discovery
}

void CVistrelDlg::OnTimer1() {
    backend_.DiscoveryCycle();
}

void CVistrelDlg::OnTimer2() {
    {
        auto guard = console_.table.Lock();
        RefreshProjectorList(showAllProjectors_, guard);
    }
    backend_.RunSchedules();
}

void CVistrelDlg::OnTimer4() {
    backend_.RunSchedules();
}

void CVistrelDlg::OnTimer5() {
    backend_.WatchdogTick();
}

bool CVistrelDlg::RestartDiscoveryTimer(uint32_t intervalMs) {
    const bool wasRunning = timer1_.isActive();
    timer1_.stop();
    if (!wasRunning)
        return false;
    StartDiscoveryTimer(intervalMs);
    refreshInterval_ = intervalMs;
    return true;
}

void CVistrelDlg::StartDiscoveryTimer(uint32_t intervalMs) {
    // The interval dialog accepts up to 2,147,483 s, which is what a timer can hold; only a
    // hand-edited store can ask for more.
    constexpr uint32_t kLongest = std::numeric_limits<int>::max();
    timer1_.start(static_cast<int>(std::clamp(intervalMs, kShortestTimerMs, kLongest)));
}

void CVistrelDlg::OnRelocationProbe(std::weak_ptr<RelocationWindow> waiter) {
    if (shutDown_)
        return;
    backend_.RequestRelocationProbe(std::move(waiter));
    relocationTimer_.start();
}

void CVistrelDlg::PausePolling() {
    backend_.PausePolling(true);
}
void CVistrelDlg::ResumePolling() {
    backend_.PausePolling(false);
}

}  // namespace vistrel
