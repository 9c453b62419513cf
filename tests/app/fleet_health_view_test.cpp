// Fleet health in the window, against a simulated fleet on loopback: the counts under the
// list, the marks on rows that need attention, the filter the counts set, the thresholds
// dialog and the fleet report. The console's clock is moved by the test, so the
// not-answering threshold passes without waiting for it.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <chrono>
#include <set>

#include "app/command_test_support.h"
#include "app/fleet_report_dlg.h"
#include "app/health_thresholds_dlg.h"
#include "app/projector_list_model.h"
#include "app/projector_list_proxy.h"
#include "sim/projector_state.h"

namespace vistrel::test {
namespace {

// The system's clock, moved forward by the test: ticks and wall time together.
class ShiftedClock final : public Clock {
  public:
    uint32_t TickMs() const override {
        return SystemClock::Instance().TickMs() + static_cast<uint32_t>(shift_.load() * 1000);
    }
    int64_t Now() const override { return SystemClock::Instance().Now() + shift_.load(); }
    void Advance(std::chrono::seconds s) { shift_.fetch_add(s.count()); }

  private:
    std::atomic<int64_t> shift_{0};
};

class FleetHealthViewTest : public CommandFixture {
  protected:
    void StartFleet() {
        clock = &shifted;
        Start({{"", "Quiet", 100, sim::kPowerOn},
               {"", "Warm", 3100, sim::kPowerOn},
               {"", "Hot", 4200, sim::kPowerOn},
               {"", "Dark", 200, sim::kPowerOff}});
        ASSERT_TRUE(WaitForRows(4, [&] {
            const FleetCounts& c = Counts();
            // Names come with the group reply, after the status.
            for (const char* name : {"Quiet", "Warm", "Hot", "Dark"}) {
                if (RowOf(name) < 0)
                    return false;
            }
            return c.on == 3 && c.off == 1 && c.lampWarning == 1 && c.lampCritical == 1;
        }));
    }
    const FleetCounts& Counts() const { return window->StatusBar()->Counts(); }
    int RowOf(const std::string& name) const {
        for (int row = 0; row < window->Model()->RowCount(); ++row) {
            if (window->Model()->Cell(row, ProjectorListModel::kProjectorName) == name)
                return row;
        }
        return -1;
    }
    size_t FleetIndexOf(const std::string& name) const {
        for (size_t i = 0; i < fleet->Size(); ++i) {
            if (fleet->State(i).name == name)
                return i;
        }
        return fleet->Size();
    }
    std::set<std::string> ShownNames() const {
        std::set<std::string> names;
        for (int row = 0; row < window->Proxy()->rowCount(); ++row) {
            names.insert(
                window->Model()->Cell(window->Proxy()->SourceRow(window->Proxy()->index(row, 0)),
                                      ProjectorListModel::kProjectorName));
        }
        return names;
    }
    QVariant CellData(const std::string& name, int column, int role) const {
        return window->Model()->index(RowOf(name), column).data(role);
    }
    std::set<std::string> Ticked() const {
        std::set<std::string> names;
        for (int row = 0; row < window->Model()->RowCount(); ++row) {
            if (window->Model()->IsChecked(row))
                names.insert(window->Model()->Cell(row, ProjectorListModel::kProjectorName));
        }
        return names;
    }

