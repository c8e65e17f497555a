#include "ui/item_editor/item_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <iterator>
#include <string_view>

#include "core/language/ui_text_ids.h"
#include "engine/job_command.h"
#include "model/item_fields.h"
#include "model/local_path.h"
#include "model/url_template.h"
#include "model/url_template_parse.h"
#include "platform/file_util.h"
#include "ui/app/ui_text.h"
#include "ui/dialogs/rule_editor_dialog.h"
#include "ui/dialogs/test_file_name_dialog.h"
#include "ui/dialogs/upload_dialog.h"
#include "ui/widgets/dialog_buttons.h"
#include "ui/widgets/number_field.h"

namespace kov {

namespace {

using Field = ItemEditor::Field;
using Button = ItemEditor::Button;

constexpr std::time_t kDay = 24 * 60 * 60;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The content categories of the list, in value order; names of formats, not translated.
const char* const kContentTypes[] = {"ANY",   "Text,HTML",       "Image", "Video",
                                     "Audio", "App(zip,rar...)", "VRML",  "Other"};

// Each editable field: the key of its declaration (model/item_fields.h) and where the item
// holds it. ConType (16 bits) and the groups have no member here; the groups have no key.
struct Binding {
    Field field;
    std::string_view key;
    std::string UrlItem::*text = nullptr;
    std::int32_t UrlItem::*number = nullptr;
};

using U = UrlItem;
constexpr Binding kBindings[] = {
    {Field::Name, "Name", &U::Name},
    {Field::Url, "Url", &U::Url},
    {Field::Referer, "Referer", &U::Referer},
    {Field::Dest, "Dest", &U::Dest},
    {Field::Interval, "interval", nullptr, &U::interval},
    {Field::DayShift, "dayShift", nullptr, &U::dayShift},
    {Field::Days, "days", nullptr, &U::days},
    {Field::UserName, "UserName", &U::UserName},
    {Field::UserPsw, "UserPsw", &U::UserPsw},
    {Field::ConType, "ConType"},
    {Field::UpdateMode, "UpdateMode", nullptr, &U::UpdateMode},
    {Field::WithPics, "WithPics", nullptr, &U::WithPics},
    {Field::WithLinks, "WithLinks", nullptr, &U::WithLinks},
    {Field::NestedDepth, "NestedDepth", nullptr, &U::NestedDepth},
    {Field::RipBanners, "RipBanners", nullptr, &U::RipBanners},
    {Field::ClearFolder, "ClearFolder", nullptr, &U::ClearFolder},
    {Field::NfSize, "nfsize", nullptr, &U::nfsize},
    {Field::NfString, "nfString", &U::nfString},
    {Field::NumBased, "NumBased", nullptr, &U::NumBased},
    {Field::CurrentNum, "CurrentNum", nullptr, &U::CurrentNum},
    {Field::StopNumber, "StopNumber", nullptr, &U::StopNumber},
    {Field::Tolerance, "Tolerance", nullptr, &U::Tolerance},
    {Field::Cmd, "Cmd", &U::Cmd},
    {Field::EnableReplace, "EnableReplace", nullptr, &U::EnableReplace},
    {Field::Disabled, "Disabled", nullptr, &U::Disabled},
    {Field::Connections, "Connections", nullptr, &U::Connections},
    {Field::Rules, ""},
    {Field::Upload, ""},
    {Field::Distributed, ""},
};

constexpr bool InFieldOrder() {
    for (std::size_t i = 0; i < std::size(kBindings); ++i) {
        if (static_cast<std::size_t>(kBindings[i].field) != i) return false;
    }
    return std::size(kBindings) == static_cast<std::size_t>(Field::Count);
}
static_assert(InFieldOrder(), "kBindings follows ItemEditor::Field");

const Binding& BindingOf(Field field) {
    return kBindings[static_cast<std::size_t>(field)];
}

const ItemField& Declared(Field field) {
    return ItemFieldOf(BindingOf(field).key);
}

int CapacityOf(Field field) {
    return static_cast<int>(Declared(field).max);
}

int Size(const std::string& text) {
    return static_cast<int>(text.size());
}

// Copies one field (or field group) from one item to another.
void CopyField(Field field, const UrlItem& f, UrlItem& t) {
    const Binding& b = BindingOf(field);
    if (b.text) {
        t.*b.text = f.*b.text;
    } else if (b.number) {
        t.*b.number = f.*b.number;
    } else if (field == Field::ConType) {
        t.ConType = f.ConType;
    } else if (field == Field::Rules) {
        t.rules = f.rules;
    } else if (field == Field::Upload) {
        t.Upload = f.Upload;
        t.UploadServer = f.UploadServer;
        t.UploadFolder = f.UploadFolder;
        t.UploadLogin = f.UploadLogin;
        t.UploadPassword = f.UploadPassword;
    } else if (field == Field::Distributed) {
        CopyPartFields(f, t);
    }
}

std::string* TextOf(Field field, UrlItem& item) {
    const Binding& b = BindingOf(field);
    return b.text ? &(item.*b.text) : nullptr;
}

std::int32_t* NumberOf(Field field, UrlItem& item) {
    const Binding& b = BindingOf(field);
    return b.number ? &(item.*b.number) : nullptr;
}

}  // namespace

ItemEditor::ItemEditor(ItemEditorSetup setup, ItemEditorHooks hooks, QWidget* parent)
    : QDialog(parent),
      m_item(setup.item),
      m_setup(std::move(setup)),
      m_hooks(std::move(hooks)),
      m_cmdStop(std::make_shared<std::atomic<int>>(0)) {
    if (m_setup.multiple) {
        setWindowTitle(UiText(kGuiTitleMultipleUrl, "Multiple URLs editing"));
    } else if (!m_item.Name.empty()) {
        setWindowTitle(Q(m_item.Name));
    } else {
        setWindowTitle(m_setup.isNew ? UiText(kGuiTitleURLAdd, "New URL")
                                     : UiText(kGuiTitleURLEdit, "Item Properties"));
    }
    Build();
    Refresh();
    m_initialised = true;
}

ItemEditor::~ItemEditor() {
    // The fields outlive this part of the editor: a focused one that loses the focus while the
    // dialog goes away must not call back into it.
    for (QWidget* child : findChildren<QWidget*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    m_cmdStop->store(2);  // stop now
    for (std::thread& t : m_commands)
        t.join();
}

QLineEdit* ItemEditor::AddText(Field field, const std::string& text) {
    auto* edit = new QLineEdit(this);
    // A longer stored text is shown whole: cutting it would change the item unasked.
    edit->setMaxLength(std::max(CapacityOf(field), Size(text)));
    edit->setText(Q(text));
    m_controls[Index(field)] = edit;
    connect(edit, &QLineEdit::textEdited, this, [this, field] { Edited(field); });
    return edit;
}

NumberField* ItemEditor::AddNumber(Field field, std::int32_t value) {
    const ItemField& declared = Declared(field);
    auto* number = new NumberField(static_cast<int>(declared.editMin),
                                   static_cast<int>(declared.editMax), this);
    number->SetValue(value);
    m_controls[Index(field)] = number;
    connect(number, &NumberField::edited, this, [this, field] { Edited(field); });
    return number;
}

QCheckBox* ItemEditor::AddCheck(Field field, int textId, const char* english, std::int32_t value) {
    auto* check = new QCheckBox(UiText(textId, english), this);
    check->setChecked(value != 0);
    m_controls[Index(field)] = check;
    connect(check, &QCheckBox::toggled, this, [this, field] { Edited(field); });
    return check;
}

QPushButton* ItemEditor::AddButton(Button button, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setAutoDefault(false);
    m_buttons[Index(button)] = b;
    return b;
}

QLabel* ItemEditor::Label(int textId, const char* english) {
    return new QLabel(UiText(textId, english), this);
}

void ItemEditor::Note(EditorControl control, std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets)
        m_labels[Index(control)].push_back(w);
}

QFormLayout* ItemEditor::Group(QBoxLayout* column, int textId, const char* english, int stretch) {
    auto* box = new QGroupBox(textId ? UiText(textId, english) : QString(), this);
    auto* form = new QFormLayout(box);
    if (textId) form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    column->addWidget(box, stretch);
    return form;
}

void ItemEditor::Build() {
    auto* top = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    top->addLayout(columns);
    // The item's definition.
    QFormLayout* definition = Group(columns, kGuiURLdefinition, "URL definition", 3);
    AddAddressRows(definition);
    AddDateRows(definition);
    AddChoiceRows(definition);
    auto* right = new QVBoxLayout;
    columns->addLayout(right, 2);
    AddSeriesBox(right);
    AddPageBoxes(right);
    AddAfterBox(right);
    right->addStretch();
    AddBottom(top);
    ConnectButtons();
}

void ItemEditor::AddAddressRows(QFormLayout* def) {
    const UrlItem& it = m_item;
    QLabel* nameLabel = Label(kGuiURLName, "Name");
    def->addRow(nameLabel, AddText(Field::Name, it.Name));
    connect(static_cast<QLineEdit*>(Control(Field::Name)), &QLineEdit::editingFinished, this,
            [this] { NameLeft(); });
    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(AddText(Field::Url, it.Url));
    Control(Field::Url)->setToolTip(UiToolTip(kTipURL));
    urlRow->addWidget(AddButton(Button::UrlTest, QStringLiteral("?")));
    ButtonOf(Button::UrlTest)->setToolTip(UiToolTip(kTipURLTest));
    ButtonOf(Button::UrlTest)->setFixedWidth(ButtonOf(Button::UrlTest)->sizeHint().height() + 8);
    QLabel* urlLabel = Label(kGuiColumnURL, "URL");
    def->addRow(urlLabel, urlRow);
    QLabel* refererLabel = Label(kGuiPrefReferer, "Referer");
    def->addRow(refererLabel, AddText(Field::Referer, it.Referer));
    Control(Field::Referer)->setToolTip(UiToolTip(kTipReferer));
    Note(EditorControl::Name, {nameLabel, Control(Field::Name)});
    Note(EditorControl::Url, {urlLabel, Control(Field::Url)});
    Note(EditorControl::Referer, {refererLabel, Control(Field::Referer)});

    m_dest = new QComboBox(this);
    m_dest->setEditable(true);
    m_dest->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& p : m_setup.recentPaths)
        m_dest->addItem(Q(p));
    m_dest->lineEdit()->setMaxLength(std::max(CapacityOf(Field::Dest), Size(it.Dest)));
    m_dest->setEditText(Q(it.Dest));
    m_dest->setToolTip(UiToolTip(kGuiURLSaveTo));
    m_controls[Index(Field::Dest)] = m_dest;
    connect(m_dest, &QComboBox::editTextChanged, this, [this] { Edited(Field::Dest); });
    auto* destRow = new QHBoxLayout;
    destRow->addWidget(m_dest, 1);
    destRow->addWidget(AddButton(Button::FileNameTest, QStringLiteral("A.txt")));
    destRow->addWidget(AddButton(Button::Folder, QString()));
    ButtonOf(Button::Folder)->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    ButtonOf(Button::Folder)->setToolTip(UiToolTip(kTipSaveDir));
    def->addRow(Label(kGuiURLSaveTo, "Save to..."), destRow);
}

