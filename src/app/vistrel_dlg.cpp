#include "app/vistrel_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <array>
#include <limits>

#include "app/about_dlg.h"
#include "app/all_projectors_button.h"
#include "app/fleet_report_dlg.h"
#include "app/health_thresholds_dlg.h"
#include "app/projector_list_model.h"
#include "app/projector_list_proxy.h"
#include "app/source_labels.h"
#include "controls/gradient.h"
#include "controls/grp_list.h"
#include "controls/icons.h"
#include "controls/message_box.h"
#include "controls/my_button.h"
#include "controls/static_text.h"
#include "protocol/option_tables.h"
#include "protocol/text_encoding.h"

namespace vistrel {

namespace {

// Geometry of the window's controls at its designed client size. The resize rules move
// the right-hand and bottom edges from here.
constexpr int kInitialClientWidth = 1250;
constexpr int kInitialClientHeight = 620;
constexpr int kMargin = 10;
constexpr int kBarTop = 8;
constexpr int kBarHeight = 36;
constexpr int kPanelWidth = 190;  // top-left panel, group pane and "All Projectors"
constexpr int kPanelGap = 4;      // between the top-left panel and the top bar
constexpr int kButtonSize = 24;
constexpr int kButtonStep = 28;
constexpr int kLogoWidth = 132;
constexpr int kPaneTop = kBarTop + kBarHeight + 6;
constexpr int kAllButtonHeight = 24;
constexpr int kComboWidth = 100;
constexpr int kSourceCaptionWidth = 52;
constexpr int kGroupCaptionWidth = 48;
constexpr int kTitleWidth = 180;
constexpr int kFindFieldWidth = 260;
constexpr int kFindBarGap = 2;  // between the find row and the list, as the group pane's
constexpr int kStatusBarHeight = 22;
constexpr int kStatusBarGap = 2;  // between the list and the health counts under it

const char* const kCheckedValue = "Checked";
const char* const kIntervalValue = "Interval";

}  // namespace

// The window's client area: paints the two title gradients and hands resizes to the window.
class CVistrelDlg::ClientArea : public QWidget {
  public:
    explicit ClientArea(CVistrelDlg* owner) : QWidget(owner), owner_(owner) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        owner_->PaintClient(painter);
    }
    void resizeEvent(QResizeEvent*) override { owner_->LayoutClient(size()); }

  private:
    CVistrelDlg* owner_;
};

// The group title: black text cut with an ellipsis at the end, over the list's colour in
// "All Projectors" mode and the window's own background in group mode.
class ElidedTitle : public QWidget {
  public:
    explicit ElidedTitle(QWidget* parent) : QWidget(parent) {}
    void SetText(const QString& text) {
        text_ = text;
        setAccessibleName(text);
        update();
    }
    QString Text() const { return text_; }
    void SetBack(const QColor& color) {
        back_ = color;
        update();
    }
    QColor Back() const { return back_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (back_.isValid())
            painter.fillRect(rect(), back_);
        painter.setPen(Qt::black);
        const QRect r = rect().adjusted(4, 0, -4, 0);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(text_, Qt::ElideRight, r.width()));
    }

  private:
    QString text_;
    QColor back_;
};

CVistrelDlg::CVistrelDlg(Console& console, ConsoleBackend& backend, QWidget* parent)
    : QMainWindow(parent), console_(console), backend_(backend) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Vistrel"));
    setWindowIcon(AppIcon(IconId::kApp));
    health_ = std::make_shared<FleetHealth>(console_.clock);
    console_.presence.Subscribe(health_);
    BuildMenu();
    BuildControls();
    Initialise();
}

CVistrelDlg::~CVistrelDlg() {
    Shutdown();
}

// --- construction -------------------------------------------------------------------------

