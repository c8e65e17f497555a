#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <memory>

#include "core/language/ui_text_ids.h"
#include "mail_control/query_sender.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

const std::vector<int> kSecurityTexts = {kGuiPrefSecurity0, kGuiPrefSecurity1, kGuiPrefSecurity2,
                                         kGuiPrefSecurity3};

// The mail settings, the table of other installations and the two server tests.
class EmailPage : public PreferencesPage {
public:
    explicit EmailPage(const EmailSettings& e) : m_primary(e.PrimaryHost) {
        QVBoxLayout* column = MakeScrollingColumn(this);

        auto* form = new QFormLayout;
        column->addLayout(form);
        m_smtp = AddSettingLine(form, kEmailSection, "SmtpServer", kGuiServerSMTP, e.SmtpServer);
        m_smtpSec =
            AddChoice(form, "SmtpSecurity", kGuiPrefSmtpSecurity, kSecurityTexts, e.SmtpSecurity);
        m_smtpUser = AddSettingLine(form, kEmailSection, "SmtpUser", kGuiPrefSmtpLogin, e.SmtpUser);
        m_smtpPsw =
            AddSettingLine(form, kEmailSection, "SmtpPsw", kGuiPrefSmtpPassword, e.SmtpPsw, true);
        m_pop3 = AddSettingLine(form, kEmailSection, "Pop3Server", kGuiServerPOP3, e.Pop3Server);
        m_pop3Sec =
            AddChoice(form, "Pop3Security", kGuiPrefPop3Security, kSecurityTexts, e.Pop3Security);
        m_box = AddSettingLine(form, kEmailSection, "MailBox", kGuiPOP3Login, e.MailBox);
        m_boxPsw = AddSettingLine(form, kEmailSection, "MailBoxPsw", kGuiPrefPop3Password,
                                  e.MailBoxPsw, true);
        m_caFile = AddFileLine(form, kEmailSection, "TlsCaFile", kGuiPrefCaFile, e.TlsCaFile);

        auto* tests = new QHBoxLayout;
        m_smtpTest = new QPushButton(UiText(kGuiPrefSmtpTest, ""));
        m_smtpTest->setObjectName("SmtpTest");
        m_smtpTest->setToolTip(UiToolTip(kTipCheckServerSMTP));
        m_pop3Test = new QPushButton(UiText(kGuiPrefPop3Test, ""));
        m_pop3Test->setObjectName("Pop3Test");
        m_pop3Test->setToolTip(UiToolTip(kTipCheckServerPOP3));
        tests->addWidget(m_smtpTest);
        tests->addWidget(m_pop3Test);
        tests->addStretch(1);
        column->addLayout(tests);
        m_result = new QLabel;
        m_result->setObjectName("MailTestResult");
        m_result->setWordWrap(true);
        m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(m_result);
        connect(m_smtpTest, &QPushButton::clicked, this, [this] { RunTest(true); });
        connect(m_pop3Test, &QPushButton::clicked, this, [this] { RunTest(false); });

        form = new QFormLayout;
        column->addLayout(form);
        m_reply =
            AddSettingLine(form, kEmailSection, "MyEmailAddr", kGuiCEReplyToAddress, e.MyEmailAddr);
        m_host = AddCheck(form, "ActAsHost", kGuiCEEnableServerMode, e.ActAsHost);
        m_pass = AddSettingLine(form, kEmailSection, "Passphrase", kGuiCEAccessPassword,
                                e.Passphrase, true);
        m_poll = AddSpin(form, kEmailSection, "PollInterval", kGuiCEPollInterval, e.PollInterval);
        m_folder =
            AddSettingLine(form, kEmailSection, "SaveFolder", kGuiCESaveFolder, e.SaveFolder);
        m_command =
            AddCheck(form, "QueryAllowCommand", kGuiPrefQueryAllowCommand, e.QueryAllowCommand);
        m_upload = AddCheck(form, "QueryAllowUpload", kGuiPrefQueryAllowUpload, e.QueryAllowUpload);
        m_local = AddCheck(form, "QueryAllowLocal", kGuiPrefQueryAllowLocal, e.QueryAllowLocal);
        m_open = AddCheck(form, "QueryOpenAccess", kGuiPrefQueryOpenAccess, e.QueryOpenAccess);

        column->addWidget(
            new QLabel(QStringLiteral("<b>%1</b>").arg(UiText(kGuiCEKovServerList, ""))));
        m_hosts = new QTableWidget(0, 2);
        m_hosts->setObjectName("Hosts");
        m_hosts->setHorizontalHeaderLabels(
            {UiText(kGuiCEKovSrvAddr, ""), UiText(kGuiCEKovSrvPassword, "")});
        m_hosts->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        m_hosts->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
        m_hosts->verticalHeader()->setVisible(false);
        m_hosts->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_hosts->setSelectionMode(QAbstractItemView::SingleSelection);
        m_hosts->setMinimumHeight(120);
        for (const EmailHost& h : e.hosts)
            AddHost(h);
        column->addWidget(m_hosts);
        auto* buttons = new QHBoxLayout;
        auto* add = new QPushButton(UiText(kGuiAdd, ""));
        add->setObjectName("AddHost");
        auto* remove = new QPushButton(UiText(kGuiDelete, ""));
        remove->setObjectName("DeleteHost");
        auto* primary = new QPushButton(UiText(kGuiCESetAsPrimary, ""));
        primary->setObjectName("SetPrimary");
        buttons->addWidget(add);
        buttons->addWidget(remove);
        buttons->addWidget(primary);
        buttons->addStretch(1);
        column->addLayout(buttons);
        connect(add, &QPushButton::clicked, this, [this] {
            AddHost(EmailHost{});
            m_hosts->setCurrentCell(m_hosts->rowCount() - 1, 0);
            ShowPrimary();
        });
        connect(remove, &QPushButton::clicked, this, [this] { DeleteHost(); });
        connect(primary, &QPushButton::clicked, this, [this] {
            if (m_hosts->currentRow() >= 0) m_primary = m_hosts->currentRow();
            ShowPrimary();
        });
        ShowPrimary();
    }