void ItemEditor::AddDateRows(QFormLayout* def) {
    const UrlItem& it = m_item;
    auto* loginRow = new QHBoxLayout;
    loginRow->addWidget(AddText(Field::UserName, it.UserName));
    loginRow->addWidget(Label(kGuiPassword, "Password"));
    QLineEdit* password = AddText(Field::UserPsw, it.UserPsw);
    password->setEchoMode(QLineEdit::Password);
    loginRow->addWidget(password);
    def->addRow(Label(kGuiLogin, "Login"), loginRow);

    auto* onceRow = new QHBoxLayout;
    onceRow->addWidget(AddNumber(Field::Interval, it.interval));
    onceRow->addWidget(Label(kGuiURLdays, "days"));
    onceRow->addStretch();
    def->addRow(Label(kGuiURLOncePer, "Once per"), onceRow);
    NumberField* shift = AddNumber(Field::DayShift, it.dayShift);
    shift->SetStepRange(-600, 600);
    QLabel* shiftLabel = Label(kGuiURLShiftDays, "Shift, days");
    def->addRow(shiftLabel, shift);
    QLabel* daysLabel = Label(kGuiURLDaysBack, "Days back");
    def->addRow(daysLabel, AddNumber(Field::Days, it.days));
    Note(EditorControl::DateValues,
         {shiftLabel, daysLabel, Control(Field::DayShift), Control(Field::Days)});
}