void CVistrelDlg::BuildMenu() {
    auto add = [this](QMenu* menu, int id, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        action->setData(id);
        actions_[id] = action;
        return action;
    };
    QMenuBar* bar = menuBar();
    groupMenu_ = bar->addMenu(QStringLiteral("&Group"));
    QMenu* goTo = groupMenu_->addMenu(QStringLiteral("&Go To..."));
    add(goTo, kCmdGoToAll, QStringLiteral("&All Projectors"));
    add(goTo, kCmdGoToOthers, QStringLiteral("&Others..."));
    add(groupMenu_, kCmdNew, QStringLiteral("&New"));
    add(groupMenu_, kCmdDelete, QStringLiteral("&Delete"));
    add(groupMenu_, kCmdRename, QStringLiteral("&Rename"));
    groupMenu_->addSeparator();
    add(groupMenu_, kCmdSetting, QStringLiteral("Se&tting"));
    groupMenu_->addSeparator();
    add(groupMenu_, kCmdExit, QStringLiteral("E&xit"));

    projectorMenu_ = bar->addMenu(QStringLiteral("&Projector"));
    add(projectorMenu_, kCmdMoveToGroup, QStringLiteral("&Move To Group"));
    projectorMenu_->addSeparator();
    add(projectorMenu_, kCmdCheckAll, QStringLiteral("&Check All"));
    add(projectorMenu_, kCmdUncheckAll, QStringLiteral("&Uncheck All"));
    projectorMenu_->addSeparator();
    add(projectorMenu_, kCmdProperty, QStringLiteral("&Property"));
    projectorMenu_->addSeparator();
    connect(add(projectorMenu_, kCmdAddPjlink, QStringLiteral("Add P&JLink Projector...")),
            &QAction::triggered, this, &CVistrelDlg::AddPjlinkProjectors);

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    QAction* autoSearch = add(tools, kCmdAutoSearch, QStringLiteral("&Auto Search Projector"));
    autoSearch->setCheckable(true);
    autoSearch->setChecked(console_.autoSearchEnabled.load());
    add(tools, kCmdSetInterval, QStringLiteral("Set &Interval"));
    tools->addSeparator();
    add(tools, kCmdFleetReport, QStringLiteral("Fleet &Report..."));
    add(tools, kCmdHealthThresholds, QStringLiteral("&Health Thresholds..."));
    connect(add(tools, kCmdPjlinkPassword, QStringLiteral("PJLink &Password...")),
            &QAction::triggered, this, &CVistrelDlg::SetPjlinkPassword);

    QAction* about = bar->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("cmd%1").arg(kCmdAbout));
    about->setData(kCmdAbout);
    actions_[kCmdAbout] = about;

    connect(about, &QAction::triggered, this, [this] {
        CAboutDlg dialog(this);
        dialog.exec();
    });
    connect(actions_[kCmdExit], &QAction::triggered, this, &QWidget::close);
    connect(actions_[kCmdGoToAll], &QAction::triggered, this, &CVistrelDlg::ShowAllProjectors);
    connect(actions_[kCmdFleetReport], &QAction::triggered, this, &CVistrelDlg::OpenFleetReport);
    connect(actions_[kCmdHealthThresholds], &QAction::triggered, this,
            &CVistrelDlg::OpenHealthThresholds);
    // The check mark is the flag: the menu item shows it while auto search is on.
    connect(autoSearch, &QAction::toggled, this,
            [this](bool on) { console_.autoSearchEnabled.store(on); });
}