    ShiftedClock shifted;
};

TEST_F(FleetHealthViewTest, CountsFilterTheListWithoutTouchingTicksAndASilentProjectorIsMarked) {
    StartFleet();
    const std::vector<std::string> order = [&] {
        std::vector<std::string> macs;
        for (int row = 0; row < window->Model()->RowCount(); ++row)
            macs.push_back(window->Model()->Cell(row, ProjectorListModel::kMac));
        return macs;
    }();
    window->Model()->SetChecked(RowOf("Quiet"), true);
    window->Model()->SetChecked(RowOf("Hot"), true);

    // Lamps past each threshold are marked in their own colours.
    const QColor warning =
        CellData("Warm", ProjectorListModel::kLampHour, Qt::ForegroundRole).value<QColor>();
    const QColor critical =
        CellData("Hot", ProjectorListModel::kLampHour, Qt::ForegroundRole).value<QColor>();
    EXPECT_TRUE(warning.isValid());
    EXPECT_TRUE(critical.isValid());
    EXPECT_NE(warning, critical);
    EXPECT_FALSE(CellData("Quiet", ProjectorListModel::kLampHour, Qt::ForegroundRole).isValid());

    // Each count narrows the list to exactly its rows; clicked again, every row is back.
    const std::pair<HealthFilter, std::set<std::string>> filters[] = {
        {HealthFilter::kLampWarning, {"Warm"}},
        {HealthFilter::kLampCritical, {"Hot"}},
        {HealthFilter::kOn, {"Quiet", "Warm", "Hot"}},
        {HealthFilter::kOff, {"Dark"}},
        {HealthFilter::kStandby, {}},
    };
    for (const auto& [filter, names] : filters) {
        window->StatusBar()->Activate(filter);
        EXPECT_EQ(ShownNames(), names) << static_cast<int>(filter);
        EXPECT_EQ(window->StatusBar()->Active(), filter);
        window->StatusBar()->Activate(filter);
        EXPECT_EQ(window->Proxy()->rowCount(), 4);
    }
    // A filter combines with the find text, and Esc in the list shows every row again.
    window->StatusBar()->Activate(HealthFilter::kOn);
    window->FindField()->setText(QStringLiteral("h"));
    EXPECT_EQ(ShownNames(), (std::set<std::string>{"Hot"}));
    window->FindField()->clear();
    // Ticking every shown row reaches only the rows the filter shows.
    window->CheckShownRows();
    EXPECT_EQ(Ticked(), (std::set<std::string>{"Quiet", "Warm", "Hot"}));
    window->ProjectorView()->setFocus();
    QTest::keyClick(window->ProjectorView(), Qt::Key_Escape);
    EXPECT_EQ(window->ActiveHealthFilter(), HealthFilter::kAll);
    EXPECT_EQ(window->Proxy()->rowCount(), 4);
    EXPECT_TRUE(window->isVisible());
    window->Model()->SetChecked(RowOf("Warm"), false);

    // "Warm" stops answering. Its first failed poll starts the silence; it counts only once
    // the threshold has passed.
    const size_t warm = FleetIndexOf("Warm");
    const std::string warmMac = fleet->Mac(warm);
    sim::Faults gone;
    gone.gone = true;
    fleet->SetFaults(warm, gone);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto h = window->Health().Find(warmMac);
            return h && h->notAnsweringSince.has_value();
        },
        8000));
    window->UpdateHealth();
    EXPECT_EQ(Counts().notAnswering, 0u);
    EXPECT_FALSE(window->Model()->HealthOf(RowOf("Warm")).notAnswering);

    shifted.Advance(std::chrono::seconds(window->Thresholds().notAnsweringSeconds + 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Counts().notAnswering == 1; }, 8000));
    EXPECT_EQ(Counts().on, 2u);           // its last power is stale: counted as not answering only
    EXPECT_EQ(Counts().lampWarning, 1u);  // its lamp has not grown younger
    // The row keeps its last values, greyed, with the icon and since when.
    EXPECT_EQ(window->Model()->Cell(RowOf("Warm"), ProjectorListModel::kLampHour), "3100");
    const QVariant grey = CellData("Warm", ProjectorListModel::kIp, Qt::ForegroundRole);
    ASSERT_TRUE(grey.isValid());
    EXPECT_EQ(CellData("Warm", ProjectorListModel::kProjectorName, Qt::ForegroundRole), grey);
    EXPECT_FALSE(CellData("Quiet", ProjectorListModel::kIp, Qt::ForegroundRole).isValid());
    // The lamp keeps its amber: a silent projector's lamp still needs changing.
    EXPECT_EQ(CellData("Warm", ProjectorListModel::kLampHour, Qt::ForegroundRole).value<QColor>(),
              warning);
    EXPECT_FALSE(
        CellData("Warm", ProjectorListModel::kPower, Qt::DecorationRole).value<QIcon>().isNull());
    const auto since = window->Health().Find(warmMac)->notAnsweringSince;
    ASSERT_TRUE(since.has_value());
    EXPECT_EQ(CellData("Warm", ProjectorListModel::kIp, Qt::ToolTipRole).toString(),
              QStringLiteral("Not answering since %1")
                  .arg(QString::fromStdString(LocalClockText(*since, shifted.Now()))));

    window->StatusBar()->Activate(HealthFilter::kNotAnswering);
    EXPECT_EQ(ShownNames(), (std::set<std::string>{"Warm"}));

    // It answers again: counted and shown as before, and the filter, still set, empties.
    fleet->SetFaults(warm, {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Counts().notAnswering == 0; }, 8000));
    EXPECT_EQ(Counts().on, 3u);
    EXPECT_FALSE(CellData("Warm", ProjectorListModel::kIp, Qt::ForegroundRole).isValid());
    EXPECT_EQ(window->Proxy()->rowCount(), 0);
    window->StatusBar()->Activate(HealthFilter::kNotAnswering);
    EXPECT_EQ(window->Proxy()->rowCount(), 4);

    // Through all of it the rows kept discovery order and the ticks stayed where they were.
    std::vector<std::string> after;
    for (int row = 0; row < window->Model()->RowCount(); ++row)
        after.push_back(window->Model()->Cell(row, ProjectorListModel::kMac));
    EXPECT_EQ(after, order);
    EXPECT_EQ(Ticked(), (std::set<std::string>{"Quiet", "Hot"}));
    for (const char* name : {"Quiet", "Warm", "Hot", "Dark"}) {
        const std::string mac = window->Model()->Cell(RowOf(name), ProjectorListModel::kMac);
        EXPECT_EQ(store->GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0),
                  Ticked().count(name) ? 1u : 0u)
            << name;
    }
}

