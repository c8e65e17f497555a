#include "ui/dialogs/send_query_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "mail_control/query_message.h"
#include "mail_control/query_sender.h"
#include "ui/app/background_task.h"
#include "ui/app/ui_text.h"

namespace kov {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

SendQueryDialog::SendQueryDialog(const UrlItem& item, const EmailSettings& email,
                                 std::size_t hostIndex, QWidget* parent, QueryLine line)
    : QDialog(parent),
      m_line(std::move(line)),
      m_text(ItemQueryText(item)),
      m_email(std::make_shared<const EmailSettings>(email)),
      m_host(hostIndex),
      m_task(std::make_unique<BackgroundTask>(this)) {
    setWindowTitle(UiText(kGuiSendCEQuery, "Send query"));
    const std::string address =
        hostIndex < email.hosts.size() ? email.hosts[hostIndex].HostEmail : std::string();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Q(item.Name + " -> " + address + " ..."), this));
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    layout->addWidget(busy);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(UiText(kGuiCancel, "Cancel"));
    connect(buttons, &QDialogButtonBox::rejected, this, &SendQueryDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

SendQueryDialog::~SendQueryDialog() {
    if (m_waitingForLine && m_line.cancel) m_line.cancel();
    ReleaseLine();
}

void SendQueryDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_line.request) {
        StartSend();
        return;
    }
    m_waitingForLine = true;
    m_line.request([dialog = QPointer<SendQueryDialog>(this)](bool ready) {
        if (dialog) dialog->LineReady(ready);
    });
}

void SendQueryDialog::LineReady(bool ready) {
    if (!m_waitingForLine) return;
    m_waitingForLine = false;
    if (!ready) {
        m_error = GetString(EventCode::ConnectingError);
        done(Rejected);
        return;
    }
    m_holdsLine = true;
    StartSend();
}

void SendQueryDialog::ReleaseLine() {
    if (m_holdsLine && m_line.release) m_line.release();
    m_holdsLine = false;
}

void SendQueryDialog::StartSend() {
    m_task->Run(
        [this, email = m_email, host = m_host, text = m_text](
            const std::atomic<int>& stop, const BackgroundTask::Post&) -> std::function<void()> {
            std::string error;
            const bool sent = SendQuery(
                *email, host, text, [&stop] { return stop >= 2; }, &error);
            return [this, sent, error] {
                ReleaseLine();
                m_sent = sent;
                m_error = error;
                done(sent ? Accepted : Rejected);
            };
        });
}

void SendQueryDialog::reject() {
    if (m_waitingForLine) {
        m_waitingForLine = false;
        if (m_line.cancel) m_line.cancel();
        m_cancelled = true;
    }
    if (m_task->Running()) {
        m_task->RequestStop();
        m_cancelled = true;
    }
    QDialog::reject();
}

bool SendItemQuery(QWidget* parent, UrlItem& item, const AppSettings& settings,
                   const QueryLine& line) {
    const EmailSettings& email = settings.email;
    if (email.PrimaryHost < 0 ||
        static_cast<std::size_t>(email.PrimaryHost) >= email.hosts.size()) {
        return false;
    }
    const auto host = static_cast<std::size_t>(email.PrimaryHost);
    const QString question =
        Q(GetString(EventCode::CESendPrompt) + "\n" + email.hosts[host].HostEmail + " ?");
    if (QMessageBox::question(parent, UiText(kGuiSendCEQuery, "Send query"), question) !=
        QMessageBox::Yes) {
        return false;
    }
    SendQueryDialog dialog(item, email, host, parent, line);
    const bool sent = dialog.exec() == QDialog::Accepted && dialog.Sent();
    if (dialog.Cancelled()) return false;  // the user knows; no failure to report
    if (line.log) {
        const std::string head = "[" + item.Name + "] - ";
        line.log(
            sent ? head + GetString(EventCode::QrySentToServer) + " " + email.hosts[host].HostEmail
                 : head + GetString(EventCode::SendEmailError) +
                       (dialog.Error().empty() ? "" : " (" + dialog.Error() + ")"),
            !sent);
    }
    if (sent) {
        item.CEType = 1;
        QMessageBox::information(parent, UiText(kGuiSendCEQuery, "Send query"),
                                 Q(GetString(EventCode::QrySentToServer)));
    } else {
        QString text = Q(GetString(EventCode::SendEmailError));
        if (!dialog.Error().empty()) text += "\n" + Q(dialog.Error());
        QMessageBox::warning(parent, UiText(kGuiSendCEQuery, "Send query"), text);
    }
    return sent;
}

}  // namespace kov