void CVistrelDlg::BuildControls() {
    client_ = new ClientArea(this);
    client_->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client_);

    separator_ = new QFrame(client_);
    separator_->setObjectName(QStringLiteral("separator"));
    separator_->setFrameShape(QFrame::HLine);
    separator_->setFrameShadow(QFrame::Sunken);

    // The two gradient bands are painted by the client area; these mark their rectangles.
    topLeftPanel_ = new QWidget(client_);
    topLeftPanel_->setObjectName(QStringLiteral("topLeftPanel"));
    topLeftPanel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    topBar_ = new QWidget(client_);
    topBar_->setObjectName(QStringLiteral("topBar"));
    topBar_->setAttribute(Qt::WA_TransparentForMouseEvents);

    logo_ = new QLabel(client_);
    logo_->setObjectName(QStringLiteral("logo"));
    logo_->setPixmap(AppIcon(IconId::kLogo).pixmap(QSize(kLogoWidth, kBarHeight)));
    logo_->setFixedSize(kLogoWidth, kBarHeight);
    logo_->setAccessibleName(QStringLiteral("Vistrel"));

    groupCaption_ = new CStaticText(QStringLiteral("Group:"), client_);
    groupCaption_->setObjectName(QStringLiteral("groupCaption"));
    sourceCaption_ = new CStaticText(QStringLiteral("Source:"), client_);
    sourceCaption_->setObjectName(QStringLiteral("sourceCaption"));
    for (CStaticText* caption : {groupCaption_, sourceCaption_}) {
        caption->setStyle(QColor(255, 255, 255), QColor(255, 255, 255), 400);
        caption->setAccessibleName(caption->text());
    }

    title_ = new ElidedTitle(client_);
    title_->setObjectName(QStringLiteral("groupTitle"));

    struct ButtonSpec {
        int id;
        IconId icon;
        const char* tip;
    };
    const ButtonSpec specs[] = {
        {kCmdAddGroup, IconId::kAddGroup, "add new group"},
        {kCmdDeleteGroup, IconId::kDeleteGroup, "delete group"},
        {kCmdGroupPane, IconId::kGroupPane, "close or show group list"},
        {kCmdRefreshAll, IconId::kRefresh, "Refresh all projectors"},
        {kCmdCheckAllButton, IconId::kCheckAll, "check all projectors shown"},
        {kCmdUncheckAllButton, IconId::kUncheckAll, "uncheck all projectors"},
        {kCmdPowerOn, IconId::kPowerOn, "power on projectors"},
        {kCmdPowerOff, IconId::kPowerOff, "power off projectors"},
        {kCmdGroupSettingButton, IconId::kGroupSetting, "group setting"},
    };
    for (const ButtonSpec& spec : specs) {
        auto* button = new CMyButton(client_);
        button->setObjectName(QStringLiteral("button%1").arg(spec.id));
        button->setIconId(AppIcon(spec.icon));
        button->setToolTip(QString::fromLatin1(spec.tip));
        button->setAccessibleName(QString::fromLatin1(spec.tip));
        button->resize(kButtonSize, kButtonSize);
        buttons_[spec.id] = button;
    }
    connect(buttons_[kCmdGroupPane], &CMyButton::clicked, this, &CVistrelDlg::ToggleGroupPane);

    sourceSelector_ = new QComboBox(client_);
    sourceSelector_->setObjectName(QStringLiteral("sourceSelector"));
    sourceSelector_->setFocusPolicy(Qt::StrongFocus);
    sourceSelector_->setAccessibleName(QStringLiteral("Source"));

    allButton_ = new AllProjectorsButton(client_);
    allButton_->setObjectName(QStringLiteral("allProjectorsButton"));
    connect(allButton_, &QPushButton::clicked, this, &CVistrelDlg::ShowAllProjectors);

    groupList_ = new CGrpList(client_);
    groupList_->setObjectName(QStringLiteral("groupList"));
    groupList_->setAccessibleName(QStringLiteral("Groups"));
    groupList_->setContextSource(groupMenu_);
    connect(groupList_, &CGrpList::selectionCommand, this, &CVistrelDlg::ShowGroup);
    connect(groupList_, &CGrpList::contextMenuAboutToShow, this,
            [this] { SetCommandEnabled(kCmdSetting, model_->CheckedCount() > 0); });
    connect(groupList_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { emit groupActivated(groupList_->row(item)); });

    model_ = new ProjectorListModel(this);
    model_->SetCheckStore(
        [this](const std::string& mac) {
            return backend_.GetProjectorDword(mac, kCheckedValue, 0) != 0;
        },
        [this](const std::vector<std::pair<std::string, bool>>& changed) {
            std::vector<std::pair<std::string, uint32_t>> values;
            values.reserve(changed.size());
            for (const auto& [mac, checked] : changed)
                values.emplace_back(mac, checked ? 1 : 0);
            backend_.SetProjectorDwords(kCheckedValue, values);
        });
    proxy_ = new ProjectorListProxy(model_, this);
    model_->SetCheckBatchReader([this](const std::vector<std::string>& macs) {
        const std::vector<uint32_t> values = backend_.GetProjectorDwords(macs, kCheckedValue, 0);
        std::vector<bool> ticked(macs.size(), false);
        for (size_t i = 0; i < values.size() && i < ticked.size(); ++i)
            ticked[i] = values[i] != 0;
        return ticked;
    });
    projectorList_ = new QTableView(client_);
    projectorList_->setObjectName(QStringLiteral("projectorList"));
    projectorList_->setAccessibleName(QStringLiteral("Projectors"));
    projectorList_->setModel(proxy_);
    // Tab leaves the list for the next control instead of walking its cells.
    projectorList_->setTabKeyNavigation(false);
    projectorList_->installEventFilter(this);
    projectorList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    projectorList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    projectorList_->setShowGrid(true);
    projectorList_->setSortingEnabled(false);
    projectorList_->setDragEnabled(false);
    projectorList_->setWordWrap(false);
    projectorList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    projectorList_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    projectorList_->verticalHeader()->hide();
    projectorList_->verticalHeader()->setDefaultSectionSize(projectorList_->fontMetrics().height() +
                                                            6);
    QHeaderView* header = projectorList_->horizontalHeader();
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setStretchLastSection(false);
    // A click sorts the view (ascending, descending, discovery order); the rows stay put.
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, &CVistrelDlg::OnHeaderClicked);
    for (int c = 0; c < ProjectorListModel::kColumnCount; ++c) {
        const auto& spec = ProjectorListModel::Columns()[c];
        header->resizeSection(c, spec.width);
        projectorList_->setColumnHidden(c, !spec.visible);
    }
    SizeColumns(kInitialClientWidth - kMargin - (kMargin + kPanelWidth + kPanelGap));
    connect(model_, &ProjectorListModel::ticksChanged, this,
            &CVistrelDlg::OnTicksOrSelectionChanged);
    connect(projectorList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        OnTicksOrSelectionChanged();
        if (SelectedRowCount() > 0)
            SetCommandEnabled(kCmdProperty, true);
    });
    connect(projectorList_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) {
                if (index.isValid())
                    emit projectorActivated(proxy_->SourceRow(index));
            });
    BuildFindBar();
    statusBar_ = new FleetStatusBar(client_);
    connect(statusBar_, &FleetStatusBar::filterRequested, this, [this](HealthFilter filter) {
        // The narrowed count clicked again shows every row.
        SetHealthFilter(filter == healthFilter_ ? HealthFilter::kAll : filter);
    });

    connect(&timer1_, &QTimer::timeout, this, &CVistrelDlg::OnTimer1);
    connect(&timer2_, &QTimer::timeout, this, &CVistrelDlg::OnTimer2);
    connect(&timer4_, &QTimer::timeout, this, &CVistrelDlg::OnTimer4);
    connect(&timer5_, &QTimer::timeout, this, &CVistrelDlg::OnTimer5);
    relocationTimer_.setInterval(kRelocationFollowMs);
    connect(&relocationTimer_, &QTimer::timeout, this, [this] {
        if (!backend_.FollowRelocation())
            relocationTimer_.stop();
    });
}

