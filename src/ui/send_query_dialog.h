#pragma once

#include <QDialog>

#include "core/app_settings.h"
#include "model/url_item.h"

namespace kov {

// Sends one item as a query to the primary host after asking; the send runs on a worker
// thread while the dialog shows that it is busy. Its Result says how it went.
class SendQueryDialog : public QDialog {
    Q_OBJECT
public:
    SendQueryDialog(const UrlItem& item, const EmailSettings& email, QWidget* parent = nullptr);
    ~SendQueryDialog() override;
    // Starts the send (the dialog shows itself when given a parent).
    void Start();
    bool Sent() const { return m_sent; }
    const std::string& Error() const { return m_error; }

signals:
    void sendFinished(bool ok);

private:
    struct SendState;
    UrlItem m_item;
    EmailSettings m_email;
    std::shared_ptr<SendState> m_state;
    bool m_sent = false;
    std::string m_error;
};

// The item editor's "Send query": asks "<prompt>\r\n<host> ?" for the primary host, then
// sends item in the exchange format and tells the result (sent / sending failed). True when
// the host took the query. Without a valid primary host nothing is asked.
bool SendItemQuery(QWidget* parent, UrlItem& item, const AppSettings& settings);

}  // namespace kov