    void Store(PreferencesData& data) override { StoreEmail(data.settings.email); }

    QWidget* Invalid() override {
        for (int r = 0; r < m_hosts->rowCount(); ++r) {
            QTableWidgetItem* item = m_hosts->item(r, 0);
            // An empty address would end the table when it is read back.
            if (!item->text().trimmed().isEmpty()) continue;
            m_hosts->setCurrentCell(r, 0);
            item->setBackground(QColor(0xff, 0xd0, 0xd0));
            item->setToolTip(UiText(kGuiPrefEmptyField, ""));
            return m_hosts;
        }
        return nullptr;
    }

private:
    void StoreEmail(EmailSettings& e) const {
        e.SmtpServer = TextOf(m_smtp);
        e.SmtpSecurity = m_smtpSec->currentIndex();
        e.SmtpUser = TextOf(m_smtpUser);
        e.SmtpPsw = TextOf(m_smtpPsw);
        e.Pop3Server = TextOf(m_pop3);
        e.Pop3Security = m_pop3Sec->currentIndex();
        e.MailBox = TextOf(m_box);
        e.MailBoxPsw = TextOf(m_boxPsw);
        e.TlsCaFile = TextOf(m_caFile);
        e.MyEmailAddr = TextOf(m_reply);
        e.ActAsHost = IsOn(m_host);
        e.Passphrase = TextOf(m_pass);
        e.PollInterval = IntOf(m_poll);
        e.SaveFolder = TextOf(m_folder);
        e.QueryAllowCommand = IsOn(m_command);
        e.QueryAllowUpload = IsOn(m_upload);
        e.QueryAllowLocal = IsOn(m_local);
        e.QueryOpenAccess = IsOn(m_open);
        e.hosts.clear();
        for (int r = 0; r < m_hosts->rowCount(); ++r) {
            EmailHost h;
            const QTableWidgetItem* item = m_hosts->item(r, 0);
            h.Enabled = item->checkState() == Qt::Checked;
            h.HostEmail = item->text().trimmed().toStdString().substr(0, EmailHost::kEmailCapacity);
            h.HostPsw = TextOf(static_cast<QLineEdit*>(m_hosts->cellWidget(r, 1)));
            e.hosts.push_back(std::move(h));
        }
        e.PrimaryHost = m_primary >= 0 && m_primary < m_hosts->rowCount() ? m_primary : 0;
    }

    void AddHost(const EmailHost& h) {
        const int r = m_hosts->rowCount();
        m_hosts->insertRow(r);
        auto* item = new QTableWidgetItem(QString::fromStdString(h.HostEmail));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(h.Enabled ? Qt::Checked : Qt::Unchecked);
        m_hosts->setItem(r, 0, item);
        m_hosts->setCellWidget(r, 1,
                               MakeLine("HostPsw", h.HostPsw, EmailHost::kPasswordCapacity, true));
    }

    void DeleteHost() {
        const int r = m_hosts->currentRow();
        if (r < 0) return;
        m_hosts->removeRow(r);
        if (m_primary > r)
            --m_primary;
        else if (m_primary == r)
            m_primary = 0;
        ShowPrimary();
    }

    // The primary host's address stands in bold.
    void ShowPrimary() {
        for (int r = 0; r < m_hosts->rowCount(); ++r) {
            QFont font = m_hosts->item(r, 0)->font();
            font.setBold(r == m_primary);
            m_hosts->item(r, 0)->setFont(font);
        }
    }

    // The test runs on a thread of its own with the page's values as they stand; the page
    // stays usable and shows the outcome when it comes.
    void RunTest(bool smtp) {
        EmailSettings email;
        StoreEmail(email);
        auto text = std::make_shared<std::string>();
        QThread* thread = QThread::create([email, text, smtp] {
            if (smtp) {
                TestSmtp(email, *text);
            } else {
                TestPop3(email, *text);
            }
        });
        m_smtpTest->setEnabled(false);
        m_pop3Test->setEnabled(false);
        m_result->setText(UiText(kGuiPrefTesting, ""));
        connect(thread, &QThread::finished, this, [this, text] {
            m_result->setText(QString::fromStdString(*text));
            m_smtpTest->setEnabled(true);
            m_pop3Test->setEnabled(true);
        });
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    }

    int m_primary;
    QLineEdit *m_smtp, *m_smtpUser, *m_smtpPsw, *m_pop3, *m_box, *m_boxPsw, *m_caFile;
    QLineEdit *m_reply, *m_pass, *m_folder;
    QComboBox *m_smtpSec, *m_pop3Sec;
    QCheckBox *m_host, *m_command, *m_upload, *m_local, *m_open;
    QSpinBox* m_poll;
    QPushButton *m_smtpTest, *m_pop3Test;
    QLabel* m_result;
    QTableWidget* m_hosts;
};

}  // namespace

PreferencesPage* MakeEmailPage(const PreferencesData& data) {
    return new EmailPage(data.settings.email);
}

}  // namespace kov