void CVistrelDlg::SizeColumns(int listWidth) {
    // The longest text each column can hold, in the list's own font. Pixel widths made for
    // another system's font cut a 12-character MAC; these fit whatever the font.
    const QFontMetrics fm(projectorList_->font());
    QString widestHex;
    for (const QChar c : QStringLiteral("0123456789ABCDEF")) {
        if (widestHex.isEmpty() || fm.horizontalAdvance(c) > fm.horizontalAdvance(widestHex[0]))
            widestHex = QString(c);
    }
    QString widestMode = QStringLiteral("None");
    for (const OptionRow& row : kInfoDisplayModeTable) {
        const QString label = QString::fromLatin1(row.label.data(), row.label.size());
        if (fm.horizontalAdvance(label) > fm.horizontalAdvance(widestMode))
            widestMode = label;
    }
    const std::array<QString, ProjectorListModel::kColumnCount> samples{
        widestHex.repeated(12),
        QStringLiteral("255.255.255.255"),
        QString(),
        QString(),
        QStringLiteral("standby"),
        QStringLiteral("S-Video"),
        QStringLiteral("8888"),
        widestMode,
        QStringLiteral("WWWW"),
        QStringLiteral("OFF")};

    QStyle* style = projectorList_->style();
    const int textMargin =
        2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, projectorList_) + 1);
    const int checkBox =
        style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, projectorList_) +
        2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, projectorList_) + 1);
    // The power cell of a projector that stopped answering carries a small icon.
    const int notAnsweringMark =
        style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, projectorList_) + 4;
    constexpr int kSlack = 6;  // grid line and rounding
    QHeaderView* header = projectorList_->horizontalHeader();
    int used = 0;
    std::array<int, ProjectorListModel::kColumnCount> widths{};
    for (int c = 0; c < ProjectorListModel::kColumnCount; ++c) {
        int width = header->sectionSizeHint(c) + kSlack;
        if (!samples[c].isEmpty()) {
            width = std::max(width, fm.horizontalAdvance(samples[c]) + textMargin + kSlack +
                                        (c == ProjectorListModel::kMac ? checkBox : 0) +
                                        (c == ProjectorListModel::kPower ? notAnsweringMark : 0));
        } else {
            width = std::max(width, ProjectorListModel::Columns()[c].width);
        }
        widths[c] = width;
        used += width;
    }
    // What is left of the designed width goes to the two name columns, whose texts are
    // the only ones without a bound short of 32 characters.
    const int frame = 2 * projectorList_->frameWidth() +
                      style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, projectorList_);
    const int spare = listWidth - frame - used;
    if (spare > 1) {
        widths[ProjectorListModel::kGroupName] += spare / 2;
        widths[ProjectorListModel::kProjectorName] += spare - spare / 2 - 1;
    }
    for (int c = 0; c < ProjectorListModel::kColumnCount; ++c)
        header->resizeSection(c, widths[c]);
}

