#include "app/OptionsDialog.h"

#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/ComboBar.h"
#include "ui/TextButton.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kTitle = 40400;
constexpr int kPageTooltip = 50100;
constexpr int kFirstOption = 1;  // bytes 1..15 belong to this dialog
constexpr int kLastOption = 15;
constexpr int kGrabLetterboxRow = 33081;
constexpr int kPlayLetterboxRow = 33091;
constexpr int kColumnCountRow = 33088;
constexpr int kMaxColumns = 10;

// What Cancel sends after it put the old values back, in this order.
constexpr int kCancelNotices[] = {
    cmd::kGrabberMotionSettings, cmd::kLightboxChanged,        cmd::kEditorColumnCount,
    cmd::kFrameRateChanged,      cmd::kGrabberDisplaySettings, cmd::kGrabberRefresh,
    cmd::kPlayerDisplaySettings, cmd::kPlayerRefresh,          cmd::kEditorRefresh,
};

const std::vector<int> kLetterboxNotices = {cmd::kGrabberDisplaySettings, cmd::kGrabberRefresh,
                                            cmd::kPlayerDisplaySettings, cmd::kPlayerRefresh};

}  // namespace

struct COptionsDialog::RowSpec {
    int page;
    int command;
    int labelId;
    int setting;
    QStringList offered;  // empty: every choice of the setting
    std::vector<int> notices;
    int tooltipId;
    bool numeric;
};

const std::vector<COptionsDialog::RowSpec>& COptionsDialog::Specs() {
    static const std::vector<RowSpec> specs = {
        {kGrabberPage, 33081, 40401, GrabLetterbox, {}, kLetterboxNotices, 50101, false},
        {kGrabberPage,
         33082,
         40402,
         Lightbox,
         {"off", "last grabbed", "last 3 grabs", "select image", "rotoscope"},
         {cmd::kLightboxChanged},
         50102,
         false},
        {kGrabberPage, 33083, 40403, Orientation, {}, {cmd::kGrabberRefresh}, 50103, false},
        {kGrabberPage,
         33084,
         40404,
         MotionCommand,
         {},
         {cmd::kGrabberMotionSettings},
         50104,
         false},
        {kGrabberPage, 33085, 40405, GrabSound, {"none", "beep", "voice"}, {}, 50105, false},
        {kEditorPage,
         33086,
         40406,
         CellInfo,
         {"off", "counter", "thumbnail", "miniature"},
         {},
         50106,
         false},
        {kEditorPage, 33087, 40407, AutoTiming, {}, {}, 50107, false},
        {kEditorPage, 33088, 40408, ColumnCount, {}, {cmd::kEditorColumnCount}, 50108, true},
        {kEditorPage,
         33089,
         40409,
         FrameStart,
         {},
         {cmd::kPlayerDisplaySettings, cmd::kEditorRefresh, cmd::kPlayerRefresh},
         50109,
         true},
        {kEditorPage, 33090, 40410, DefTiming, {}, {}, 50110, true},
        {kPlayerPage, 33091, 40401, PlayLetterbox, {}, kLetterboxNotices, 50101, false},
        {kPlayerPage,
         33092,
         40411,
         Overlay,
         {"none", "counter"},
         {cmd::kPlayerRefresh},
         50111,
         false},
        {kPlayerPage, 33093, 40412, PlayOnce, {}, {}, 50112, false},
        {kPlayerPage, 33094, 40413, FrameRate, {}, {cmd::kFrameRateChanged}, 50113, false},
        {kPlayerPage, 33095, 40414, LoopMode, {}, {}, 50114, false},
    };
    return specs;
}

int COptionsDialog::PageIndex(int pageTextId) {
    switch (pageTextId) {
        case kEditorPage:
            return 1;
        case kPlayerPage:
            return 2;
        default:
            return 0;
    }
}

COptionsDialog::COptionsDialog(CSettings& settings, ICommandSink& sink, QWidget* owner)
    : CBasicDialog(owner), settings_(settings), sink_(sink) {
    pageSelector_ = new CComboBar(kPageCommand, QString(), StringText(kPageTooltip),
                                  CComboBar::Kind::kList, Colors(), this);
    pageSelector_->SetItems(
        {StringText(kGrabberPage), StringText(kEditorPage), StringText(kPlayerPage)});
    connect(pageSelector_, &CComboBar::Command, this, &COptionsDialog::SendDialogCommand);
    for (const RowSpec& spec : Specs()) {
        auto* row = new CComboBar(
            spec.command, StringText(spec.labelId), StringText(spec.tooltipId),
            spec.numeric ? CComboBar::Kind::kNumber : CComboBar::Kind::kList, Colors(), this);
        if (spec.numeric) {
            row->SetNumberRange(1, spec.command == kColumnCountRow ? kMaxColumns : 255);
        } else {
            // The list shows whole choices; the row shows them short.
            QStringList choices = CSettings::ChoiceTexts(spec.setting, false);
            if (!spec.offered.isEmpty()) {
                choices.removeIf([&spec](const QString& choice) {
                    return !spec.offered.contains(CSettings::ShortText(choice));
                });
            }
            row->SetItems(choices);
            row->SetVisibleRows(static_cast<int>(choices.size()));
            row->SetShortForm(true);
        }
        connect(row, &CComboBar::Command, this, &COptionsDialog::SendDialogCommand);
        rows_.push_back(row);
    }
    // Made after the rows, so that Tab goes down the rows (switch, then
    // value) and then to OK and Cancel.
    SetButtonSet(3);
    SelectPage(kGrabberPage);
}

