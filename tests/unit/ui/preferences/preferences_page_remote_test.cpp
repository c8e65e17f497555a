#include "ui/preferences/preferences_page_remote.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <memory>

#include "support/temp_dir.h"
#include "web_control/remote_token.h"

namespace kov {
namespace {

class RemotePageTest : public ::testing::Test {
protected:
    void Open(const RemoteSettings& remote = {}) {
        PreferencesData data;
        data.settings.remote = remote;
        page.reset(MakeRemotePage(data, tokenPath));
    }
    template <typename W>
    W* Field(const char* name) {
        W* w = page->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    RemoteSettings Stored() {
        PreferencesData out;
        page->Store(out);
        return out.settings.remote;
    }
    // Clicks Renew and answers its question.
    void Renew(QMessageBox::StandardButton answer) {
        QTimer::singleShot(0, [answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << "Renew did not ask";
            box->button(answer)->click();
        });
        Field<QPushButton>("RemoteRenew")->click();
    }
    std::string TokenShown() { return Field<QLineEdit>("RemoteTokenValue")->text().toStdString(); }

    test::TempDir dir;
    std::string tokenPath = dir.File("config/kov/remote-token");
    std::unique_ptr<PreferencesPage> page;
};

TEST_F(RemotePageTest, SettingsComeBackAsTheyWereOrAsEdited) {
    struct Case {
        RemoteSettings in;
        RemoteSettings edited;  // typed into the page over in
    };
    const Case cases[] = {
        {{0, "127.0.0.1", 6990, 0}, {1, "0.0.0.0", 8080, 1}},
        {{1, "::1", 1, 1}, {0, "192.168.1.20", 65535, 0}},
        {{1, "0.0.0.0", 65535, 0}, {1, "::", 6990, 1}},
    };
    for (const Case& c : cases) {
        Open(c.in);
        RemoteSettings r = Stored();
        EXPECT_EQ(r.Enabled, c.in.Enabled);
        EXPECT_EQ(r.Address, c.in.Address);
        EXPECT_EQ(r.Port, c.in.Port);
        EXPECT_EQ(r.AllowCommands, c.in.AllowCommands);

        Field<QCheckBox>("RemoteEnabled")->setChecked(c.edited.Enabled != 0);
        Field<QLineEdit>("RemoteAddress")->setText(QString::fromStdString(c.edited.Address));
        Field<QSpinBox>("RemotePort")->setValue(c.edited.Port);
        Field<QCheckBox>("RemoteAllowCommands")->setChecked(c.edited.AllowCommands != 0);
        EXPECT_EQ(page->Invalid(), nullptr) << c.edited.Address;
        r = Stored();
        EXPECT_EQ(r.Enabled, c.edited.Enabled);
        EXPECT_EQ(r.Address, c.edited.Address);
        EXPECT_EQ(r.Port, c.edited.Port);
        EXPECT_EQ(r.AllowCommands, c.edited.AllowCommands);
    }
}

TEST_F(RemotePageTest, PortStaysWithinItsRange) {
    Open();
    auto* port = Field<QSpinBox>("RemotePort");
    port->setValue(0);
    EXPECT_EQ(port->value(), 1);
    port->setValue(70000);
    EXPECT_EQ(port->value(), 65535);
}

TEST_F(RemotePageTest, AnAddressThatIsNoIpAddressIsRefusedAtTheField) {
    const struct {
        const char* address;
        bool taken;
    } cases[] = {
        {"127.0.0.1", true},        {"0.0.0.0", true},     {"::1", true},        {"::", true},
        {"10.1.2.3", true},         {"", false},           {"localhost", false}, {"1.2.3", false},
        {"kov.example.org", false}, {"127.0.0.1 ", false}, {"300.1.1.1", false},
    };
    Open();
    auto* address = Field<QLineEdit>("RemoteAddress");
    for (const auto& c : cases) {
        address->setText(QString::fromUtf8(c.address));
        QWidget* invalid = page->Invalid();
        EXPECT_EQ(invalid == nullptr, c.taken) << c.address;
        if (!c.taken) {
            EXPECT_EQ(invalid, address);
        }
        EXPECT_EQ(address->toolTip().isEmpty(), c.taken) << c.address;
    }
}

TEST_F(RemotePageTest, ThePageAddressFollowsTheFields) {
    const struct {
        const char* address;
        int port;
        const char* shown;
    } cases[] = {
        {"127.0.0.1", 6990, "http://127.0.0.1:6990/"},
        {"0.0.0.0", 8080, "http://127.0.0.1:8080/"},  // every address: reached on loopback
        {"::", 7000, "http://[::1]:7000/"},
        {"192.168.1.20", 80, "http://192.168.1.20:80/"},
    };
    Open();
    for (const auto& c : cases) {
        Field<QLineEdit>("RemoteAddress")->setText(c.address);
        Field<QSpinBox>("RemotePort")->setValue(c.port);
        EXPECT_TRUE(Field<QLabel>("RemotePageAt")->text().contains(c.shown))
            << Field<QLabel>("RemotePageAt")->text().toStdString();
    }
}

TEST_F(RemotePageTest, AMissingTokenIsMadeWhenRemoteControlIsTurnedOn) {
    Open();
    EXPECT_EQ(TokenShown(), "");
    EXPECT_TRUE(Field<QLabel>("RemoteTokenError")->text().isEmpty());
    struct stat st {};
    EXPECT_NE(::stat(tokenPath.c_str(), &st), 0) << "made before it was asked for";

    Field<QCheckBox>("RemoteEnabled")->setChecked(true);
    RemoteToken token(tokenPath);
    ASSERT_TRUE(token.Load()) << token.Error();
    EXPECT_EQ(TokenShown(), token.Value());
    ASSERT_EQ(::stat(tokenPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RemotePageTest, RenewReplacesTheTokenOnlyWhenTheUserAgrees) {
    RemoteToken token(tokenPath);
    ASSERT_TRUE(token.LoadOrMake());
    const std::string before = token.Value();
    Open({1, "127.0.0.1", 6990, 0});
    EXPECT_EQ(TokenShown(), before);

    Renew(QMessageBox::No);
    ASSERT_TRUE(token.Load());
    EXPECT_EQ(token.Value(), before);
    EXPECT_EQ(TokenShown(), before);

    Renew(QMessageBox::Yes);
    ASSERT_TRUE(token.Load());
    EXPECT_NE(token.Value(), before);
    EXPECT_EQ(TokenShown(), token.Value());

    Field<QPushButton>("RemoteCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), token.Value());
}

TEST_F(RemotePageTest, AnUnreadableTokenIsReportedWhenOneIsWanted) {
    // The token's folder is a file: nothing can be made there.
    ASSERT_EQ(::mkdir(dir.File("config").c_str(), 0700), 0);
    FILE* f = std::fopen(dir.File("config/kov").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    Open();
    Field<QCheckBox>("RemoteEnabled")->setChecked(true);
    EXPECT_EQ(TokenShown(), "");
    EXPECT_FALSE(Field<QLabel>("RemoteTokenError")->text().isEmpty());
}

}  // namespace
}  // namespace kov