void CVistrelDlg::PlaceInitialControls() {
    const int width = kInitialClientWidth;
    const int barLeft = kMargin + kPanelWidth + kPanelGap;
    const int logoLeft = width - kMargin - kLogoWidth;
    const int buttonTop = kBarTop + (kBarHeight - kButtonSize) / 2;

    topLeftPanel_->setGeometry(kMargin, kBarTop, kPanelWidth, kBarHeight);
    buttons_[kCmdAddGroup]->move(kMargin + 8, buttonTop);
    buttons_[kCmdDeleteGroup]->move(kMargin + 8 + kButtonStep, buttonTop);
    buttons_[kCmdGroupPane]->move(kMargin + 8 + 2 * kButtonStep, buttonTop);

    // The captions are as wide as drawn, or as their text needs at a larger text size.
    const int groupCaptionWidth = std::max(kGroupCaptionWidth, groupCaption_->sizeHint().width());
    groupCaption_->setGeometry(barLeft + 8, buttonTop, groupCaptionWidth, kButtonSize);
    groupCaption_->setFormat(Qt::AlignLeft | Qt::AlignVCenter);
    const int titleLeft = barLeft + 10 + groupCaptionWidth;
    title_->setGeometry(titleLeft, buttonTop + 1, kTitleWidth, kButtonSize - 2);
    buttons_[kCmdRefreshAll]->move(titleLeft + kTitleWidth + 8, buttonTop);

    // The right-hand group sits against the top bar's right end, left of the logo.
    const int comboRight = logoLeft - kMargin;
    const int comboLeft = comboRight - kComboWidth;
    sourceSelector_->setGeometry(comboLeft, buttonTop, kComboWidth, kButtonSize);
    const int sourceCaptionWidth =
        std::max(kSourceCaptionWidth, sourceCaption_->sizeHint().width());
    sourceCaption_->setGeometry(comboLeft - sourceCaptionWidth - 2, buttonTop, sourceCaptionWidth,
                                kButtonSize);
    sourceCaption_->setFormat(Qt::AlignRight | Qt::AlignVCenter);
    int x = comboLeft - sourceCaptionWidth - 12 - kButtonSize;
    for (int id : {kCmdGroupSettingButton, kCmdPowerOff, kCmdPowerOn, kCmdUncheckAllButton,
                   kCmdCheckAllButton}) {
        buttons_[id]->move(x, buttonTop);
        x -= kButtonStep;
    }

    allButton_->setGeometry(kMargin, kPaneTop, kPanelWidth, kAllButtonHeight);
    groupList_->setGeometry(kMargin, kPaneTop + kAllButtonHeight + 2, kPanelWidth,
                            kInitialClientHeight - kMargin - (kPaneTop + kAllButtonHeight + 2));
    const int listTop = kPaneTop + kAllButtonHeight + kFindBarGap;
    projectorList_->setGeometry(
        barLeft, listTop, width - kMargin - barLeft,
        kInitialClientHeight - kMargin - kStatusBarHeight - kStatusBarGap - listTop);
    LayoutClient(QSize(kInitialClientWidth, kInitialClientHeight));
}

void CVistrelDlg::Initialise() {
    PlaceInitialControls();
    resize(kInitialClientWidth, kInitialClientHeight + menuBar()->sizeHint().height());

    SetListColours(true);

    // Groups known to the store, in its order.
    groupNames_ = backend_.LoadGroupNames();
    for (const std::string& name : groupNames_) {
        groupList_->addItem(QString::fromStdString(name));
    }

    // Commands that need a selection or ticks start greyed.
    SetCommandEnabled(kCmdProperty, false);
    SetCommandEnabled(kCmdSetting, false);
    for (int id : {kCmdGroupSettingButton, kCmdPowerOff, kCmdPowerOn}) {
        buttons_[id]->setEnabled(false);
    }
    sourceSelector_->setEnabled(false);
    if (groupList_->count() == 0) {
        SetCommandEnabled(kCmdGoToAll, false);
        SetCommandEnabled(kCmdGoToOthers, false);
        SetCommandEnabled(kCmdMoveToGroup, false);
        buttons_[kCmdDeleteGroup]->setEnabled(false);
    }
    ShowAllProjectors();

    for (const QString& label : SourceLabels())
        sourceSelector_->addItem(label);
    sourceSelector_->setCurrentIndex(sourceIndex_);

    const ConsoleBackend::DiscoveryStatus status = backend_.OpenDiscovery();
    discoveryOpen_ = status.open;
    if (status.open && status.descriptor >= 0) {
        discovery_ = new QSocketNotifier(status.descriptor, QSocketNotifier::Read, this);
        connect(discovery_, &QSocketNotifier::activated, this, &CVistrelDlg::OnDiscoveryReadable);
    }
    if (status.searchDescriptor >= 0) {
        search_ = new QSocketNotifier(status.searchDescriptor, QSocketNotifier::Read, this);
        connect(search_, &QSocketNotifier::activated, this, &CVistrelDlg::OnSearchReadable);
    }
    if (!status.open) {
        // After the window is up, so the operator sees what the message is about.
        QTimer::singleShot(0, this, [this, status] { ReportDiscoveryFailure(status); });
    }
    refreshInterval_ = backend_.GetAppDword(kIntervalValue, kDefaultInterval);
    StartDiscoveryTimer(refreshInterval_);
    thresholds_ = backend_.LoadHealthThresholds();
    health_->SetThresholds(thresholds_);
    ApplyHealthLook();

    timer5_.start(kWatchdogTimerMs);
    backend_.StartPolling();
    backend_.StartRequestWorker();

    model_->Clear();
    timer2_.start(kListTimerMs);
    timer4_.start(kScheduleTimerMs);
}

// --- find bar, sorting and keys ------------------------------------------------------------