void ItemEditor::AddChoiceRows(QFormLayout* def) {
    const UrlItem& it = m_item;
    auto* conType = new QComboBox(this);
    for (int i = 0; i < 8; ++i)
        conType->addItem(QString::fromLatin1(kContentTypes[i]), i);
    conType->setCurrentIndex(std::clamp<int>(it.ConType, 0, 7));
    m_controls[Index(Field::ConType)] = conType;
    connect(conType, &QComboBox::currentIndexChanged, this, [this] { Edited(Field::ConType); });
    QLabel* typeLabel = Label(kGuiURLContentType, "Content type");
    def->addRow(typeLabel, conType);
    Note(EditorControl::ContentType, {typeLabel, conType});
    auto* update = new QComboBox(this);
    update->addItem(UiText(kGuiURLUpdate1, "Auto (Resume,Update)"), kUpdateAuto);
    update->addItem(UiText(kGuiURLUpdate2, "Always overwrite)"), kUpdateOverwrite);
    update->addItem(UiText(kGuiURLUpdate3, "Always skip if file exist"), kUpdateSkip);
    update->setCurrentIndex(std::clamp<int>(it.UpdateMode, 0, 2));
    m_controls[Index(Field::UpdateMode)] = update;
    connect(update, &QComboBox::currentIndexChanged, this, [this] { Edited(Field::UpdateMode); });
    def->addRow(Label(kGuiURLUpdateMode, "Update/Overwrite mode"), update);
    def->addRow(Label(kGuiURLConnections, "Connections per file (0: preferences)"),
                AddNumber(Field::Connections, it.Connections));
}

