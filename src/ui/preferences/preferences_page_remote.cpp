#include "ui/preferences/preferences_page_remote.h"

#include <arpa/inet.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"
#include "web_control/remote_client.h"
#include "web_control/remote_token.h"

namespace kov {

namespace {

bool IsIpAddress(const std::string& text) {
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

QLabel* Note(int textId) {
    auto* note = new QLabel(UiText(textId, ""));
    note->setWordWrap(true);
    note->setEnabled(false);  // drawn as a hint, not as a field's label
    return note;
}

class RemotePage : public PreferencesPage {
public:
    RemotePage(const RemoteSettings& r, const std::string& tokenPath)
        : m_token(tokenPath.empty() ? RemoteToken::DefaultPath() : tokenPath) {
        auto* column = new QVBoxLayout(this);
        column->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(UiText(kGuiRemoteTitle, ""))));
        auto* form = new QFormLayout;
        column->addLayout(form);
        m_enabled = MakeCheck("RemoteEnabled", kGuiRemoteEnable, r.Enabled);
        form->addRow(m_enabled);
        m_address = AddSettingLine(form, kRemoteSection, "Address", kGuiRemoteAddress, r.Address);
        m_address->setObjectName("RemoteAddress");
        m_port = AddSpin(form, kRemoteSection, "Port", kGuiRemotePort, r.Port);
        m_port->setObjectName("RemotePort");
        form->addRow(Note(kGuiRemoteNetworkNote));
        m_allow = MakeCheck("RemoteAllowCommands", kGuiRemoteAllowCommands, r.AllowCommands);
        form->addRow(m_allow);
        form->addRow(Note(kGuiRemoteAllowNote));
        form->addRow(UiText(kGuiRemoteToken, ""), TokenRow());
        m_tokenError = new QLabel;
        m_tokenError->setObjectName("RemoteTokenError");
        m_tokenError->setWordWrap(true);
        form->addRow(m_tokenError);
        m_pageAt = new QLabel;
        m_pageAt->setObjectName("RemotePageAt");
        m_pageAt->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(m_pageAt);
        column->addStretch(1);
        connect(m_address, &QLineEdit::textChanged, this, [this] { ShowPageAddress(); });
        connect(m_port, &QSpinBox::valueChanged, this, [this] { ShowPageAddress(); });
        // Turned on, the token is there at once, to be copied into a browser or a script.
        connect(m_enabled, &QCheckBox::toggled, this, [this](bool on) {
            if (on && m_tokenValue->text().isEmpty()) ShowToken(m_token.LoadOrMake(), true);
        });
        ShowPageAddress();
        ShowToken(m_token.Load(), false);
    }

    void Store(PreferencesData& data) override {
        RemoteSettings& r = data.settings.remote;
        r.Enabled = IsOn(m_enabled);
        r.Address = TextOf(m_address);
        r.Port = IntOf(m_port);
        r.AllowCommands = IsOn(m_allow);
    }

    QWidget* Invalid() override {
        if (IsIpAddress(TextOf(m_address))) {
            m_address->setToolTip(QString());
            return nullptr;
        }
        m_address->setToolTip(UiText(kGuiRemoteBadAddress, ""));
        return m_address;
    }

private:
    QWidget* TokenRow() {
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        m_tokenValue = new QLineEdit;
        m_tokenValue->setObjectName("RemoteTokenValue");
        m_tokenValue->setReadOnly(true);
        m_tokenValue->setFont(QFont(QStringLiteral("monospace")));
        auto* copy = new QPushButton(UiText(kGuiRemoteCopy, ""));
        copy->setObjectName("RemoteCopy");
        auto* renew = new QPushButton(UiText(kGuiRemoteRenew, ""));
        renew->setObjectName("RemoteRenew");
        layout->addWidget(m_tokenValue, 1);
        layout->addWidget(copy);
        layout->addWidget(renew);
        connect(copy, &QPushButton::clicked, this, [this] {
            if (!m_tokenValue->text().isEmpty())
                QApplication::clipboard()->setText(m_tokenValue->text());
        });
        connect(renew, &QPushButton::clicked, this, [this] { Renew(); });
        return row;
    }

    // Renewing locks out every browser and script that holds the present token: asked first.
    void Renew() {
        const auto answer =
            QMessageBox::question(this, UiText(kGuiRemoteTitle, ""), UiText(kGuiRemoteRenewAsk, ""),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes) ShowToken(m_token.Renew(), true);
    }

    // A missing token file is no fault until the user asks for a token.
    void ShowToken(bool ok, bool asked) {
        m_tokenValue->setText(ok ? QString::fromStdString(m_token.Value()) : QString());
        const bool shown = !ok && asked;
        m_tokenError->setText(
            shown ? UiTextWith(kGuiRemoteTokenError, "", {QString::fromStdString(m_token.Error())})
                  : QString());
        m_tokenError->setVisible(shown);
    }

    void ShowPageAddress() {
        RemoteSettings r;
        r.Address = TextOf(m_address);
        r.Port = IntOf(m_port);
        const QString url = QString::fromStdString(RemoteClient::BaseUrl(r) + "/");
        m_pageAt->setText(UiTextWith(kGuiRemotePageAt, "", {url}));
    }

    RemoteToken m_token;
    QCheckBox *m_enabled, *m_allow;
    QLineEdit* m_address;
    QSpinBox* m_port;
    QLineEdit* m_tokenValue = nullptr;
    QLabel *m_tokenError, *m_pageAt;
};

}  // namespace

PreferencesPage* MakeRemotePage(const PreferencesData& data, const std::string& tokenPath) {
    return new RemotePage(data.settings.remote, tokenPath);
}

}  // namespace kov