void CVistrelDlg::BuildFindBar() {
    findField_ = new QLineEdit(client_);
    findField_->setObjectName(QStringLiteral("findField"));
    findField_->setPlaceholderText(QStringLiteral("Find MAC, IP, group or name"));
    findField_->setAccessibleName(QStringLiteral("Find projectors"));
    findField_->setToolTip(
        QStringLiteral("Show only projectors whose MAC, IP, group or name "
                       "contains this text (Ctrl+F; Esc clears)"));
    findField_->setClearButtonEnabled(true);
    findField_->installEventFilter(this);
    connect(findField_, &QLineEdit::textChanged, proxy_, &ProjectorListProxy::SetFindText);

    shownCount_ = new QLabel(client_);
    shownCount_->setObjectName(QStringLiteral("shownCount"));
    shownCount_->setAccessibleName(QStringLiteral("Projectors shown"));

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        findField_->setFocus(Qt::ShortcutFocusReason);
        findField_->selectAll();
    });

    shownCountTimer_.setSingleShot(true);
    shownCountTimer_.setInterval(0);
    connect(&shownCountTimer_, &QTimer::timeout, this, &CVistrelDlg::UpdateShownCount);
    const auto later = [this] { shownCountTimer_.start(); };
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, later);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, later);
    connect(proxy_, &QAbstractItemModel::modelReset, this, later);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, later);
    connect(model_, &ProjectorListModel::ticksChanged, this, later);
    UpdateShownCount();

    // Tab runs through the group pane, the find field, the list and the source selector.
    setTabOrder(groupList_, findField_);
    setTabOrder(findField_, projectorList_);
    setTabOrder(projectorList_, sourceSelector_);
}

void CVistrelDlg::PlaceFindBar() {
    if (!findField_)
        return;
    const QRect list = projectorList_->geometry();
    const int top = list.top() - kFindBarGap - kAllButtonHeight;
    const int fieldWidth = std::min(kFindFieldWidth, std::max(list.width() / 2, 0));
    findField_->setGeometry(list.left(), top, fieldWidth, kAllButtonHeight);
    shownCount_->setGeometry(list.left() + fieldWidth + 8, top,
                             std::max(list.width() - fieldWidth - 8, 0), kAllButtonHeight);
}

void CVistrelDlg::UpdateShownCount() {
    const int total = model_->RowCount();
    const int shown = proxy_->rowCount();
    QString text = shown == total ? QStringLiteral("%1 shown").arg(total)
                                  : QStringLiteral("%1 of %2 shown").arg(shown).arg(total);
    // Commands reach every ticked projector, also those the find text hides: say so.
    if (shown != total && model_->CheckedCount() > 0) {
        int tickedShown = 0;
        for (int row : ShownSourceRows())
            tickedShown += model_->IsChecked(row) ? 1 : 0;
        if (const int hidden = model_->CheckedCount() - tickedShown; hidden > 0)
            text += QStringLiteral(", %1 ticked not shown").arg(hidden);
    }
    shownCount_->setText(text);
}

void CVistrelDlg::OnHeaderClicked(int column) {
    proxy_->CycleSort(column);
    QHeaderView* header = projectorList_->horizontalHeader();
    header->setSortIndicatorShown(proxy_->sortColumn() >= 0);
    if (proxy_->sortColumn() >= 0)
        header->setSortIndicator(proxy_->sortColumn(), proxy_->sortOrder());
    if (projectorList_->currentIndex().isValid())
        projectorList_->scrollTo(projectorList_->currentIndex());
}

QModelIndex CVistrelDlg::ViewIndex(int sourceRow, int column) const {
    if (sourceRow < 0 || sourceRow >= model_->RowCount())
        return {};
    return proxy_->mapFromSource(model_->index(sourceRow, column));
}