TEST_F(FleetHealthViewTest, ThresholdsDialogStoresSensibleValuesAndTheReportSavesItsTables) {
    StartFleet();

    // A critical threshold below the warning one is refused in the dialog; then 150 h warns.
    ModalScript script;
    script
        .Then(OnDialog<HealthThresholdsDlg>([](HealthThresholdsDlg& dialog) {
            dialog.WarningHours()->setValue(5000);
            dialog.CriticalHours()->setValue(4000);
            dialog.accept();
        }))
        .Then([](QWidget* modal) {
            auto* dialog = qobject_cast<HealthThresholdsDlg*>(modal);
            if (!dialog || !dialog->Problem()->isVisible())
                return false;
            dialog->WarningHours()->setValue(150);
            dialog->accept();
            return true;
        });
    window->OpenHealthThresholds();
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(store->GetAppDword(kLampWarningValue, 0), 150u);
    EXPECT_EQ(store->GetAppDword(kLampCriticalValue, 0), 4000u);
    EXPECT_EQ(store->GetAppDword(kNotAnsweringValue, 0), 120u);
    EXPECT_EQ(window->Thresholds().lampWarningHours, 150u);
    EXPECT_EQ(Counts().lampWarning, 2u);  // "Warm" and "Dark"; "Quiet" has 100 h
    EXPECT_EQ(Counts().lampCritical, 1u);

    // The report: the same projectors, the attention list most urgent first, the chart's
    // bands, and its tables saved as CSV.
    const QString csvPath = QString::fromStdString((dir.Path() / "report.csv").string());
    QStringList attention;
    std::vector<size_t> bands;
    bool saved = false;
    ModalScript report;
    report.Then(OnDialog<FleetReportDlg>([&](FleetReportDlg& dialog) {
        for (int row = 0; row < dialog.Attention()->rowCount(); ++row)
            attention << dialog.Attention()->item(row, 0)->text();
        bands = dialog.Chart()->Bands();
        QString error;
        saved = dialog.SaveCsv(csvPath, &error);
        dialog.reject();
    }));
    window->OpenFleetReport();
    ASSERT_TRUE(report.Finished());
    ASSERT_EQ(attention.size(), 3);
    EXPECT_EQ(attention[0], QStringLiteral("Hot"));  // critical before the warnings
    EXPECT_EQ((std::set<QString>{attention[1], attention[2]}),
              (std::set<QString>{QStringLiteral("Warm"), QStringLiteral("Dark")}));
    ASSERT_GE(bands.size(), 9u);
    EXPECT_EQ(bands[0], 2u);  // 100 h and 200 h
    EXPECT_EQ(bands[6], 1u);  // 3100 h
    EXPECT_EQ(bands[8], 1u);  // 4200 h
    ASSERT_TRUE(saved);
    QFile file(csvPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString csv = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(csv.startsWith(QStringLiteral("By model\r\n")));
    const std::string firmware = fleet->State(0).firmware;
    EXPECT_TRUE(csv.contains(QStringLiteral("By firmware\r\nfirmware,projectors\r\n")));
    EXPECT_TRUE(csv.contains(QString::fromStdString(firmware + ","))) << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral(",Hot,,critical,4200,"))) << csv.toStdString();
}

}  // namespace
}  // namespace vistrel::test
