#include "ui/dialogs/shutdown_countdown_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

#include "core/language/ui_text_ids.h"
#include "session/end_of_session.h"
#include "ui/app/ui_text.h"

namespace kov {

ShutdownCountdownDialog::ShutdownCountdownDialog(bool shutdown, int seconds, QWidget* parent)
    : QDialog(parent), m_shutdown(shutdown), m_left(seconds) {
    // No close button: the two buttons are the only ways out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(UiText(kGuiDlgShutdownTitle, "Shutdown"));
    m_line = new QLabel(this);
    m_line->setMinimumWidth(m_line->fontMetrics().horizontalAdvance(QString(44, 'x')));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(UiText(kGuiOK, "OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(UiText(kGuiDlgShutdownCancel, "Cancel shutdown"),
                                             QDialogButtonBox::RejectRole);
    // A key pressed by chance must not switch the computer off early.
    ok->setAutoDefault(false);
    cancel->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_line);
    layout->addWidget(buttons);
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &ShutdownCountdownDialog::Tick);
    m_timer->start();
    ShowLine();
}

QString ShutdownCountdownDialog::LineText() const {
    return m_line->text();
}

void ShutdownCountdownDialog::ShowLine() {
    const int id = m_shutdown ? kGuiDlgShutdownText : kGuiDlgCloseText;
    const QString lead = UiText(id, BuiltInText(id));
    // Untranslated, the line keeps its own wording; a translation is built from the two pieces
    // around the number.
    if (lead == BuiltInText(id)) {
        m_line->setText(QString::fromStdString(
            EndCountdownText(m_shutdown ? EndAction::Shutdown : EndAction::Close, m_left)));
        return;
    }
    m_line->setText(
        QString("%1 %2 %3").arg(lead).arg(m_left).arg(UiText(kGuiDlgShutdownText2, "seconds")));
}

void ShutdownCountdownDialog::Tick() {
    --m_left;
    if (m_left < 0) {
        m_timer->stop();
        accept();
        return;
    }
    ShowLine();
}

bool ConfirmEndWithCountdown(bool shutdown) {
    ShutdownCountdownDialog dialog(shutdown, kEndCountdownSeconds, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace kov