// The number series.
void ItemEditor::AddSeriesBox(QBoxLayout* column) {
    const UrlItem& it = m_item;
    QFormLayout* series = Group(column, kGuiURLSeries, "Series");
    series->addRow(AddCheck(Field::NumBased, kGuiURLSeries, "Series", it.NumBased));
    auto* numBased = static_cast<QCheckBox*>(Control(Field::NumBased));
    numBased->setText(UiText(kGuiURLSeries, "Series") + QStringLiteral(" (%u)"));
    connect(numBased, &QCheckBox::clicked, this, [this](bool on) { SeriesSwitched(on); });
    QLabel* nextLabel = Label(kGuiURLNextNum, "Next NN");
    QLabel* lastLabel = Label(kGuiURLEndNum, "Last NN");
    QLabel* toleranceLabel = Label(kGuiURLTolerance, "Tolerance");
    series->addRow(nextLabel, AddNumber(Field::CurrentNum, it.CurrentNum));
    series->addRow(lastLabel, AddNumber(Field::StopNumber, it.StopNumber));
    for (Field f : {Field::CurrentNum, Field::StopNumber})
        static_cast<NumberField*>(Control(f))->SetStepRange(0, 32767);
    series->addRow(toleranceLabel, AddNumber(Field::Tolerance, it.Tolerance));
    Note(EditorControl::Series, {numBased});
    Note(EditorControl::SeriesValues, {nextLabel, lastLabel, Control(Field::CurrentNum),
                                       Control(Field::StopNumber), Control(Field::Tolerance)});
    Note(EditorControl::Tolerance, {toleranceLabel, Control(Field::Tolerance)});
}

