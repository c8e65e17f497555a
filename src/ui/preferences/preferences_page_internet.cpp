#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "net/transfer/proxy_settings.h"
#include "ui/app/ui_text.h"
#include "ui/preferences/preferences_pages.h"

namespace kov {

namespace {

QFormLayout* Section(QVBoxLayout* column, int titleId) {
    auto* title = new QLabel(QStringLiteral("<b>%1</b>").arg(UiText(titleId, "")));
    column->addWidget(title);
    auto* form = new QFormLayout;
    column->addLayout(form);
    return form;
}

// Proxies, transfer, speed limits and the dial-up line: many fields, so the page scrolls.
class InternetPage : public PreferencesPage {
public:
    explicit InternetPage(const AppSettings& s) {
        QVBoxLayout* column = MakeScrollingColumn(this);

        QFormLayout* form = Section(column, kGuiDlgInternet);
        m_agent = new QComboBox;
        m_agent->setObjectName("StdUserAgent");
        m_agent->addItem(UiText(kGuiPrefOwnUserAgent, ""));
        for (int v = kFirstStdUserAgent; v <= kLastStdUserAgent; ++v) {
            m_agent->addItem(QString::fromUtf8(UserAgentLabel(v).data(),
                                               static_cast<int>(UserAgentLabel(v).size())));
        }
        m_agent->setCurrentIndex(
            s.StdUserAgent >= 0 && s.StdUserAgent <= kLastStdUserAgent ? s.StdUserAgent : 0);
        form->addRow(UiText(kGuiPrefUserAgent, ""), m_agent);
        m_ownAgent =
            AddSettingLine(form, kMainSection, "User-Agent", kGuiPrefOwnUserAgent, s.UserAgent);
        m_pasv = AddChoice(form, "FtpPasvMode", kGuiFtpPasvMode,
                           {kGuiFtpPasv1, kGuiFtpPasv3, kGuiFtpPasv2}, s.FtpPasvMode);
        m_noCache = AddCheck(form, "NoCache", kGuiDisableCache, s.NoCache);
        m_https = AddCheck(form, "EnableHttps", kGuiPrefEnableHttps, s.EnableHttps);

        form = Section(column, kGuiProxySettings);
        m_fromSystem = AddCheck(form, "ProxyFromIE", kGuiUseProxyFromIE, s.ProxyFromIE);
        m_bypass = AddCheck(form, "BypassProxyLocal", kGuiBypassProxyForLocal, s.BypassProxyLocal);
        m_proxy = AddCheck(form, "Proxy", kGuiHTTPproxy, s.Proxy);
        m_proxyAddress =
            AddSettingLine(form, kMainSection, "ProxyAddress", kGuiHTTPproxy, s.ProxyAddress);
        m_proxyUser = AddSettingLine(form, kMainSection, "ProxyUser", kGuiLogin, s.ProxyUser);
        m_proxyPsw = AddSettingLine(form, kMainSection, "ProxyPsw", kGuiPassword, s.ProxyPsw, true);
        m_ftpProxy = AddCheck(form, "FtpProxy", kGuiFTPproxy, s.FtpProxy);
        m_ftpAddress =
            AddSettingLine(form, kMainSection, "FtpProxyAddress", kGuiFTPproxy, s.FtpProxyAddress);
        m_ftpUser = AddSettingLine(form, kMainSection, "FtpProxyUser", kGuiLogin, s.FtpProxyUser);
        m_ftpPsw =
            AddSettingLine(form, kMainSection, "FtpProxyPsw", kGuiPassword, s.FtpProxyPsw, true);
        m_ftpType = AddSpin(form, kMainSection, "FtpProxyType", kGuiFtpProxyType, s.FtpProxyType);

        form = Section(column, kGuiGrpSpeedLimit);
        m_limited = AddCheck(form, "SpeedLimited", kGuiGrpSpeedLimit, s.SpeedLimited);
        m_inet =
            AddSpin(form, kMainSection, "SpeedLimitInet", kGuiSpeedLimitInet, s.SpeedLimitInet);
        m_loc = AddSpin(form, kMainSection, "SpeedLimitLoc", kGuiSpeedLimitLoc, s.SpeedLimitLoc);

        form = Section(column, kGuiDialUpSettings);
        m_dial = AddCheck(form, "UseDialUp", kGuiPrefUseDialUp, s.UseDialUp);
        m_dialItem =
            AddSettingLine(form, kMainSection, "DialupItem", kGuiDialUpConnection, s.DialupItem);
        m_monitor = AddCheck(form, "RasMonitoring", kGuiKeepConnected, s.RasMonitoring);
        m_hangup = AddCheck(form, "Hangup", kGuiHangup, s.Hangup);
        m_redial = AddSpin(form, kMainSection, "ReDialCount", kGuiPrefReDialCount, s.ReDialCount);
        column->addStretch(1);
    }

    void Store(PreferencesData& data) override {
        AppSettings& s = data.settings;
        s.StdUserAgent = m_agent->currentIndex();
        s.UserAgent = TextOf(m_ownAgent);
        s.FtpPasvMode = m_pasv->currentIndex();
        s.NoCache = IsOn(m_noCache);
        s.EnableHttps = IsOn(m_https);
        s.ProxyFromIE = IsOn(m_fromSystem);
        s.BypassProxyLocal = IsOn(m_bypass);
        s.Proxy = IsOn(m_proxy);
        s.ProxyAddress = TextOf(m_proxyAddress);
        s.ProxyUser = TextOf(m_proxyUser);
        s.ProxyPsw = TextOf(m_proxyPsw);
        s.FtpProxy = IsOn(m_ftpProxy);
        s.FtpProxyAddress = TextOf(m_ftpAddress);
        s.FtpProxyUser = TextOf(m_ftpUser);
        s.FtpProxyPsw = TextOf(m_ftpPsw);
        s.FtpProxyType = IntOf(m_ftpType);
        s.SpeedLimited = IsOn(m_limited);
        s.SpeedLimitInet = IntOf(m_inet);
        s.SpeedLimitLoc = IntOf(m_loc);
        s.UseDialUp = IsOn(m_dial);
        s.DialupItem = TextOf(m_dialItem);
        s.RasMonitoring = IsOn(m_monitor);
        s.Hangup = IsOn(m_hangup);
        s.ReDialCount = static_cast<std::int16_t>(IntOf(m_redial));
    }

private:
    QComboBox* m_agent;
    QLineEdit* m_ownAgent;
    QComboBox* m_pasv;
    QCheckBox *m_noCache, *m_https, *m_fromSystem, *m_bypass, *m_proxy, *m_ftpProxy;
    QLineEdit *m_proxyAddress, *m_proxyUser, *m_proxyPsw, *m_ftpAddress, *m_ftpUser, *m_ftpPsw;
    QSpinBox* m_ftpType;
    QCheckBox* m_limited;
    QSpinBox *m_inet, *m_loc;
    QCheckBox *m_dial, *m_monitor, *m_hangup;
    QLineEdit* m_dialItem;
    QSpinBox* m_redial;
};

}  // namespace

PreferencesPage* MakeInternetPage(const PreferencesData& data) {
    return new InternetPage(data.settings);
}

}  // namespace kov
