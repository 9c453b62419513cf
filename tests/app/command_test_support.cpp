#include "app/command_test_support.h"

#include <QApplication>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimerEvent>

#include "app/projector_list_model.h"
#include "controls/grp_list.h"
#include "sim/fleet_options.h"

namespace vistrel::test {

namespace {
constexpr char kConsoleAddress[] = "127.0.4.128";
constexpr char kFirstProjector[] = "127.0.4.130";
}  // namespace

FleetBackend::FleetBackend(Console& console, RegStore& store, PollerOptions poller,
                           RequestRingOptions ring)
    : store_(store), discovery_(console), poller_(console, poller), ring_(console, ring) {}

FleetBackend::~FleetBackend() {
    poller_.Stop();
    ring_.Shutdown();
}

ConsoleBackend::DiscoveryStatus FleetBackend::OpenDiscovery() {
    DiscoveryStatus status;
    status.open = discovery_.OpenDiscovery();
    if (status.open)
        status.descriptor = static_cast<int>(discovery_.Descriptor());
    return status;
}

void FleetBackend::PausePolling(bool paused) {
    pauseCalls.push_back(paused);
    if (paused)
        poller_.Pause();
    else
        poller_.Resume();
}

// --- fixture -----------------------------------------------------------------------------------

void CommandFixture::Start(const std::vector<SimProjector>& projectors,
                           const std::vector<std::string>& groups, bool openWindow) {
    sim::FleetOptions options = sim::GenerateFleet(projectors.size(), 41, kFirstProjector);
    options.discoveryPort = 0;
    options.httpPort = 0;
    for (size_t i = 0; i < projectors.size(); ++i) {
        options.projectors[i].state.group = projectors[i].group;
        options.projectors[i].state.name = projectors[i].name;
        if (projectors[i].lampHours >= 0)
            options.projectors[i].state.lampHours = projectors[i].lampHours;
        if (projectors[i].power >= 0)
            options.projectors[i].state.power = projectors[i].power;
    }
    fleet = std::make_unique<sim::Fleet>(std::move(options));
    std::string error;
    ASSERT_TRUE(fleet->Start(&error)) << error;

    NetworkProfile profile;
    profile.broadcastAddress = "127.255.255.255";
    profile.bindAddress = kConsoleAddress;
    profile.discoveryPort = fleet->DiscoveryPort();
    profile.httpPort = fleet->HttpPort();
    console =
        clock ? std::make_unique<Console>(profile, *clock) : std::make_unique<Console>(profile);
    store = std::make_unique<RegStore>(dir.File(), "Vistrel");
    for (const std::string& group : groups)
        ASSERT_TRUE(store->OpenGroupKey(group, kGroupKeyRoot, 0));
    if (openWindow)
        OpenWindow();
}

void CommandFixture::OpenWindow() {
    PollerOptions poller;
    poller.pause = std::chrono::milliseconds(100);
    poller.idleSleep = std::chrono::milliseconds(100);
    poller.minIntervalMs = pollIntervalMs;  // 0 by default: reported changes show quickly
    RequestRingOptions ring;
    ring.pause = std::chrono::milliseconds(10);
    ring.shutdownGrace = std::chrono::milliseconds(1000);
    backend = std::make_unique<FleetBackend>(*console, *store, poller, ring);
    window = std::make_unique<CVistrelDlg>(*console, *backend);
    ASSERT_TRUE(window->DiscoveryOpen());
    projectorCommands = new ProjectorCommands({*window, *store, backend->ring()});
    groupCommands = new GroupCommands({*window, *store, backend->ring()});
    window->show();
}

void CommandFixture::CloseWindow() {
    if (window) {
        window->close();
        window.reset();
        projectorCommands = nullptr;
        groupCommands = nullptr;
    }
    backend.reset();
}

void CommandFixture::TearDown() {
    CloseWindow();
    if (fleet)
        fleet->Stop();
}

bool CommandFixture::WaitForRows(int rows, const std::function<bool()>& check, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            window->RefreshNow();
            return window->Model()->RowCount() == rows && (!check || check());
        },
        timeoutMs);
}

bool CommandFixture::WaitForGroupsPolled(int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            auto guard = console->table.Lock();
            if (guard.Size() != fleet->Size())
                return false;
            for (const Info& record : guard.Records()) {
                const auto index = fleet->FindByMac(record.mac);
                if (!index || record.projectorName != fleet->State(*index).name ||
                    record.groupName != fleet->State(*index).group) {
                    return false;
                }
            }
            return true;
        },
        timeoutMs);
}

std::vector<std::pair<std::string, std::string>> CommandFixture::Received(
    const std::string& prefix) const {
    std::vector<std::pair<std::string, std::string>> found;
    for (const sim::LogEntry& entry : fleet->Log().Entries()) {
        if (entry.kind == "http" && entry.body.rfind(prefix, 0) == 0)
            found.emplace_back(entry.address, entry.body);
    }
    return found;
}

bool CommandFixture::WaitForReceived(const std::string& prefix, size_t count, int timeoutMs) const {
    return QTest::qWaitFor([&] { return Received(prefix).size() >= count; }, timeoutMs);
}

int CommandFixture::RowOfAddress(const std::string& address) const {
    const ProjectorListModel* model = window->Model();
    for (int row = 0; row < model->RowCount(); ++row) {
        if (model->Cell(row, ProjectorListModel::kIp) == address)
            return row;
    }
    return -1;
}

void CommandFixture::SelectRows(const std::vector<int>& rows) {
    QItemSelectionModel* selection = window->ProjectorView()->selectionModel();
    selection->clearSelection();
    for (int row : rows) {
        selection->select(window->ViewIndex(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void CommandFixture::SelectGroup(int row) {
    window->GroupList()->setCurrentRow(row);
    window->ShowGroup();
}

// --- modal script ------------------------------------------------------------------------------

ModalScript::ModalScript(int timeoutMs) {
    deadline_ = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    timerId_ = startTimer(10);
}

ModalScript::~ModalScript() {
    killTimer(timerId_);
}

void ModalScript::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_)
        Tick();
}

void ModalScript::Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (Finished())
        return;
    if (QDateTime::currentMSecsSinceEpoch() > deadline_) {
        // Give up: close whatever is open so the command under test returns.
        while (QWidget* open = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(open))
                dialog->reject();
            else
                open->close();
            if (QApplication::activeModalWidget() == open)
                break;
        }
        return;
    }
    if (modal && steps_[next_](modal))
        ++next_;
}

ModalScript::Step ModalScript::Answer(QMessageBox::StandardButton button) {
    return [this, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return false;
        boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        box->button(button)->click();
        return true;
    };
}

}  // namespace vistrel::test