// Pages and what is kept of them; when a file counts as not found.
void ItemEditor::AddPageBoxes(QBoxLayout* column) {
    const UrlItem& it = m_item;
    QFormLayout* page = Group(column, 0, nullptr);
    page->addRow(AddCheck(Field::WithPics, kGuiURLFullSnapShot,
                          "Full page snapshot (pictures, frames)", it.WithPics));
    page->addRow(
        AddCheck(Field::WithLinks, kGuiURLDocMode, "DOC-mode (contents + chapters)", it.WithLinks));
    QLabel* depthLabel = Label(kGuiURLNestedDepth, "Nested depth");
    page->addRow(depthLabel, AddNumber(Field::NestedDepth, it.NestedDepth));
    Note(EditorControl::NestedDepth, {depthLabel, Control(Field::NestedDepth)});
    page->addRow(AddCheck(Field::RipBanners, kGuiPrefRipBanners, "Rip banners", it.RipBanners));
    Control(Field::RipBanners)->setToolTip(UiToolTip(kTipUrlRipBanner));
    page->addRow(AddCheck(Field::ClearFolder, kGuiUrlClearFolder,
                          "Clear destination folder on start", it.ClearFolder));

    QFormLayout* notFound = Group(column, kGuiURLDocNotFoundPrm, "Document not found if");
    notFound->addRow(Label(kGuiURLDocNotFoundSize, "File size less than"),
                     AddNumber(Field::NfSize, it.nfsize));
    QLabel* containsLabel = Label(kGuiURLDocNotFoundString, "Contains string");
    notFound->addRow(containsLabel, AddText(Field::NfString, it.nfString));
    Note(EditorControl::PageOptions,
         {containsLabel, Control(Field::WithPics), Control(Field::RipBanners),
          Control(Field::WithLinks), Control(Field::NfString)});
}

// Search and replace, and what follows a download.
void ItemEditor::AddAfterBox(QBoxLayout* column) {
    QFormLayout* after = Group(column, kGuiUrlAfterDl, "After download");
    auto* rulesRow = new QHBoxLayout;
    rulesRow->addWidget(
        AddButton(Button::SearchReplace, UiText(kGuiURLSearchReplace, "Search-Replace...")));
    rulesRow->addWidget(AddButton(Button::ApplyRules, QString()));
    ButtonOf(Button::ApplyRules)->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ButtonOf(Button::ApplyRules)->setToolTip(UiToolTip(kTipInstantReplace));
    rulesRow->addWidget(AddButton(Button::RestoreFolder, QString()));
    ButtonOf(Button::RestoreFolder)->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ButtonOf(Button::RestoreFolder)->setToolTip(UiToolTip(kTipUndoReplace));
    rulesRow->addStretch();
    after->addRow(rulesRow);
    after->addRow(AddCheck(Field::EnableReplace, kGuiURLEnableReplace,
                           "replace immediately after download", m_item.EnableReplace));
    auto* cmdRow = new QHBoxLayout;
    cmdRow->addWidget(AddText(Field::Cmd, m_item.Cmd));
    Control(Field::Cmd)->setToolTip(UiToolTip(kTipURLExecAfterDl));
    cmdRow->addWidget(AddButton(Button::RunCmd, QString()));
    ButtonOf(Button::RunCmd)->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    after->addRow(Label(kGuiURLAfterDlrun, "Run Cmd"), cmdRow);
    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(
        AddButton(Button::Upload, UiText(kGuiURLAfterDlUpload, "Upload to FTP server...")));
    sendRow->addWidget(AddButton(Button::Distributed, UiText(kGuiDistributed, "Distributed")));
    ButtonOf(Button::Distributed)->setToolTip(UiToolTip(kTipBtnMkDistributed));
    sendRow->addWidget(AddButton(Button::SendQuery, UiText(kGuiSendCEQuery, "Send query")));
    after->addRow(sendRow);
    Note(EditorControl::UrlTest,
         {ButtonOf(Button::UrlTest), ButtonOf(Button::FileNameTest), ButtonOf(Button::RunCmd)});
    Note(EditorControl::PageOptions,
         {ButtonOf(Button::ApplyRules), ButtonOf(Button::RestoreFolder)});
    Note(EditorControl::Replace, {ButtonOf(Button::SearchReplace), Control(Field::EnableReplace)});
    Note(EditorControl::SendQuery, {ButtonOf(Button::SendQuery)});
    Note(EditorControl::Distributed, {ButtonOf(Button::Distributed)});
    Note(EditorControl::Upload, {ButtonOf(Button::Upload)});
}