std::vector<int> CVistrelDlg::SelectedSourceRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : projectorList_->selectionModel()->selectedRows())
        rows.push_back(proxy_->SourceRow(index));
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<int> CVistrelDlg::ShownSourceRows() const {
    std::vector<int> rows;
    const int shown = proxy_->rowCount();
    rows.reserve(static_cast<size_t>(shown));
    for (int row = 0; row < shown; ++row)
        rows.push_back(proxy_->SourceRow(proxy_->index(row, 0)));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CVistrelDlg::CheckShownRows() {
    if (proxy_->rowCount() == model_->RowCount())
        model_->SetAllChecked(true);
    else
        model_->SetRowsChecked(ShownSourceRows(), true);
}

bool CVistrelDlg::HandleListKey(QKeyEvent* event) {
    const QModelIndex current = projectorList_->currentIndex();
    if (event->matches(QKeySequence::SelectAll)) {
        CheckShownRows();
        return true;
    }
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (event->key()) {
        case Qt::Key_Space:
            if (current.isValid()) {
                const int row = proxy_->SourceRow(current);
                model_->SetChecked(row, !model_->IsChecked(row));
            }
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // As a double-click on the current row.
            if (current.isValid())
                emit projectorActivated(proxy_->SourceRow(current));
            return true;
        default:
            return false;
    }
}

bool CVistrelDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == projectorList_ && HandleListKey(key))
            return true;
        if (key->key() == Qt::Key_Escape && healthFilter_ != HealthFilter::kAll &&
            !(watched == findField_ && !findField_->text().isEmpty())) {
            SetHealthFilter(HealthFilter::kAll);
            return true;
        }
        if (watched == findField_ && key->key() == Qt::Key_Escape) {
            findField_->clear();
            return true;
        }
    }
    // Keep Ctrl+A for the list's own meaning; the field's own Ctrl+A still selects its text.
    if (event->type() == QEvent::ShortcutOverride && watched == projectorList_) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::SelectAll) || key->key() == Qt::Key_Space) {
            event->accept();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- layout and painting ------------------------------------------------------------------

void CVistrelDlg::LayoutClient(const QSize& client) {
    clientSize_ = client;
    const int width = client.width();
    const int height = client.height();
    separator_->setGeometry(0, 3, width, 2);

    QRect list = groupList_->geometry();
    list.setBottom(height - kMargin - 1);
    groupList_->setGeometry(list);

    QRect projectors = projectorList_->geometry();
    if (!groupPaneVisible_) {
        projectors.moveTopLeft(allButton_->geometry().bottomLeft() + QPoint(0, 1 + kFindBarGap));
    }
    projectors.setRight(width - kMargin - 1);
    projectors.setBottom(height - kMargin - 1 - kStatusBarHeight - kStatusBarGap);
    projectorList_->setGeometry(projectors);
    PlaceFindBar();
    PlaceStatusBar();

    logo_->move(width - kMargin - logo_->width(), kBarTop);
    const int logoLeft = logo_->x();
    const int barLeft = kMargin + kPanelWidth + kPanelGap;
    const int span = logoLeft - barLeft;
    topBar_->setGeometry(barLeft, kBarTop, std::max(span, 0), kBarHeight);
    topBar_->setVisible(span > 0);

    // Controls that would reach the logo are hidden instead of overlapping it.
    auto fits = [logoLeft](const QWidget* w) { return w->geometry().right() < logoLeft; };
    for (QWidget* control : TopBarControls())
        control->setVisible(fits(control));
    sourceCaption_->setVisible(sourceSelector_->isVisibleTo(client_));
    groupCaption_->setVisible(title_->isVisibleTo(client_));
    topLeftPanel_->setVisible(fits(topLeftPanel_));
    client_->update();
}

std::vector<QWidget*> CVistrelDlg::TopBarControls() const {
    std::vector<QWidget*> controls{sourceSelector_};
    for (int id : {kCmdGroupSettingButton, kCmdPowerOff, kCmdPowerOn, kCmdUncheckAllButton,
                   kCmdCheckAllButton, kCmdRefreshAll}) {
        controls.push_back(buttons_.at(id));
    }
    controls.push_back(title_);
    for (int id : {kCmdGroupPane, kCmdDeleteGroup, kCmdAddGroup}) {
        controls.push_back(buttons_.at(id));
    }
    return controls;
}

void CVistrelDlg::PaintClient(QPainter& painter) {
    if (topLeftPanel_->isVisibleTo(client_)) {
        PaintGradient(painter, topLeftPanel_->geometry(), PaletteDark(), PaletteLight());
    }
    if (topBar_->isVisibleTo(client_)) {
        PaintGradient(painter, topBar_->geometry(), PaletteDark(), PaletteLight());
    }
}

void CVistrelDlg::ToggleGroupPane() {
    groupPaneVisible_ = !groupPaneVisible_;
    const int shift = groupList_->width() + kPanelGap;
    QRect projectors = projectorList_->geometry();
    projectors.setLeft(projectors.left() + (groupPaneVisible_ ? shift : -shift));
    projectorList_->setGeometry(projectors);
    PlaceFindBar();
    PlaceStatusBar();
    groupList_->setVisible(groupPaneVisible_);
    allButton_->setVisible(groupPaneVisible_);
}

void CVistrelDlg::SetListColours(bool allMode) {
    const QColor back = allMode ? AllModeBack() : GroupModeBack();
    QPalette pal = projectorList_->palette();
    pal.setColor(QPalette::Base, back);
    pal.setColor(QPalette::AlternateBase, back);
    pal.setColor(QPalette::Text, Qt::black);
    projectorList_->setPalette(pal);
    title_->SetBack(allMode ? AllModeBack() : QColor());
    projectorList_->viewport()->update();
}

QWidget* CVistrelDlg::TitleWidget() const {
    return title_;
}
QString CVistrelDlg::Title() const {
    return title_->Text();
}

// --- modes and the list -------------------------------------------------------------------

std::string CVistrelDlg::SelectedGroupName() const {
    const QListWidgetItem* item = groupList_->currentItem();
    if (!item || !item->isSelected())
        return {};
    return item->text().toStdString();
}

void CVistrelDlg::ShowGroup() {
    const int row = groupList_->currentRow();
    if (row < 0)
        return;
    showAllProjectors_ = false;
    SetCommandEnabled(kCmdGoToAll, true);
    SetCommandEnabled(kCmdDelete, true);
    SetCommandEnabled(kCmdRename, true);
    buttons_[kCmdDeleteGroup]->setEnabled(true);
    if (groupList_->count() > 1) {
        SetCommandEnabled(kCmdGoToOthers, true);
        SetCommandEnabled(kCmdMoveToGroup, true);
    }
    SetListColours(false);
    title_->SetText(groupList_->item(row)->text());
    model_->Clear();
    auto guard = console_.table.Lock();
    RefreshProjectorList(false, guard);
}

void CVistrelDlg::ShowAllProjectors() {
    model_->Clear();
    showAllProjectors_ = true;
    SetListColours(true);
    groupList_->setFocus();
    projectorList_->setFocus();
    title_->SetText(QStringLiteral("All Projectors"));
    SetCommandEnabled(kCmdGoToAll, false);
    SetCommandEnabled(kCmdDelete, false);
    SetCommandEnabled(kCmdRename, false);
    buttons_[kCmdDeleteGroup]->setEnabled(false);
    auto guard = console_.table.Lock();
    RefreshProjectorList(true, guard);
}

void CVistrelDlg::RefreshNow() {
    auto guard = console_.table.Lock();
    RefreshProjectorList(showAllProjectors_, guard);
}

void CVistrelDlg::RefreshProjectorList(bool allProjectors, ProjectorTable::Guard& guard) {
    const std::string group = allProjectors ? std::string() : SelectedGroupName();
    if ((!allProjectors && group.empty()) || guard.Size() == 0) {
        model_->Clear();
        ApplyEmptyListState();
        UpdateHealth();
        return;
    }
    model_->Refresh(guard.Records(), allProjectors ? nullptr : &group);
    // What the events did not tell: a "refresh all" resets freshness without a word.
    health_->Update(guard.Records());
    UpdateHealth();
    AfterWalkEnabling();
    emit listRefreshed();
}

void CVistrelDlg::AfterWalkEnabling() {
    if (model_->RowCount() == 0) {
        ApplyEmptyListState();
        return;
    }
    SetCommandEnabled(kCmdCheckAll, true);
    SetCommandEnabled(kCmdUncheckAll, true);
    const bool selected = SelectedRowCount() > 0;
    SetCommandEnabled(kCmdProperty, selected);
    SetCommandEnabled(kCmdMoveToGroup, selected && groupList_->count() > 0);
}

void CVistrelDlg::ApplyEmptyListState() {
    for (int id : {kCmdMoveToGroup, kCmdCheckAll, kCmdUncheckAll, kCmdProperty}) {
        SetCommandEnabled(id, false);
    }
    for (int id : {kCmdCheckAllButton, kCmdUncheckAllButton, kCmdGroupSettingButton, kCmdPowerOff,
                   kCmdPowerOn}) {
        buttons_[id]->setEnabled(false);
    }
    sourceSelector_->setEnabled(false);
}

void CVistrelDlg::OnTicksOrSelectionChanged() {
    const bool ticked = model_->CheckedCount() > 0;
    SetCommandEnabled(kCmdSetting, ticked);
    for (int id : {kCmdGroupSettingButton, kCmdPowerOff, kCmdPowerOn}) {
        buttons_[id]->setEnabled(ticked);
    }
    sourceSelector_->setEnabled(ticked);
    SetCommandEnabled(kCmdMoveToGroup, SelectedRowCount() > 0 && groupList_->count() > 0);
    buttons_[kCmdCheckAllButton]->setEnabled(true);
    buttons_[kCmdUncheckAllButton]->setEnabled(true);
}

int CVistrelDlg::SelectedRowCount() const {
    return static_cast<int>(projectorList_->selectionModel()->selectedRows().size());
}

void CVistrelDlg::SetCommandEnabled(int commandId, bool enabled) {
    if (QAction* action = Action(commandId))
        action->setEnabled(enabled);
}

QAction* CVistrelDlg::Action(int commandId) const {
    auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

CMyButton* CVistrelDlg::Button(int commandId) const {
    auto it = buttons_.find(commandId);
    return it == buttons_.end() ? nullptr : it->second;
}

// --- shutdown -------------------------------------------------------------------------------

void CVistrelDlg::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    for (QTimer* timer : {&timer1_, &timer2_, &timer4_, &timer5_, &relocationTimer_})
        timer->stop();
    // Requests nobody waits for ("set=network") must not hold up the exit.
    console_.background.CancelAll();
    backend_.StopPolling(kThreadGrace);
    backend_.StopRequestWorker(kThreadGrace);
    for (QSocketNotifier** notifier : {&discovery_, &search_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            delete *notifier;
            *notifier = nullptr;
        }
    }
}

void CVistrelDlg::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void CVistrelDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape never close the console.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            SetHealthFilter(HealthFilter::kAll);
            event->accept();
            return;
        default:
            QMainWindow::keyPressEvent(event);
    }
}

void CVistrelDlg::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && statusBar_)
        ApplyHealthLook();
}

// --- fleet health ----------------------------------------------------------------------------

void CVistrelDlg::PlaceStatusBar() {
    if (!statusBar_)
        return;
    const QRect list = projectorList_->geometry();
    statusBar_->setGeometry(list.left(), list.bottom() + 1 + kStatusBarGap, list.width(),
                            kStatusBarHeight);
}

}  // namespace vistrel
