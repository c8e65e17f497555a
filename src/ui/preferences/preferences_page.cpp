#include "ui/preferences/preferences_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/app/ui_text.h"

namespace kov {

QVBoxLayout* MakeScrollingColumn(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    auto* column = new QVBoxLayout(inner);
    scroll->setWidget(inner);
    outer->addWidget(scroll);
    return column;
}

namespace {

QString Label(int textId) {
    return UiText(textId, "");
}

}  // namespace

QCheckBox* MakeCheck(const char* key, int textId, bool on) {
    auto* check = new QCheckBox(Label(textId));
    check->setObjectName(key);
    check->setChecked(on);
    return check;
}

QSpinBox* MakeSpin(const char* key, int min, int max, int value) {
    auto* spin = new QSpinBox;
    spin->setObjectName(key);
    spin->setRange(min, max);
    spin->setValue(std::clamp(value, min, max));
    spin->setToolTip(QStringLiteral("%1 .. %2").arg(min).arg(max));
    return spin;
}

QLineEdit* MakeLine(const char* key, const std::string& value, std::size_t capacity,
                    bool password) {
    auto* edit = new QLineEdit(QString::fromStdString(value));
    edit->setObjectName(key);
    // The capacity counts bytes; a character of the edit may take more, which Store cuts.
    edit->setMaxLength(static_cast<int>(capacity));
    if (password) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QCheckBox* AddCheck(QFormLayout* form, const char* key, int textId, bool on) {
    QCheckBox* check = MakeCheck(key, textId, on);
    form->addRow(check);
    return check;
}

QSpinBox* AddSpin(QFormLayout* form, std::string_view section, const char* key, int textId,
                  int value) {
    const SettingLimits limits = LimitsOf(section, key);
    QSpinBox* spin = MakeSpin(key, limits.min, limits.max, value);
    form->addRow(Label(textId), spin);
    return spin;
}

QLineEdit* AddLine(QFormLayout* form, const char* key, int textId, const std::string& value,
                   std::size_t capacity, bool password) {
    QLineEdit* edit = MakeLine(key, value, capacity, password);
    form->addRow(Label(textId), edit);
    return edit;
}

QLineEdit* AddSettingLine(QFormLayout* form, std::string_view section, const char* key, int textId,
                          const std::string& value, bool password) {
    return AddLine(form, key, textId, value, LimitsOf(section, key).capacity, password);
}

QComboBox* AddChoice(QFormLayout* form, const char* key, int textId,
                     const std::vector<int>& textIds, int value) {
    auto* combo = new QComboBox;
    combo->setObjectName(key);
    for (int id : textIds)
        combo->addItem(Label(id));
    combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : 0);
    form->addRow(Label(textId), combo);
    return combo;
}

QLineEdit* AddFileLine(QFormLayout* form, std::string_view section, const char* key, int textId,
                       const std::string& value) {
    QLineEdit* edit = MakeLine(key, value, LimitsOf(section, key).capacity);
    auto* row = new QWidget;
    auto* box = new QHBoxLayout(row);
    box->setContentsMargins(0, 0, 0, 0);
    auto* choose = new QPushButton(QStringLiteral("..."));
    choose->setObjectName(QString(key) + "Choose");
    choose->setMaximumWidth(32);
    box->addWidget(edit, 1);
    box->addWidget(choose);
    QObject::connect(choose, &QPushButton::clicked, edit, [edit] {
        const QString file = QFileDialog::getOpenFileName(edit, QString(), edit->text());
        if (!file.isEmpty()) edit->setText(file);
    });
    form->addRow(Label(textId), row);
    return edit;
}

std::string TextOf(const QLineEdit* edit) {
    std::string text = edit->text().toStdString();
    const int capacity = edit->maxLength();
    if (text.size() > static_cast<std::size_t>(capacity)) {
        // Cut at a character boundary: never half a UTF-8 sequence.
        std::size_t n = static_cast<std::size_t>(capacity);
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
        text.resize(n);
    }
    return text;
}

int IntOf(const QSpinBox* spin) {
    return spin->value();
}

bool IsOn(const QCheckBox* check) {
    return check->isChecked();
}

bool SameRules(const std::vector<ReplaceRule>& a, const std::vector<ReplaceRule>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const ReplaceRule& x, const ReplaceRule& y) {
            return x.id == y.id && x.find == y.find && x.replace == y.replace &&
                   x.action == y.action && x.ignoreCase == y.ignoreCase && x.multiple == y.multiple;
        });
}

bool SameSites(const std::vector<SiteRule>& a, const std::vector<SiteRule>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const SiteRule& x, const SiteRule& y) {
                          return x.id == y.id && x.enabled == y.enabled && x.name == y.name &&
                                 x.url == y.url && SameRules(x.rules, y.rules);
                      });
}

bool IsClockTime(const QString& text) {
    static const QRegularExpression kTime(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]$"));
    return kTime.match(text).hasMatch();
}

void MarkField(QWidget* field, const QString& reason) {
    field->setStyleSheet(reason.isEmpty() ? QString()
                                          : QStringLiteral("border: 2px solid #d00000;"));
    field->setToolTip(reason);
}

}  // namespace kov