// What the template gives today, and why OK was refused.
void ItemEditor::AddBottom(QVBoxLayout* top) {
    m_preview = new QLabel(this);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_preview->setWordWrap(true);
    m_preview->setObjectName("preview");
    top->addWidget(m_preview);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(
        AddCheck(Field::Disabled, kGuiURLDisable, "Disable URL download", m_item.Disabled));
    m_problem = new QLabel(this);
    m_problem->setStyleSheet(QStringLiteral("color: #d02020;"));
    bottom->addWidget(m_problem, 1);
    QDialogButtonBox* box = MakeOkCancelButtons(this);
    m_ok = box->button(QDialogButtonBox::Ok);
    bottom->addWidget(box);
    top->addLayout(bottom);
}

void ItemEditor::ConnectButtons() {
    connect(ButtonOf(Button::UrlTest), &QAbstractButton::clicked, this, [this] {
        if (m_hooks.useRecentPath) m_hooks.useRecentPath(m_item.Dest);
        if (m_hooks.testUrl) m_hooks.testUrl(this, m_item);
    });
    connect(ButtonOf(Button::FileNameTest), &QAbstractButton::clicked, this,
            [this] { TestFileNameDialog(Q(LocalPathNow()), this).exec(); });
    connect(ButtonOf(Button::Folder), &QAbstractButton::clicked, this, [this] { ChooseFolder(); });
    connect(ButtonOf(Button::SearchReplace), &QAbstractButton::clicked, this,
            [this] { EditRules(0); });
    connect(ButtonOf(Button::ApplyRules), &QAbstractButton::clicked, this,
            [this] { EditRules(1); });
    connect(ButtonOf(Button::RestoreFolder), &QAbstractButton::clicked, this,
            [this] { EditRules(2); });
    connect(ButtonOf(Button::Upload), &QAbstractButton::clicked, this, [this] { EditUpload(); });
    connect(ButtonOf(Button::Distributed), &QAbstractButton::clicked, this, [this] {
        if (m_hooks.distributed && m_hooks.distributed(this, m_item)) Edited(Field::Distributed);
    });
    connect(ButtonOf(Button::SendQuery), &QAbstractButton::clicked, this, [this] {
        // Once sent, the query cannot go a second time from this dialog.
        if (m_hooks.sendQuery && m_hooks.sendQuery(this, m_item)) {
            m_querySent = true;
            Refresh();
        }
    });
    connect(ButtonOf(Button::RunCmd), &QAbstractButton::clicked, this, [this] { RunCmd(); });
}

void ItemEditor::TakeControl(Field field) {
    QWidget* control = Control(field);
    if (field == Field::Dest) {
        m_item.Dest = m_dest->currentText().toStdString();
    } else if (std::string* text = TextOf(field, m_item)) {
        *text = static_cast<QLineEdit*>(control)->text().toStdString();
    } else if (field == Field::ConType) {
        m_item.ConType =
            static_cast<std::int16_t>(static_cast<QComboBox*>(control)->currentIndex());
    } else if (field == Field::UpdateMode) {
        m_item.UpdateMode = static_cast<QComboBox*>(control)->currentIndex();
    } else if (std::int32_t* number = NumberOf(field, m_item)) {
        if (auto* check = qobject_cast<QCheckBox*>(control)) {
            *number = check->isChecked() ? 1 : 0;
        } else {
            *number = static_cast<NumberField*>(control)->Value();
        }
    }
}

void ItemEditor::Edited(Field field) {
    if (!m_initialised) return;  // the controls being filled
    m_changed[Index(field)] = true;
    TakeControl(field);
    if (field == Field::Url) FollowUrl();
    Refresh();
}