COptionsDialog::~COptionsDialog() = default;

CComboBar* COptionsDialog::Row(int command) const {
    for (CComboBar* row : rows_) {
        if (row->CommandId() == command) return row;
    }
    return nullptr;
}

int COptionsDialog::SettingOf(int command) const {
    for (const RowSpec& spec : Specs()) {
        if (spec.command == command) return spec.setting;
    }
    return -1;
}

void COptionsDialog::Open(int pageTextId) {
    if (!IsOpen()) {
        const int unit = DialogUnit();
        const int rowHeight = LineHeight() + 6;
        const int clientHeight = (kRowsPerPage + 1) * (rowHeight + 2) + rowHeight / 2 + unit / 2;
        Create(StringText(kTitle), WindowWidth(4 * unit), WindowHeight(clientHeight));
    }
    SelectPage(pageTextId);
}

void COptionsDialog::OnOpen() {
    settings_.SaveRange(kFirstOption, kLastOption);
    Reload();
    pageSelector_->Field()->setFocus(Qt::OtherFocusReason);
}

void COptionsDialog::SelectPage(int pageTextId) {
    page_ = Specs()[static_cast<std::size_t>(PageIndex(pageTextId) * kRowsPerPage)].page;
    pageSelector_->SetText(StringText(page_));
    for (std::size_t i = 0; i < rows_.size(); ++i)
        rows_[i]->setVisible(Specs()[i].page == page_);
    LayoutClient(ClientRect());
}

void COptionsDialog::ShowRow(const RowSpec& spec) {
    if (CComboBar* row = Row(spec.command)) row->SetText(settings_.TextOf(spec.setting, true));
}

void COptionsDialog::Reload() {
    for (const RowSpec& spec : Specs())
        ShowRow(spec);
}

void COptionsDialog::RowChanged(int command) {
    CComboBar* row = Row(command);
    const auto spec = std::find_if(Specs().begin(), Specs().end(),
                                   [command](const RowSpec& s) { return s.command == command; });
    if (row == nullptr || spec == Specs().end()) return;
    if (spec->numeric) {
        // Whatever was typed becomes a number of at least 1 (at most 10
        // columns); the row then shows what the record holds.
        int value = row->Text().trimmed().toInt();
        if (value < 1) value = 1;
        if (command == kColumnCountRow && value > kMaxColumns) value = kMaxColumns;
        settings_.Set(spec->setting, value);
    } else if (command == kGrabLetterboxRow || command == kPlayLetterboxRow) {
        const QString text = row->Text();
        settings_.SetFromText(GrabLetterbox, text);
        settings_.SetFromText(PlayLetterbox, text);
        CComboBar* other =
            Row(command == kGrabLetterboxRow ? kPlayLetterboxRow : kGrabLetterboxRow);
        other->SetText(settings_.TextOf(PlayLetterbox, true));
    } else {
        settings_.SetFromText(spec->setting, row->Text());
    }
    ShowRow(*spec);
    for (int notice : spec->notices)
        sink_.SendCommand(notice);
}

void COptionsDialog::Cancel() {
    settings_.RestoreRange(kFirstOption, kLastOption);
    // With changes stored as they happen, the stored record got the values
    // being cancelled: store the restored ones too.
    if (settings_.Get(AutoStore) == 1) settings_.Store();
    for (int notice : kCancelNotices)
        sink_.SendCommand(notice);
}

bool COptionsDialog::OnCommand(int id) {
    if (id == cmd::kOptionsReload) {
        Reload();
        return true;
    }
    if (id == kPageCommand) {
        const int index = static_cast<int>(pageSelector_->Items().indexOf(pageSelector_->Text()));
        SelectPage(index == 1 ? kEditorPage : index == 2 ? kPlayerPage : kGrabberPage);
        return true;
    }
    if (SettingOf(id) >= 0) {
        RowChanged(id);
        return true;
    }
    if (id == kCancel && IsOpen()) Cancel();
    return false;  // OK, Cancel and the close box end the dialog
}

void COptionsDialog::LayoutClient(const QRect& client) {
    if (pageSelector_ == nullptr) return;  // the frame lays out before the rows exist
    const int rowHeight = LineHeight() + 6;
    const int labelWidth = 5 * LineHeight();
    QRect slot(client.left() + 2, client.top() + rowHeight / 4, client.width() - 4, rowHeight);
    pageSelector_->SetLabelWidth(labelWidth);
    pageSelector_->setGeometry(slot);
    slot.translate(0, rowHeight + 2 + rowHeight / 4);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (Specs()[i].page != page_) continue;
        rows_[i]->SetLabelWidth(labelWidth);
        rows_[i]->setGeometry(slot);
        slot.translate(0, rowHeight + 2);
    }
}

}  // namespace kolvane
