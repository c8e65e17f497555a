#pragma once

#include <QDialog>
#include <cstddef>
#include <memory>
#include <string>

#include "core/settings/app_settings.h"
#include "model/url_item.h"
#include "ui/window/query_line.h"

namespace kov {

class BackgroundTask;

// Mails one item as a query to one host on a thread of its own while the dialog shows that
// it is busy; it closes itself when the send is over (accepted when the host's server took
// it). The dial-up line is asked for first and let go afterwards. Cancel stops the send.
class SendQueryDialog : public QDialog {
    Q_OBJECT
public:
    SendQueryDialog(const UrlItem& item, const EmailSettings& email, std::size_t hostIndex,
                    QWidget* parent = nullptr, QueryLine line = {});
    ~SendQueryDialog() override;

    bool Sent() const { return m_sent; }
    // The user stopped the send.
    bool Cancelled() const { return m_cancelled; }
    const std::string& Error() const { return m_error; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void LineReady(bool ready);
    void StartSend();
    void ReleaseLine();

    QueryLine m_line;
    bool m_waitingForLine = false;
    bool m_holdsLine = false;
    std::string m_text;
    std::shared_ptr<const EmailSettings> m_email;
    std::size_t m_host;
    std::unique_ptr<BackgroundTask> m_task;
    bool m_sent = false;
    bool m_cancelled = false;
    std::string m_error;
};

// The item editor's "Send query": asks "<prompt>\r\n<host> ?" for the primary host, then
// sends item in the exchange format and tells the result (sent / sending failed). True when
// the host took the query; the item is then marked as sent to a server. Without a valid
// primary host nothing is asked and nothing sent.
bool SendItemQuery(QWidget* parent, UrlItem& item, const AppSettings& settings,
                   const QueryLine& line = {});

}  // namespace kov