void ItemEditor::Refresh() {
    EditorState state;
    state.url = m_item.Url;
    state.conType = m_item.ConType;
    state.series = m_item.NumBased != 0;
    state.docMode = m_item.WithLinks != 0;
    state.multiple = m_setup.multiple;
    state.isNew = m_setup.isNew;
    state.updateItem = m_item.ID == UrlItem::kUpdateProgramId;
    state.enableHttps = m_setup.macros.enableHttps;
    const EditorEnabling enabling = ComputeEditorEnabling(state);
    for (std::size_t c = 0; c < enabling.size(); ++c) {
        bool on = enabling[c];
        if (c == Index(EditorControl::SendQuery))
            on = on && m_setup.sendQueryAllowed && m_hooks.sendQuery && !m_querySent;
        if (c == Index(EditorControl::Distributed)) on = on && m_hooks.distributed;
        if (c == Index(EditorControl::UrlTest)) {
            ButtonOf(Button::UrlTest)->setEnabled(on && m_hooks.testUrl);
            ButtonOf(Button::FileNameTest)->setEnabled(on);
            ButtonOf(Button::RunCmd)->setEnabled(on);
            continue;
        }
        for (QWidget* w : m_labels[c])
            w->setEnabled(on);
    }
    m_preview->setText(PreviewText());
    Check(false);
}

QString ItemEditor::PreviewText() const {
    const std::time_t moment =
        std::time(nullptr) - static_cast<std::time_t>(m_item.dayShift) * kDay;
    const std::string url = ExpandTemplate(m_item.Url, moment, m_item.CurrentNum, true);
    return QStringLiteral("\u2192 %1\n\u2192 %2").arg(Q(url), Q(LocalPathNow()));
}

std::string ItemEditor::LocalPathNow() const {
    MacroContext macros = m_setup.macros;
    macros.now = std::time(nullptr);
    const std::time_t moment = macros.now - static_cast<std::time_t>(m_item.dayShift) * kDay;
    return MakeLocalPath(m_item, moment, "", macros);
}

void ItemEditor::FollowUrl() {
    if (!m_setup.newItemFor) return;
    const std::time_t moment =
        std::time(nullptr) - static_cast<std::time_t>(m_item.dayShift) * kDay;
    UrlItem made = m_setup.newItemFor(ExpandTemplate(m_item.Url, moment, m_item.CurrentNum, true));
    const bool wasInitialised = m_initialised;
    m_initialised = false;  // not the user's changes
    for (const Field f : {Field::Name, Field::Referer}) {
        if (Changed(f)) continue;
        *TextOf(f, m_item) = *TextOf(f, made);
        static_cast<QLineEdit*>(Control(f))->setText(Q(*TextOf(f, m_item)));
    }
    if (!Changed(Field::Dest)) {
        m_item.Dest = made.Dest;
        m_dest->setEditText(Q(m_item.Dest));
    }
    m_initialised = wasInitialised;
}

void ItemEditor::NameLeft() {
    const std::string folder = WithTrailingSlash(m_setup.listFolder);
    const std::string dest = m_dest->currentText().toStdString();
    // A macro of the name would become a folder of that name: the name is not a folder yet.
    if (m_item.Name.empty() || HasUrlMacros(m_item.Name) || folder.empty() || folder == "/" ||
        WithTrailingSlash(dest) != folder)
        return;
    m_dest->setEditText(Q(folder + m_item.Name + "/"));  // marks Dest changed
}

void ItemEditor::SeriesSwitched(bool on) {
    std::string url = m_item.Url;
    if (on) {
        std::string templ;
        std::int32_t number = 0;
        if (FindNumberSeries(url, templ, number, 4)) {
            m_item.Url = templ;
            m_item.CurrentNum = number;
            const std::int64_t stop = std::int64_t{number} + m_setup.defaultStopNumber;
            if (m_item.StopNumber < 1 || m_item.StopNumber < stop)
                m_item.StopNumber =
                    static_cast<std::int32_t>(std::min<std::int64_t>(stop, 2147483646));
        }
    } else {
        // Back to the concrete address of the current number; date tokens stay.
        std::string out;
        if (ExpandNumberTokens(url, m_item.CurrentNum, out)) m_item.Url = out;
        if (ExpandNumberTokens(m_item.Dest, m_item.CurrentNum, out)) m_item.Dest = out;
    }
    const bool wasInitialised = m_initialised;
    m_initialised = false;
    static_cast<QLineEdit*>(Control(Field::Url))->setText(Q(m_item.Url));
    m_dest->setEditText(Q(m_item.Dest));
    static_cast<NumberField*>(Control(Field::CurrentNum))->SetValue(m_item.CurrentNum);
    static_cast<NumberField*>(Control(Field::StopNumber))->SetValue(m_item.StopNumber);
    m_initialised = wasInitialised;
    for (Field f : {Field::Url, Field::Dest, Field::CurrentNum, Field::StopNumber})
        m_changed[Index(f)] = true;
    Refresh();
}

