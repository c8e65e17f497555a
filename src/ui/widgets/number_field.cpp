#include "ui/widgets/number_field.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace kov {

NumberField::NumberField(int min, int max, QWidget* parent)
    : QWidget(parent), m_min(min), m_max(max), m_stepMin(min), m_stepMax(max) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_edit = new QLineEdit(this);
    m_edit->setAlignment(Qt::AlignRight);
    m_edit->setMaxLength(12);
    m_edit->setMaximumWidth(80);
    row->addWidget(m_edit);
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_up, m_down}) {
        b->setFixedSize(16, 11);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        arrows->addWidget(b);
    }
    row->addLayout(arrows);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusProxy(m_edit);
    connect(m_edit, &QLineEdit::textEdited, this, [this] {
        ShowValidity();
        emit edited();
    });
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
    SetValue(std::clamp(0, min, max));
}

void NumberField::SetStepRange(int min, int max) {
    m_stepMin = min;
    m_stepMax = max;
}

void NumberField::SetValue(int value) {
    const QSignalBlocker block(m_edit);
    m_edit->setText(QString::number(value));
    ShowValidity();
}

int NumberField::Value() const {
    bool ok = false;
    const long long v = m_edit->text().trimmed().toLongLong(&ok);
    if (!ok) return std::clamp(0, m_min, m_max);
    return static_cast<int>(std::clamp<long long>(v, m_min, m_max));
}

bool NumberField::Valid() const {
    bool ok = false;
    const long long v = m_edit->text().trimmed().toLongLong(&ok);
    return ok && v >= m_min && v <= m_max;
}

QString NumberField::RangeText() const {
    return QStringLiteral("%1..%2").arg(m_min).arg(m_max);
}

void NumberField::Step(int delta) {
    if (!isEnabled()) return;
    const int next = std::clamp(Value() + delta, m_stepMin, m_stepMax);
    SetValue(next);
    emit edited();
}

void NumberField::ShowValidity() {
    const bool valid = Valid();
    m_edit->setStyleSheet(valid ? QString() : QStringLiteral("border: 2px solid #d02020;"));
    m_edit->setToolTip(valid ? QString() : RangeText());
}

}  // namespace kov