void ItemEditor::ChooseFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, UiToolTip(kTipSaveDir), m_dest->currentText());
    if (!folder.isEmpty()) m_dest->setEditText(Q(WithTrailingSlash(folder.toStdString())));
}

void ItemEditor::EditRules(int how) {
    RuleEditorDialog dialog(m_item.rules, this);
    dialog.SetFileMasks(m_setup.fileMasks);
    const Qt::KeyboardModifiers mods = QGuiApplication::keyboardModifiers();
    bool started = true;
    if (how == 1) started = dialog.ChooseAndApply(mods);
    if (how == 2) started = dialog.ChooseAndRestore(mods);
    // A folder run goes on in the rule dialog, which shows its progress and what was done.
    if (!started) return;
    if (dialog.exec() != QDialog::Accepted) return;
    m_item.rules = dialog.Rules();
    m_changed[Index(Field::Rules)] = true;
}

void ItemEditor::EditUpload() {
    UploadDialog dialog(m_item, this);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.ApplyTo(m_item);
    m_changed[Index(Field::Upload)] = true;
}

void ItemEditor::RunCmd() {
    if (m_item.Cmd.empty()) return;
    const std::string path = LocalPathNow();
    // Built as the job builds it: the path is one quoted word, never shell code.
    const JobCommand command = PerFileCommand(m_item.Cmd, path);
    m_commands.emplace_back([command, folder = FolderOf(path), stop = m_cmdStop] {
        RunJobCommand(command, folder, stop.get());
    });
}

void ItemEditor::ShowCurrentNum(std::int32_t number) {
    m_item.CurrentNum = number;
    static_cast<NumberField*>(Control(Field::CurrentNum))->SetValue(number);
    m_preview->setText(PreviewText());
}

void ItemEditor::TickDisabled() {
    m_item.Disabled = 1;
    const bool wasInitialised = m_initialised;
    m_initialised = false;
    static_cast<QCheckBox*>(Control(Field::Disabled))->setChecked(true);
    m_initialised = wasInitialised;
}

bool ItemEditor::Check(bool moveFocus) {
    QWidget* bad = nullptr;
    QString reason;
    for (std::size_t f = 0; f < Index(Field::Count) && !bad; ++f) {
        auto* number = qobject_cast<NumberField*>(m_controls[f]);
        // A stored value out of the editor's range stays as it is until the user types.
        if (number && m_changed[f] && !number->Valid()) {
            bad = number;
            reason = number->RangeText();
        }
    }
    const bool needsUrl = !m_setup.multiple || m_setup.isNew;
    if (!bad && needsUrl && m_item.Url.empty()) {
        bad = Control(Field::Url);
        reason = UiText(kGuiURLEmpty, "The URL must not be empty");
    }
    m_problem->setText(bad ? reason : QString());
    Control(Field::Url)
        ->setStyleSheet(bad == Control(Field::Url) && m_changed[Index(Field::Url)]
                            ? QStringLiteral("border: 2px solid #d02020;")
                            : QString());
    if (bad && moveFocus) bad->setFocus();
    return !bad;
}

QString ItemEditor::Problem() const {
    return m_problem->text();
}

void ItemEditor::accept() {
    if (!Check(true)) return;
    if (m_hooks.useRecentPath) m_hooks.useRecentPath(m_item.Dest);
    QDialog::accept();
}

void ItemEditor::ApplyTo(UrlItem& target) const {
    // Field by field, so what the session changed meanwhile beyond the dialog's fields (the
    // last download date, say) stays.
    for (std::size_t f = 0; f < Index(Field::Count); ++f) {
        if (!m_setup.multiple || m_changed[f]) CopyField(static_cast<Field>(f), m_item, target);
    }
    // Sent to a server: the row is not fetched here as well.
    if (m_querySent) target.CEType = m_item.CEType;
}

}  // namespace kov
